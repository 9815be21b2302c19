// AVIFile library of the headless platform: real AVI files on disk with one
// video stream, written through plain or compressing streams. Where it is
// stricter than the platform, to catch program bugs, avifil32_model.h says.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "avi_writer.h"
#include "desktop.h"
#include "video_compressors.h"

static_assert(desktop::kAviFileBaseBytes == static_cast<long long>(avi::kHeaderAreaBytes + 8),
              "the disk charge of a new file is its header area and the index chunk's header");

struct IAVIFile {
    std::string path;
    avi::Writer writer;
    int handles = 1;      // handed out and not yet released
    int streamHolds = 0;  // streams that keep the file open
    IAVIStream* stream = nullptr;
};

struct IAVIStream {
    int handles = 1;
    int compressingHolds = 0;  // compressing streams that write through this one
    IAVIFile* file = nullptr;  // the file of a plain stream
    // A plain stream: its header, its format and what it has stored.
    avi::StreamHeader header;
    bool hasFormat = false;
    uint32_t uncompressedFrameBytes = 0;  // 0: the format is compressed
    LONG length = 0;
    // A compressing stream: the stream it writes through, its compressor and
    // the format of the frames it is given.
    IAVIStream* source = nullptr;
    DWORD handler = 0;
    bool hasInput = false;
    BITMAPINFOHEADER input{};
    std::vector<BYTE> scratch;
};

namespace {

// What AVIFileOpenA returns while the library is not initialised.
constexpr HRESULT kNotInitialised = static_cast<HRESULT>(0x800401F0u);
constexpr unsigned long long kAvi10Limit = 2147483648ULL;
constexpr unsigned long long kRiffLimit = 0xFFFFFFFFULL;  // sizes are 32-bit

struct AviModel {
    int initCalls = 0;
    int exitCalls = 0;
    // Kept until reset, so that a released handle is recognised as such.
    std::vector<std::unique_ptr<IAVIFile>> files;
    std::vector<std::unique_ptr<IAVIStream>> streams;
    std::map<desktop::AviCall, std::deque<HRESULT>> faults;
    long long diskFree = -1;
    unsigned long long sizeCap = kAvi10Limit;
    std::vector<desktop::AviOpenRecord> opens;
    std::vector<AVISTREAMINFOA> streamsCreated;
    std::vector<desktop::CompressedStreamRecord> compressedStreams;
    std::vector<desktop::SetFormatRecord> formatsSet;
    std::vector<desktop::AviWriteRecord> writes;
};

AviModel model;

bool LibraryInitialised()
{
    return model.initCalls > model.exitCalls;
}

void RequireLibrary(const char* call)
{
    if (!LibraryInitialised()) desktop::ReportMisuse(std::string(call) + ": AVIFile library not initialised");
}

// The fault queued for this kind of call, or AVIERR_OK.
HRESULT TakeFault(desktop::AviCall call)
{
    std::deque<HRESULT>& queued = model.faults[call];
    if (queued.empty()) return AVIERR_OK;
    HRESULT result = queued.front();
    queued.pop_front();
    return result;
}

// The object behind a handle that the caller still holds; unknown and
// released handles are reported and give null.
template <typename Object>
Object* Held(const std::vector<std::unique_ptr<Object>>& known, Object* handle, const char* call, const char* kind)
{
    for (const auto& object : known) {
        if (object.get() != handle) continue;
        if (object->handles > 0) return object.get();
        desktop::ReportMisuse(std::string(call) + ": " + kind + " handle already released");
        return nullptr;
    }
    desktop::ReportMisuse(std::string(call) + ": unknown " + kind + " handle");
    return nullptr;
}

IAVIFile* HeldFile(PAVIFILE file, const char* call)
{
    return Held(model.files, file, call, "file");
}

IAVIStream* HeldStream(PAVISTREAM stream, const char* call)
{
    return Held(model.streams, stream, call, "stream");
}

bool DiskHasRoom(long long bytes)
{
    return model.diskFree < 0 || bytes <= model.diskFree;
}

void TakeDisk(long long bytes)
{
    if (model.diskFree >= 0) model.diskFree -= bytes;
}

long long FrameDiskBytes(uint32_t storedSize)
{
    return static_cast<long long>(avi::ChunkFileBytes(storedSize) + avi::kIndexEntryBytes);
}

// --- Completing files ---------------------------------------------------------

// A stream that never got a format is described as 24-bit frames of its
// frame rectangle, so that the file still reads.
std::vector<BYTE> FallbackFormat(const avi::StreamHeader& header)
{
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = header.frame.right - header.frame.left;
    format.biHeight = header.frame.bottom - header.frame.top;
    format.biPlanes = 1;
    format.biBitCount = 24;
    format.biCompression = BI_RGB;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&format);
    return std::vector<BYTE>(bytes, bytes + sizeof format);
}

void CompleteFile(IAVIFile& file)
{
    avi::StreamHeader header;
    if (file.stream) {
        header = file.stream->header;
        if (!file.stream->hasFormat) header.format = FallbackFormat(header);
    }
    // The disk charge of every frame includes its index entry, so only a real
    // write error can stop this; a release has no way to report it.
    static_cast<void>(avi::Finish(file.writer, file.stream ? &header : nullptr));
}

void DropFileHold(IAVIFile& file)
{
    --file.streamHolds;
    if (file.handles == 0 && file.streamHolds == 0) CompleteFile(file);
}

void EndStream(IAVIStream& stream);

void DropStreamHold(IAVIStream& stream)
{
    --stream.compressingHolds;
    if (stream.handles == 0 && stream.compressingHolds == 0) EndStream(stream);
}

// The last reference to a stream is gone: it lets go of what it holds.
void EndStream(IAVIStream& stream)
{
    if (stream.source) DropStreamHold(*stream.source);
    if (stream.file) DropFileHold(*stream.file);
}

// --- The calls' work ------------------------------------------------------------

bool OpensNewFileForWriting(UINT mode)
{
    return (mode & OF_CREATE) != 0 && (mode & (OF_WRITE | OF_READWRITE)) != 0;
}

HRESULT OpenFile(PAVIFILE* file, LPCSTR path, UINT mode)
{
    if (!LibraryInitialised()) {
        desktop::ReportMisuse("AVIFileOpenA: AVIFile library not initialised");
        return kNotInitialised;
    }
    if (HRESULT fault = TakeFault(desktop::AviCall::FileOpen)) return fault;
    if (!OpensNewFileForWriting(mode)) return AVIERR_UNSUPPORTED;
    if (!path || !*path) return AVIERR_FILEOPEN;
    if (!DiskHasRoom(desktop::kAviFileBaseBytes)) return AVIERR_FILEOPEN;

    auto opened = std::make_unique<IAVIFile>();
    opened->path = path;
    if (!avi::Create(opened->writer, path)) return AVIERR_FILEOPEN;
    TakeDisk(desktop::kAviFileBaseBytes);
    *file = opened.get();
    model.files.push_back(std::move(opened));
    return AVIERR_OK;
}

avi::StreamHeader HeaderFromInfo(const AVISTREAMINFOA& info)
{
    avi::StreamHeader header;
    header.fccType = info.fccType;
    header.fccHandler = info.fccHandler;
    header.flags = info.dwFlags;
    header.priority = info.wPriority;
    header.language = info.wLanguage;
    header.initialFrames = info.dwInitialFrames;
    header.scale = info.dwScale;
    header.rate = info.dwRate;
    header.start = info.dwStart;
    header.quality = info.dwQuality;
    header.sampleSize = info.dwSampleSize;
    header.frame = info.rcFrame;
    header.name.assign(info.szName, strnlen(info.szName, sizeof info.szName));
    return header;
}

HRESULT CreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOA* info)
{
    RequireLibrary("AVIFileCreateStreamA");
    IAVIFile* held = HeldFile(file, "AVIFileCreateStreamA");
    if (!held) return AVIERR_BADHANDLE;
    if (HRESULT fault = TakeFault(desktop::AviCall::CreateStream)) return fault;
    if (!info) return AVIERR_BADPARAM;
    if (info->fccType != streamtypeVIDEO || held->stream) return AVIERR_UNSUPPORTED;
    if (info->dwRate == 0 || info->dwScale == 0) return AVIERR_BADPARAM;

    auto created = std::make_unique<IAVIStream>();
    created->file = held;
    created->header = HeaderFromInfo(*info);
    held->stream = created.get();
    ++held->streamHolds;
    *stream = created.get();
    model.streams.push_back(std::move(created));
    return AVIERR_OK;
}

HRESULT MakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, const AVICOMPRESSOPTIONS* options)
{
    RequireLibrary("AVIMakeCompressedStream");
    IAVIStream* held = HeldStream(source, "AVIMakeCompressedStream");
    if (!held) return AVIERR_BADHANDLE;
    if (HRESULT fault = TakeFault(desktop::AviCall::MakeCompressedStream)) return fault;
    if (!options) return AVIERR_BADPARAM;
    if (held->source) return AVIERR_UNSUPPORTED;  // compressing a compressing stream
    if (options->fccType != 0 && options->fccType != held->header.fccType) return AVIERR_BADPARAM;
    if (!compressors::Exists(options->fccHandler)) return AVIERR_NOCOMPRESSOR;
    switch (compressors::CheckState(options->fccHandler, options->lpParms, options->cbParms)) {
    case compressors::StateCheck::Valid:
        break;
    case compressors::StateCheck::Freed:
        desktop::ReportMisuse("AVIMakeCompressedStream: compressor state used after ICCompressorFree");
        return AVIERR_COMPRESSOR;
    case compressors::StateCheck::Foreign:
        return AVIERR_COMPRESSOR;
    }

    auto created = std::make_unique<IAVIStream>();
    created->source = held;
    created->handler = options->fccHandler;
    ++held->compressingHolds;
    *compressed = created.get();
    model.streams.push_back(std::move(created));
    return AVIERR_OK;
}

// The plain stream that a stream's frames end up in.
IAVIStream& StoringStream(IAVIStream& stream)
{
    return stream.source ? *stream.source : stream;
}

HRESULT CheckFormatHeader(const BITMAPINFOHEADER& header, LONG formatSize, const IAVIStream& storing)
{
    if (header.biSize < sizeof header || header.biSize > static_cast<DWORD>(formatSize)) return AVIERR_BADFORMAT;
    if (header.biWidth <= 0 || header.biHeight <= 0) return AVIERR_BADFORMAT;
    if (static_cast<size_t>(formatSize) > avi::LargestFormatBytes(storing.header.name)) return AVIERR_BADFORMAT;
    return AVIERR_OK;
}

void StoreFormat(IAVIStream& storing, std::vector<BYTE> format)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, format.data(), sizeof header);
    storing.header.format = std::move(format);
    storing.uncompressedFrameBytes = compressors::UncompressedFrameBytes(header);
    storing.hasFormat = true;
}

HRESULT SetFormat(PAVISTREAM stream, LONG position, LPCVOID format, LONG formatSize)
{
    RequireLibrary("AVIStreamSetFormat");
    IAVIStream* held = HeldStream(stream, "AVIStreamSetFormat");
    if (!held) return AVIERR_BADHANDLE;
    if (HRESULT fault = TakeFault(desktop::AviCall::SetFormat)) return fault;
    if (!format) return AVIERR_BADPARAM;
    if (formatSize < static_cast<LONG>(sizeof(BITMAPINFOHEADER))) return AVIERR_BADFORMAT;
    IAVIStream& storing = StoringStream(*held);
    if (storing.length > 0) return AVIERR_UNSUPPORTED;  // no format changes within the stream
    if (position != 0) return AVIERR_BADPARAM;

    BITMAPINFOHEADER header;
    std::memcpy(&header, format, sizeof header);
    if (HRESULT bad = CheckFormatHeader(header, formatSize, storing)) return bad;
    const BYTE* bytes = static_cast<const BYTE*>(format);
    if (!held->source) {
        StoreFormat(storing, std::vector<BYTE>(bytes, bytes + formatSize));
        return AVIERR_OK;
    }
    if (!compressors::TakesFormat(held->handler, header)) return AVIERR_BADFORMAT;
    StoreFormat(storing, compressors::StoredFormat(held->handler, bytes, static_cast<size_t>(formatSize)));
    storing.header.fccHandler = held->handler;
    held->input = header;
    held->hasInput = true;
    return AVIERR_OK;
}

HRESULT CheckWrite(const IAVIStream& stream, LONG start, LONG samples, LPCVOID buffer, LONG bufferSize)
{
    const IAVIStream& storing = stream.source ? *stream.source : stream;
    if (!storing.hasFormat || (stream.source && !stream.hasInput)) return AVIERR_BADFORMAT;
    if (samples != 1 || !buffer || start != storing.length) return AVIERR_BADPARAM;
    if (bufferSize <= 0) return AVIERR_BADSIZE;
    uint32_t frameBytes =
        stream.source ? compressors::UncompressedFrameBytes(stream.input) : storing.uncompressedFrameBytes;
    if (frameBytes != 0 && static_cast<uint32_t>(bufferSize) != frameBytes) return AVIERR_BADSIZE;
    return AVIERR_OK;
}

struct StoredFrame {
    const BYTE* data;
    uint32_t size;
    uint32_t chunkId;
    uint32_t flags;
};

StoredFrame FrameToStore(IAVIStream& stream, LPCVOID buffer, LONG bufferSize, DWORD flags)
{
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    StoredFrame frame{};
    if (stream.source) {
        // Both compressors make every frame a complete one.
        frame.data = compressors::CompressFrame(stream.handler, stream.input, bytes, stream.scratch, &frame.size,
                                                &frame.chunkId);
        frame.flags = AVIIF_KEYFRAME;
        return frame;
    }
    frame.data = bytes;
    frame.size = static_cast<uint32_t>(bufferSize);
    frame.chunkId = stream.uncompressedFrameBytes ? avi::kUncompressedChunk : avi::kCompressedChunk;
    frame.flags = flags & AVIIF_KEYFRAME;
    return frame;
}

HRESULT WriteFrame(PAVISTREAM stream, LONG start, LONG samples, LPCVOID buffer, LONG bufferSize, DWORD flags,
                   LONG* bytesStored)
{
    RequireLibrary("AVIStreamWrite");
    IAVIStream* held = HeldStream(stream, "AVIStreamWrite");
    if (!held) return AVIERR_BADHANDLE;
    if (HRESULT fault = TakeFault(desktop::AviCall::Write)) return fault;
    if (HRESULT bad = CheckWrite(*held, start, samples, buffer, bufferSize)) return bad;

    IAVIStream& storing = StoringStream(*held);
    avi::Writer& writer = storing.file->writer;
    StoredFrame frame = FrameToStore(*held, buffer, bufferSize, flags);
    if (avi::FinishedSizeWithChunk(writer, frame.size) > std::min(model.sizeCap, kRiffLimit)) return AVIERR_FILEWRITE;
    if (!DiskHasRoom(FrameDiskBytes(frame.size))) return AVIERR_FILEWRITE;
    if (!avi::AppendChunk(writer, frame.chunkId, frame.data, frame.size, frame.flags)) return AVIERR_FILEWRITE;
    TakeDisk(FrameDiskBytes(frame.size));
    ++storing.length;
    *bytesStored = static_cast<LONG>(frame.size);
    return AVIERR_OK;
}

AVICOMPRESSOPTIONS OptionsOrNone(const AVICOMPRESSOPTIONS* options)
{
    return options ? *options : AVICOMPRESSOPTIONS{};
}

}  // namespace

// --- The library's calls ------------------------------------------------------------

void WINAPI AVIFileInit(void)
{
    ++model.initCalls;
}

void WINAPI AVIFileExit(void)
{
    if (!LibraryInitialised()) desktop::ReportMisuse("AVIFileExit: without a matching AVIFileInit");
    ++model.exitCalls;
    if (!LibraryInitialised() && (desktop::LiveAviFiles() > 0 || desktop::LiveAviStreams() > 0)) {
        desktop::ReportMisuse("AVIFileExit: AVIFile handles still open");
    }
}

HRESULT WINAPI AVIFileOpenA(PAVIFILE* file, LPCSTR path, UINT mode, LPCLSID handler)
{
    HRESULT result = AVIERR_BADPARAM;
    if (file) {
        *file = nullptr;
        result = OpenFile(file, path, mode);
    }
    model.opens.push_back({path ? path : "", mode, handler == nullptr, result});
    return result;
}

ULONG WINAPI AVIFileRelease(PAVIFILE file)
{
    RequireLibrary("AVIFileRelease");
    IAVIFile* held = HeldFile(file, "AVIFileRelease");
    if (!held) return 0;
    --held->handles;
    if (held->handles == 0 && held->streamHolds == 0) CompleteFile(*held);
    return static_cast<ULONG>(held->handles + held->streamHolds);
}

HRESULT WINAPI AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info)
{
    if (info) model.streamsCreated.push_back(*info);
    if (!stream) return AVIERR_BADPARAM;
    *stream = nullptr;
    return CreateStream(file, stream, info);
}

HRESULT WINAPI AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                                       CLSID* handler)
{
    HRESULT result = AVIERR_BADPARAM;
    if (compressed) {
        *compressed = nullptr;
        result = MakeCompressedStream(compressed, source, options);
    }
    model.compressedStreams.push_back({OptionsOrNone(options), handler == nullptr, result});
    return result;
}

HRESULT WINAPI AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatSize)
{
    HRESULT result = SetFormat(stream, position, format, formatSize);
    std::vector<BYTE> bytes;
    if (format && formatSize > 0) {
        const BYTE* first = static_cast<const BYTE*>(format);
        bytes.assign(first, first + formatSize);
    }
    model.formatsSet.push_back({position, std::move(bytes), result});
    return result;
}

HRESULT WINAPI AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferSize,
                              DWORD flags, LONG* samplesWritten, LONG* bytesWritten)
{
    LONG bytesStored = 0;
    HRESULT result = WriteFrame(stream, start, samples, buffer, bufferSize, flags, &bytesStored);
    if (result == AVIERR_OK) {
        if (samplesWritten) *samplesWritten = 1;
        if (bytesWritten) *bytesWritten = bytesStored;
    }
    model.writes.push_back(
        {start, samples, bufferSize, flags, samplesWritten != nullptr, bytesWritten != nullptr, result, bytesStored});
    return result;
}

ULONG WINAPI AVIStreamRelease(PAVISTREAM stream)
{
    RequireLibrary("AVIStreamRelease");
    IAVIStream* held = HeldStream(stream, "AVIStreamRelease");
    if (!held) return 0;
    --held->handles;
    ULONG left = static_cast<ULONG>(held->handles + held->compressingHolds);
    if (left == 0) EndStream(*held);
    return left;
}

// --- The model's side -------------------------------------------------------------

namespace desktop {

void ResetAviFile()
{
    for (auto& file : model.files) avi::Abandon(file->writer);
    model = AviModel{};
}

void FailNextAviCall(AviCall call, HRESULT result)
{
    model.faults[call].push_back(result);
}

void SetDiskFreeBytes(long long bytes)
{
    model.diskFree = bytes;
}

long long DiskFreeBytes()
{
    return model.diskFree;
}

void SetAviFileSizeCap(unsigned long long bytes)
{
    model.sizeCap = bytes;
}

int AviFileInitCalls()
{
    return model.initCalls;
}

int AviFileExitCalls()
{
    return model.exitCalls;
}

int LiveAviFiles()
{
    int live = 0;
    for (const auto& file : model.files) {
        if (file->handles > 0) ++live;
    }
    return live;
}

int LiveAviStreams()
{
    int live = 0;
    for (const auto& stream : model.streams) {
        if (stream->handles > 0) ++live;
    }
    return live;
}

const std::vector<AviOpenRecord>& AviFileOpens()
{
    return model.opens;
}

const std::vector<AVISTREAMINFOA>& AviStreamsCreated()
{
    return model.streamsCreated;
}

const std::vector<CompressedStreamRecord>& AviCompressedStreams()
{
    return model.compressedStreams;
}

const std::vector<SetFormatRecord>& AviFormatsSet()
{
    return model.formatsSet;
}

const std::vector<AviWriteRecord>& AviWrites()
{
    return model.writes;
}

}  // namespace desktop
