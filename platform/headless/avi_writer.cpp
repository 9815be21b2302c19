#include "avi_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace avi {

namespace {

constexpr uint32_t kFlagHasIndex = 0x10;
constexpr uint32_t kMainHeaderBytes = 56;
constexpr uint32_t kStreamHeaderBytes = 56;
constexpr uint32_t kListHeaderBytes = 12;
constexpr uint32_t kChunkHeaderBytes = 8;

// Little-endian byte builder for the header area.
struct Bytes {
    std::vector<BYTE> data;

    void Put16(uint32_t value)
    {
        data.push_back(static_cast<BYTE>(value));
        data.push_back(static_cast<BYTE>(value >> 8));
    }
    void Put32(uint32_t value)
    {
        Put16(value & 0xFFFF);
        Put16(value >> 16);
    }
    void PutBytes(const void* bytes, size_t size)
    {
        const BYTE* first = static_cast<const BYTE*>(bytes);
        data.insert(data.end(), first, first + size);
    }
    void PadToEven()
    {
        if (data.size() % 2 != 0) data.push_back(0);
    }
    // Starts a chunk or list; returns where its size goes.
    size_t Open(uint32_t fourcc)
    {
        Put32(fourcc);
        size_t sizeAt = data.size();
        Put32(0);
        return sizeAt;
    }
    // Sets the size of the chunk opened at sizeAt to what follows it.
    void Close(size_t sizeAt)
    {
        uint32_t size = static_cast<uint32_t>(data.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i) data[sizeAt + i] = static_cast<BYTE>(size >> (8 * i));
        PadToEven();
    }
};

bool WriteAllAt(int fd, const void* bytes, size_t size, uint64_t offset)
{
    const BYTE* next = static_cast<const BYTE*>(bytes);
    while (size > 0) {
        ssize_t written = pwrite(fd, next, size, static_cast<off_t>(offset));
        if (written <= 0) return false;
        next += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

uint32_t Padded(uint32_t size)
{
    return size + (size & 1);
}

uint32_t NameChunkBytes(const std::string& name)
{
    return kChunkHeaderBytes + Padded(static_cast<uint32_t>(name.size() + 1));
}

uint64_t IndexFileBytes(size_t entries)
{
    return kChunkHeaderBytes + kIndexEntryBytes * static_cast<uint64_t>(entries);
}

uint32_t MicroSecondsPerFrame(const StreamHeader& stream)
{
    if (stream.rate == 0) return 0;
    return static_cast<uint32_t>((1000000ULL * stream.scale + stream.rate / 2) / stream.rate);
}

uint32_t MaxBytesPerSecond(const Writer& writer, const StreamHeader& stream)
{
    if (stream.scale == 0) return 0;
    uint64_t perSecond = (static_cast<uint64_t>(writer.largestChunk) * stream.rate + stream.scale - 1) / stream.scale;
    return static_cast<uint32_t>(std::min<uint64_t>(perSecond, UINT32_MAX));
}

// Width and height as the format gives them (a BITMAPINFOHEADER), else as the
// frame rectangle does.
void FrameSize(const StreamHeader& stream, uint32_t* width, uint32_t* height)
{
    if (stream.format.size() >= 12) {
        std::memcpy(width, &stream.format[4], 4);
        std::memcpy(height, &stream.format[8], 4);
        return;
    }
    *width = static_cast<uint32_t>(stream.frame.right - stream.frame.left);
    *height = static_cast<uint32_t>(stream.frame.bottom - stream.frame.top);
}

void PutMainHeader(Bytes& out, const Writer& writer, const StreamHeader* stream)
{
    uint32_t width = 0, height = 0;
    if (stream) FrameSize(*stream, &width, &height);
    size_t at = out.Open(mmioFOURCC('a', 'v', 'i', 'h'));
    out.Put32(stream ? MicroSecondsPerFrame(*stream) : 0);
    out.Put32(stream ? MaxBytesPerSecond(writer, *stream) : 0);
    out.Put32(0);  // padding granularity
    out.Put32(kFlagHasIndex);
    out.Put32(static_cast<uint32_t>(writer.index.size()));
    out.Put32(0);  // initial frames
    out.Put32(stream ? 1 : 0);
    out.Put32(writer.largestChunk);
    out.Put32(width);
    out.Put32(height);
    for (int i = 0; i < 4; ++i) out.Put32(0);
    out.Close(at);
}

void PutStreamHeader(Bytes& out, const Writer& writer, const StreamHeader& stream)
{
    size_t at = out.Open(mmioFOURCC('s', 't', 'r', 'h'));
    out.Put32(stream.fccType);
    out.Put32(stream.fccHandler);
    out.Put32(stream.flags);
    out.Put16(stream.priority);
    out.Put16(stream.language);
    out.Put32(stream.initialFrames);
    out.Put32(stream.scale);
    out.Put32(stream.rate);
    out.Put32(stream.start);
    out.Put32(static_cast<uint32_t>(writer.index.size()));
    out.Put32(writer.largestChunk);
    out.Put32(stream.quality);
    out.Put32(stream.sampleSize);
    out.Put16(static_cast<uint16_t>(stream.frame.left));
    out.Put16(static_cast<uint16_t>(stream.frame.top));
    out.Put16(static_cast<uint16_t>(stream.frame.right));
    out.Put16(static_cast<uint16_t>(stream.frame.bottom));
    out.Close(at);
}

void PutStreamList(Bytes& out, const Writer& writer, const StreamHeader& stream)
{
    size_t list = out.Open(mmioFOURCC('L', 'I', 'S', 'T'));
    out.Put32(mmioFOURCC('s', 't', 'r', 'l'));
    PutStreamHeader(out, writer, stream);

    size_t format = out.Open(mmioFOURCC('s', 't', 'r', 'f'));
    out.PutBytes(stream.format.data(), stream.format.size());
    out.Close(format);

    size_t name = out.Open(mmioFOURCC('s', 't', 'r', 'n'));
    out.PutBytes(stream.name.c_str(), stream.name.size() + 1);
    out.Close(name);
    out.Close(list);
}

// The whole header area: RIFF header, hdrl, JUNK up to the 'movi' list and
// the 'movi' list's header.
std::vector<BYTE> HeaderArea(const Writer& writer, const StreamHeader* stream, uint64_t fileSize)
{
    Bytes out;
    out.Put32(mmioFOURCC('R', 'I', 'F', 'F'));
    out.Put32(static_cast<uint32_t>(fileSize - 8));
    out.Put32(mmioFOURCC('A', 'V', 'I', ' '));

    size_t hdrl = out.Open(mmioFOURCC('L', 'I', 'S', 'T'));
    out.Put32(mmioFOURCC('h', 'd', 'r', 'l'));
    PutMainHeader(out, writer, stream);
    if (stream) PutStreamList(out, writer, *stream);
    out.Close(hdrl);

    out.Put32(mmioFOURCC('J', 'U', 'N', 'K'));
    out.Put32(static_cast<uint32_t>(kMoviListOffset - out.data.size() - 4));
    out.data.resize(kMoviListOffset, 0);

    out.Put32(mmioFOURCC('L', 'I', 'S', 'T'));
    out.Put32(static_cast<uint32_t>(writer.end - kMoviListOffset - 8));
    out.Put32(mmioFOURCC('m', 'o', 'v', 'i'));
    return out.data;
}

std::vector<BYTE> IndexChunk(const Writer& writer)
{
    Bytes out;
    out.Put32(mmioFOURCC('i', 'd', 'x', '1'));
    out.Put32(static_cast<uint32_t>(kIndexEntryBytes * writer.index.size()));
    for (const IndexEntry& entry : writer.index) {
        out.Put32(entry.chunkId);
        out.Put32(entry.flags);
        out.Put32(entry.offset);
        out.Put32(entry.size);
    }
    return out.data;
}

}  // namespace

bool Create(Writer& writer, const std::string& path)
{
    writer = Writer{};
    writer.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (writer.fd < 0) return false;
    // A placeholder that keeps the frames' place until the headers are known.
    std::vector<BYTE> placeholder = HeaderArea(writer, nullptr, kHeaderAreaBytes);
    if (!WriteAllAt(writer.fd, placeholder.data(), placeholder.size(), 0)) {
        Abandon(writer);
        return false;
    }
    return true;
}

uint64_t ChunkFileBytes(uint32_t size)
{
    return kChunkHeaderBytes + static_cast<uint64_t>(Padded(size));
}

uint64_t FinishedSizeWithChunk(const Writer& writer, uint32_t size)
{
    return writer.end + ChunkFileBytes(size) + IndexFileBytes(writer.index.size() + 1);
}

size_t LargestFormatBytes(const std::string& name)
{
    const uint64_t fixed = kListHeaderBytes                         // RIFF
                           + kListHeaderBytes                       // hdrl
                           + kChunkHeaderBytes + kMainHeaderBytes   // avih
                           + kListHeaderBytes                       // strl
                           + kChunkHeaderBytes + kStreamHeaderBytes  // strh
                           + kChunkHeaderBytes                      // strf
                           + NameChunkBytes(name)                   // strn
                           + kChunkHeaderBytes;                     // JUNK
    // An odd-sized format is padded by one byte.
    return static_cast<size_t>((kMoviListOffset - fixed) & ~1ULL);
}

bool AppendChunk(Writer& writer, uint32_t chunkId, const void* data, uint32_t size, uint32_t flags)
{
    BYTE header[kChunkHeaderBytes];
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<BYTE>(chunkId >> (8 * i));
        header[4 + i] = static_cast<BYTE>(size >> (8 * i));
    }
    const BYTE pad = 0;
    uint64_t at = writer.end;
    bool written = WriteAllAt(writer.fd, header, sizeof header, at) &&
                   WriteAllAt(writer.fd, data, size, at + kChunkHeaderBytes) &&
                   ((size & 1) == 0 || WriteAllAt(writer.fd, &pad, 1, at + kChunkHeaderBytes + size));
    if (!written) {
        // Cut off whatever part of the chunk reached the disk. Should that
        // fail too, the next chunk or the index overwrites the remains and
        // Finish cuts the file to its size.
        static_cast<void>(ftruncate(writer.fd, static_cast<off_t>(at)) == 0);
        return false;
    }
    writer.index.push_back({chunkId, flags, static_cast<uint32_t>(at - (kMoviListOffset + 8)), size});
    writer.end = at + ChunkFileBytes(size);
    writer.largestChunk = std::max(writer.largestChunk, size);
    return true;
}

bool Finish(Writer& writer, const StreamHeader* stream)
{
    std::vector<BYTE> index = IndexChunk(writer);
    uint64_t fileSize = writer.end + index.size();
    std::vector<BYTE> headers = HeaderArea(writer, stream, fileSize);
    bool written = WriteAllAt(writer.fd, index.data(), index.size(), writer.end) &&
                   WriteAllAt(writer.fd, headers.data(), headers.size(), 0) &&
                   ftruncate(writer.fd, static_cast<off_t>(fileSize)) == 0;
    bool closed = close(writer.fd) == 0;
    writer.fd = -1;
    return written && closed;
}

void Abandon(Writer& writer)
{
    if (writer.fd >= 0) close(writer.fd);
    writer.fd = -1;
}

}  // namespace avi
