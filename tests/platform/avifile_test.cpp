// The AVIFile library of the model: files read back by ffprobe and ffmpeg,
// their headers, the error results, reference counting and the library's
// initialisation.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/avi_recording.h"
#include "support/ffmpeg_reader.h"

namespace {

using namespace avitest;

constexpr DWORD kDib = desktop::kUncompressedHandler;
constexpr DWORD kRle = desktop::kRunLengthHandler;
constexpr UINT kProgramMode = OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE;

ffmpeg::StreamInfo ProbeOrFail(const std::string& path)
{
    ffmpeg::StreamInfo info;
    std::string error;
    EXPECT_TRUE(ffmpeg::Probe(path, &info, &error)) << error;
    return info;
}

// Whether the file reads as a completed recording: before its last release
// it has frames but no stream headers yet.
bool ReadsAsVideo(const std::string& path)
{
    ffmpeg::StreamInfo info;
    std::string error;
    return ffmpeg::Probe(path, &info, &error) && info.videoStreams == 1;
}

void ExpectDecodesTo(const std::string& path, const std::vector<Picture*>& frames)
{
    std::string error;
    auto decoded = ffmpeg::DecodeBgr24(path, &error);
    ASSERT_EQ(decoded.size(), frames.size()) << error;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(decoded[i] == frames[i]->TopDownBgr()) << "frame " << i << " differs";
    }
}

// --- Frames come back as they went in -------------------------------------------

struct RoundTripCase {
    const char* label;
    DWORD handler;
    int width, height;
    DWORD rate;
    const char* codec;
};

class RoundTripTest : public AviTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTripTest, FfmpegReadsTheSamePixelsRateAndSize)
{
    const RoundTripCase& c = GetParam();
    const std::string path = PathFor("round_trip.avi");
    std::vector<Picture> pictures = {Gradient(c.width, c.height), Flat(c.width, c.height, {10, 200, 30}),
                                     Noise(c.width, c.height, 7), Gradient(c.width, c.height, 5)};
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, c.handler, c.rate, c.width, c.height));
    std::vector<long long> stored;
    for (size_t i = 0; i < pictures.size(); ++i) {
        LONG bytes = 0;
        ASSERT_EQ(Write(recording.compressed, static_cast<LONG>(i), pictures[i], &bytes), AVIERR_OK);
        if (c.handler == kDib) {
            EXPECT_EQ(bytes, pictures[i].Bytes());
        }
        stored.push_back(bytes);
    }
    Close(recording);

    ffmpeg::StreamInfo info = ProbeOrFail(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.codecName, c.codec);
    EXPECT_EQ(info.pixFmt, "bgr24");
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.frameRate, std::to_string(c.rate) + "/1");
    EXPECT_EQ(info.headerFrames, 4);
    EXPECT_EQ(info.decodedFrames, 4);
    EXPECT_EQ(info.title, "Video #1");
    EXPECT_EQ(info.packetSizes, stored);
    EXPECT_EQ(info.keyPackets, 4);
    ExpectDecodesTo(path, {&pictures[0], &pictures[1], &pictures[2], &pictures[3]});
}

INSTANTIATE_TEST_SUITE_P(
    Compressors, RoundTripTest,
    ::testing::Values(RoundTripCase{"Uncompressed64x48At1", kDib, 64, 48, 1, "rawvideo"},
                      RoundTripCase{"Uncompressed320x200At8", kDib, 320, 200, 8, "rawvideo"},
                      RoundTripCase{"UncompressedPaddedRows6x5", kDib, 6, 5, 2, "rawvideo"},
                      RoundTripCase{"RunLength64x48At2", kRle, 64, 48, 2, "msrle"},
                      RoundTripCase{"RunLength1440x816At4", kRle, 1440, 816, 4, "msrle"},
                      RoundTripCase{"RunLengthPaddedRows6x5", kRle, 6, 5, 8, "msrle"}),
    [](const auto& info) { return std::string(info.param.label); });

class EmptyRecordingTest : public AviTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(EmptyRecordingTest, IsAValidFileWithOneVideoStreamAndNoFrames)
{
    const RoundTripCase& c = GetParam();
    const std::string path = PathFor("empty.avi");
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, c.handler, c.rate, c.width, c.height));
    Close(recording);

    ffmpeg::StreamInfo info = ProbeOrFail(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.codecName, c.codec);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.headerFrames, 0);
    EXPECT_EQ(info.decodedFrames, 0);
    std::string error;
    EXPECT_TRUE(ffmpeg::DecodeBgr24(path, &error).empty());
    EXPECT_EQ(error, "");
}

INSTANTIATE_TEST_SUITE_P(Compressors, EmptyRecordingTest,
                         ::testing::Values(RoundTripCase{"Uncompressed", kDib, 640, 480, 4, "rawvideo"},
                                           RoundTripCase{"RunLength", kRle, 640, 480, 4, "msrle"}),
                         [](const auto& info) { return std::string(info.param.label); });

// --- The headers, as written on the last release -------------------------------

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

struct Chunk {
    uint32_t id;      // the list's type for RIFF and LIST
    size_t data;      // where its contents start (after a list's type)
    uint32_t size;
};

// Every chunk and list of the file, depth first, as a RIFF reader walks them.
void WalkChunks(const std::vector<uint8_t>& bytes, size_t from, size_t to, std::vector<Chunk>* chunks)
{
    while (from + 8 <= to) {
        uint32_t id = Le32(bytes, from);
        uint32_t size = Le32(bytes, from + 4);
        bool list = id == mmioFOURCC('R', 'I', 'F', 'F') || id == mmioFOURCC('L', 'I', 'S', 'T');
        if (list) {
            chunks->push_back({Le32(bytes, from + 8), from + 12, size - 4});
            WalkChunks(bytes, from + 12, std::min(to, from + 8 + size), chunks);
        } else {
            chunks->push_back({id, from + 8, size});
        }
        from += 8 + size + (size & 1);
    }
}

const Chunk* Find(const std::vector<Chunk>& chunks, uint32_t id)
{
    for (const Chunk& chunk : chunks) {
        if (chunk.id == id) return &chunk;
    }
    return nullptr;
}

TEST_F(AviTest, HeadersAndIndexDescribeTheFramesWritten)
{
    const std::string path = PathFor("headers.avi");
    const int width = 96, height = 64;
    std::vector<Picture> pictures = {Flat(width, height, {1, 2, 3}), Noise(width, height, 3), Gradient(width, height)};
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kRle, 4, width, height));
    std::vector<long long> stored;
    for (size_t i = 0; i < pictures.size(); ++i) {
        LONG bytes = 0;
        ASSERT_EQ(Write(recording.compressed, static_cast<LONG>(i), pictures[i], &bytes), AVIERR_OK);
        stored.push_back(bytes);
    }
    Close(recording);
    const uint32_t largest = static_cast<uint32_t>(*std::max_element(stored.begin(), stored.end()));

    ffmpeg::StreamInfo info = ProbeOrFail(path);
    EXPECT_EQ(info.headerFrames, 3);
    EXPECT_EQ(info.frameRate, "4/1");
    EXPECT_EQ(info.packetSizes, stored);
    EXPECT_EQ(info.keyPackets, 3);

    // What ffprobe does not show: the fields the headers were completed with.
    std::vector<uint8_t> bytes = ReadFile(path);
    std::vector<Chunk> chunks;
    WalkChunks(bytes, 0, bytes.size(), &chunks);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks[0].id, mmioFOURCC('A', 'V', 'I', ' '));
    EXPECT_EQ(chunks[0].size + 12, bytes.size());

    const Chunk* avih = Find(chunks, mmioFOURCC('a', 'v', 'i', 'h'));
    ASSERT_TRUE(avih);
    ASSERT_EQ(avih->size, 56u);
    EXPECT_EQ(Le32(bytes, avih->data + 0), 250000u);       // microseconds per frame
    EXPECT_EQ(Le32(bytes, avih->data + 12) & 0x10, 0x10u);  // has an index
    EXPECT_EQ(Le32(bytes, avih->data + 16), 3u);            // total frames
    EXPECT_EQ(Le32(bytes, avih->data + 24), 1u);            // streams
    EXPECT_EQ(Le32(bytes, avih->data + 28), largest);       // suggested buffer size
    EXPECT_EQ(Le32(bytes, avih->data + 32), static_cast<uint32_t>(width));
    EXPECT_EQ(Le32(bytes, avih->data + 36), static_cast<uint32_t>(height));

    const Chunk* strh = Find(chunks, mmioFOURCC('s', 't', 'r', 'h'));
    ASSERT_TRUE(strh);
    ASSERT_EQ(strh->size, 56u);
    EXPECT_EQ(Le32(bytes, strh->data + 0), streamtypeVIDEO);
    EXPECT_EQ(Le32(bytes, strh->data + 4), kRle);
    EXPECT_EQ(Le32(bytes, strh->data + 20), 1u);           // scale
    EXPECT_EQ(Le32(bytes, strh->data + 24), 4u);           // rate
    EXPECT_EQ(Le32(bytes, strh->data + 32), 3u);           // length
    EXPECT_EQ(Le32(bytes, strh->data + 36), largest);      // suggested buffer size
    EXPECT_EQ(Le32(bytes, strh->data + 40), 0xFFFFFFFFu);  // quality
    EXPECT_EQ(Le16(bytes, strh->data + 52), width);
    EXPECT_EQ(Le16(bytes, strh->data + 54), height);

    const Chunk* strf = Find(chunks, mmioFOURCC('s', 't', 'r', 'f'));
    ASSERT_TRUE(strf);
    ASSERT_EQ(strf->size, 40u);
    EXPECT_EQ(Le16(bytes, strf->data + 14), 24);
    EXPECT_EQ(Le32(bytes, strf->data + 16), kRle);

    const Chunk* movi = Find(chunks, mmioFOURCC('m', 'o', 'v', 'i'));
    const Chunk* idx1 = Find(chunks, mmioFOURCC('i', 'd', 'x', '1'));
    ASSERT_TRUE(movi && idx1);
    ASSERT_EQ(idx1->size, 3u * 16);
    for (size_t i = 0; i < 3; ++i) {
        size_t entry = idx1->data + 16 * i;
        EXPECT_EQ(Le32(bytes, entry), mmioFOURCC('0', '0', 'd', 'c'));
        EXPECT_EQ(Le32(bytes, entry + 4), static_cast<uint32_t>(AVIIF_KEYFRAME));
        EXPECT_EQ(Le32(bytes, entry + 12), stored[i]);
        // Offsets count from the 'movi' fourcc and lead to the chunk itself.
        size_t chunk = movi->data - 4 + Le32(bytes, entry + 8);
        EXPECT_EQ(Le32(bytes, chunk), mmioFOURCC('0', '0', 'd', 'c'));
        EXPECT_EQ(Le32(bytes, chunk + 4), stored[i]);
    }
}

TEST_F(AviTest, FramesReachTheDiskAsTheyAreWritten)
{
    const std::string path = PathFor("growing.avi");
    Picture picture = Gradient(64, 48);
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kDib, 4, 64, 48));
    const auto before = std::filesystem::file_size(path);
    for (LONG i = 0; i < 3; ++i) {
        ASSERT_EQ(Write(recording.compressed, i, picture), AVIERR_OK);
        EXPECT_EQ(std::filesystem::file_size(path), before + (i + 1) * (8 + picture.dib.size()));
    }
    // Not yet a complete file: the headers come with the last release.
    EXPECT_FALSE(ReadsAsVideo(path));
    Close(recording);
    EXPECT_EQ(ProbeOrFail(path).decodedFrames, 3);
}

// --- Error results -------------------------------------------------------------

TEST_F(AviTest, APathThatCannotBeCreatedFailsToOpen)
{
    const std::string path = PathFor("no/such/folder/x.avi");
    PAVIFILE file = reinterpret_cast<PAVIFILE>(&file);
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), kProgramMode, nullptr), AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(desktop::LiveAviFiles(), 0);
    ASSERT_EQ(desktop::AviFileOpens().size(), 1u);
    EXPECT_EQ(desktop::AviFileOpens()[0].result, AVIERR_FILEOPEN);
}

struct FormatCase {
    const char* label;
    DWORD handler;
    void (*change)(BITMAPINFOHEADER&);
    LONG size;
    HRESULT expected;
};

class FormatTest : public AviTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, TheCompressorTakesOnlyFormatsThatFit)
{
    const FormatCase& c = GetParam();
    Recording recording;
    AVISTREAMINFOA info = VideoInfo(c.handler, 4, 64, 48);
    AVICOMPRESSOPTIONS options = Options(c.handler);
    ASSERT_EQ(AVIFileOpenA(&recording.file, PathFor("format.avi").c_str(), kProgramMode, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(recording.file, &recording.raw, &info), AVIERR_OK);
    ASSERT_EQ(AVIMakeCompressedStream(&recording.compressed, recording.raw, &options, nullptr), AVIERR_OK);

    BITMAPINFOHEADER format = Format24(64, 48);
    c.change(format);
    EXPECT_EQ(AVIStreamSetFormat(recording.compressed, 0, &format, c.size), c.expected);
    if (c.expected != AVIERR_OK) {
        // Refused formats leave the stream without one.
        Picture picture = Gradient(64, 48);
        EXPECT_EQ(Write(recording.compressed, 0, picture), AVIERR_BADFORMAT);
    }
    Close(recording);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatTest,
    ::testing::Values(
        FormatCase{"ShorterThanAHeader", kDib, [](BITMAPINFOHEADER&) {}, 39, AVIERR_BADFORMAT},
        FormatCase{"ZeroWidth", kDib, [](BITMAPINFOHEADER& f) { f.biWidth = 0; }, 40, AVIERR_BADFORMAT},
        FormatCase{"TopDownRows", kRle, [](BITMAPINFOHEADER& f) { f.biHeight = -48; }, 40, AVIERR_BADFORMAT},
        FormatCase{"WrongImageSize", kRle, [](BITMAPINFOHEADER& f) { f.biSizeImage += 4; }, 40, AVIERR_BADFORMAT},
        FormatCase{"RunLengthOf32Bits",
                   kRle,
                   [](BITMAPINFOHEADER& f) {
                       f.biBitCount = 32;
                       f.biSizeImage = 64 * 48 * 4;
                   },
                   40, AVIERR_BADFORMAT},
        FormatCase{"UncompressedOf32Bits",
                   kDib,
                   [](BITMAPINFOHEADER& f) {
                       f.biBitCount = 32;
                       f.biSizeImage = 64 * 48 * 4;
                   },
                   40, AVIERR_OK},
        FormatCase{"CompressedInput", kDib, [](BITMAPINFOHEADER& f) { f.biCompression = BI_RLE8; }, 40,
                   AVIERR_BADFORMAT},
        FormatCase{"ImageSizeLeftZero", kRle, [](BITMAPINFOHEADER& f) { f.biSizeImage = 0; }, 40, AVIERR_OK}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AviTest, AnUnknownCompressorIsRefused)
{
    Recording recording;
    AVISTREAMINFOA info = VideoInfo(kDib, 4, 64, 48);
    AVICOMPRESSOPTIONS options = Options(mmioFOURCC('n', 'o', 'n', 'e'));
    ASSERT_EQ(AVIFileOpenA(&recording.file, PathFor("x.avi").c_str(), kProgramMode, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(recording.file, &recording.raw, &info), AVIERR_OK);
    EXPECT_EQ(AVIMakeCompressedStream(&recording.compressed, recording.raw, &options, nullptr), AVIERR_NOCOMPRESSOR);
    EXPECT_EQ(recording.compressed, nullptr);
    EXPECT_EQ(desktop::LiveAviStreams(), 1);
    Close(recording);
}

struct WriteCase {
    const char* label;
    LONG start;
    LONG samples;
    LONG sizeChange;
    HRESULT expected;
};

class BadWriteTest : public AviTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(BadWriteTest, IsRefusedAndStoresNothing)
{
    const WriteCase& c = GetParam();
    const std::string path = PathFor("bad_write.avi");
    Picture picture = Noise(64, 48, 1);
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kRle, 4, 64, 48));
    std::vector<uint8_t> buffer = picture.dib;
    buffer.resize(buffer.size() + 8);
    EXPECT_EQ(AVIStreamWrite(recording.compressed, c.start, c.samples, buffer.data(), picture.Bytes() + c.sizeChange,
                             AVIIF_KEYFRAME, nullptr, nullptr),
              c.expected);
    // The stream is where it was: the first frame still goes at 0.
    ASSERT_EQ(Write(recording.compressed, 0, picture), AVIERR_OK);
    Close(recording);
    ExpectDecodesTo(path, {&picture});
}

INSTANTIATE_TEST_SUITE_P(Writes, BadWriteTest,
                         ::testing::Values(WriteCase{"StartPastTheEnd", 1, 1, 0, AVIERR_BADPARAM},
                                           WriteCase{"NegativeStart", -1, 1, 0, AVIERR_BADPARAM},
                                           WriteCase{"TwoSamples", 0, 2, 0, AVIERR_BADPARAM},
                                           WriteCase{"BufferTooShort", 0, 1, -1, AVIERR_BADSIZE},
                                           WriteCase{"BufferTooLong", 0, 1, 4, AVIERR_BADSIZE}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(AviTest, AFullDiskRefusesTheFrameAndKeepsTheFileWhole)
{
    const std::string path = PathFor("full.avi");
    std::vector<Picture> pictures = {Gradient(64, 48), Noise(64, 48, 2), Flat(64, 48, {9, 9, 9}),
                                     Gradient(64, 48, 3)};
    desktop::SetDiskFreeBytes(100);
    PAVIFILE file = nullptr;
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), kProgramMode, nullptr), AVIERR_FILEOPEN);

    // Room for the file and two uncompressed frames with their index entries.
    const long long frameCost = 8 + pictures[0].Bytes() + 16;
    desktop::SetDiskFreeBytes(desktop::kAviFileBaseBytes + 2 * frameCost + 10);
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kDib, 4, 64, 48));
    EXPECT_EQ(Write(recording.compressed, 0, pictures[0]), AVIERR_OK);
    EXPECT_EQ(Write(recording.compressed, 1, pictures[1]), AVIERR_OK);
    LONG bytes = -5;
    EXPECT_EQ(Write(recording.compressed, 2, pictures[2], &bytes), AVIERR_FILEWRITE);
    EXPECT_EQ(bytes, -5);
    EXPECT_EQ(desktop::DiskFreeBytes(), 10);

    // Once there is room again, the refused position is the next one.
    desktop::SetDiskFreeBytes(-1);
    EXPECT_EQ(Write(recording.compressed, 2, pictures[3]), AVIERR_OK);
    Close(recording);
    ExpectDecodesTo(path, {&pictures[0], &pictures[1], &pictures[3]});
}

TEST_F(AviTest, AWritePastTheSizeCapIsRefused)
{
    const std::string path = PathFor("capped.avi");
    std::vector<Picture> pictures = {Noise(64, 48, 4), Noise(64, 48, 5), Noise(64, 48, 6)};
    const unsigned long long cap = desktop::kAviFileBaseBytes + 2 * (8 + pictures[0].dib.size() + 16);
    desktop::SetAviFileSizeCap(cap);
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kDib, 4, 64, 48));
    EXPECT_EQ(Write(recording.compressed, 0, pictures[0]), AVIERR_OK);
    EXPECT_EQ(Write(recording.compressed, 1, pictures[1]), AVIERR_OK);
    EXPECT_EQ(Write(recording.compressed, 2, pictures[2]), AVIERR_FILEWRITE);
    Close(recording);
    EXPECT_LE(std::filesystem::file_size(path), cap);
    ExpectDecodesTo(path, {&pictures[0], &pictures[1]});
}

// Lowers the largest file size this process may write, as a disk that fails
// mid-write would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        applied_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool Applied() const { return applied_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
    bool applied_ = false;
};

TEST_F(AviTest, AFailedDiskWriteLeavesNoPartOfTheFrame)
{
    const std::string path = PathFor("write_error.avi");
    std::vector<Picture> pictures = {Noise(64, 48, 8), Noise(64, 48, 9), Gradient(64, 48)};
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kDib, 4, 64, 48));
    ASSERT_EQ(Write(recording.compressed, 0, pictures[0]), AVIERR_OK);
    {
        // The next chunk's header fits, its data does not.
        FileSizeLimit limit(std::filesystem::file_size(path) + 100);
        ASSERT_TRUE(limit.Applied());
        EXPECT_EQ(Write(recording.compressed, 1, pictures[1]), AVIERR_FILEWRITE);
    }
    ASSERT_EQ(Write(recording.compressed, 1, pictures[2]), AVIERR_OK);
    Close(recording);
    ExpectDecodesTo(path, {&pictures[0], &pictures[2]});
}

struct FaultCase {
    const char* label;
    desktop::AviCall call;
};

class InjectedFaultTest : public AviTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(InjectedFaultTest, TheCallFailsWithTheResultAndChangesNothing)
{
    const desktop::AviCall faulty = GetParam().call;
    const HRESULT injected = AVIERR_MEMORY;
    const std::string path = PathFor("fault.avi");
    Picture picture = Gradient(64, 48);
    AVISTREAMINFOA info = VideoInfo(kRle, 4, 64, 48);
    AVICOMPRESSOPTIONS options = Options(kRle);
    BITMAPINFOHEADER format = Format24(64, 48);
    Recording recording;
    desktop::FailNextAviCall(faulty, injected);

    // Each step of the program's set-up and one frame; the faulty one is
    // tried twice, and its second try must find nothing changed.
    auto step = [&](desktop::AviCall call, auto attempt, auto unchanged) {
        if (call == faulty) {
            EXPECT_EQ(attempt(), injected);
            unchanged();
        }
        ASSERT_EQ(attempt(), AVIERR_OK);
    };
    step(
        desktop::AviCall::FileOpen,
        [&] { return AVIFileOpenA(&recording.file, path.c_str(), kProgramMode, nullptr); },
        [&] {
            EXPECT_EQ(recording.file, nullptr);
            EXPECT_FALSE(std::filesystem::exists(path));
        });
    step(
        desktop::AviCall::CreateStream, [&] { return AVIFileCreateStreamA(recording.file, &recording.raw, &info); },
        [&] { EXPECT_EQ(recording.raw, nullptr); });
    step(
        desktop::AviCall::MakeCompressedStream,
        [&] { return AVIMakeCompressedStream(&recording.compressed, recording.raw, &options, nullptr); },
        [&] { EXPECT_EQ(recording.compressed, nullptr); });
    step(
        desktop::AviCall::SetFormat,
        [&] { return AVIStreamSetFormat(recording.compressed, 0, &format, sizeof format); },
        [&] { EXPECT_EQ(Write(recording.compressed, 0, picture), AVIERR_BADFORMAT); });
    step(
        desktop::AviCall::Write, [&] { return Write(recording.compressed, 0, picture); }, [] {});
    Close(recording);

    EXPECT_EQ(ProbeOrFail(path).headerFrames, 1);
    ExpectDecodesTo(path, {&picture});
}

INSTANTIATE_TEST_SUITE_P(Calls, InjectedFaultTest,
                         ::testing::Values(FaultCase{"FileOpen", desktop::AviCall::FileOpen},
                                           FaultCase{"CreateStream", desktop::AviCall::CreateStream},
                                           FaultCase{"MakeCompressedStream", desktop::AviCall::MakeCompressedStream},
                                           FaultCase{"SetFormat", desktop::AviCall::SetFormat},
                                           FaultCase{"Write", desktop::AviCall::Write}),
                         [](const auto& info) { return std::string(info.param.label); });

// --- Reference counting ----------------------------------------------------------

enum class Handle { File, Raw, Compressed };

struct ReleaseOrderCase {
    const char* label;
    Handle order[3];
    ULONG left[3];  // what each release returns
};

class ReleaseOrderTest : public AviTest, public ::testing::WithParamInterface<ReleaseOrderCase> {};

TEST_P(ReleaseOrderTest, TheFileIsCompletedWhenItsLastReferenceGoes)
{
    const ReleaseOrderCase& c = GetParam();
    const std::string path = PathFor("order.avi");
    Picture picture = Gradient(64, 48);
    Recording recording;
    ASSERT_TRUE(Open(&recording, path, kRle, 2, 64, 48));
    ASSERT_EQ(Write(recording.compressed, 0, picture), AVIERR_OK);
    ASSERT_EQ(Write(recording.compressed, 1, picture), AVIERR_OK);

    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(ReadsAsVideo(path)) << "completed before release " << i;
        switch (c.order[i]) {
        case Handle::File:
            EXPECT_EQ(AVIFileRelease(recording.file), c.left[i]) << "release " << i;
            break;
        case Handle::Raw:
            EXPECT_EQ(AVIStreamRelease(recording.raw), c.left[i]) << "release " << i;
            break;
        case Handle::Compressed:
            EXPECT_EQ(AVIStreamRelease(recording.compressed), c.left[i]) << "release " << i;
            break;
        }
    }
    EXPECT_EQ(desktop::LiveAviFiles(), 0);
    EXPECT_EQ(desktop::LiveAviStreams(), 0);
    ffmpeg::StreamInfo info = ProbeOrFail(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.decodedFrames, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ReleaseOrderTest,
    ::testing::Values(
        ReleaseOrderCase{"AsTheProgramDoes", {Handle::Compressed, Handle::Raw, Handle::File}, {0, 0, 0}},
        ReleaseOrderCase{"FileFirst", {Handle::File, Handle::Compressed, Handle::Raw}, {1, 0, 0}},
        ReleaseOrderCase{"PlainStreamFirst", {Handle::Raw, Handle::File, Handle::Compressed}, {1, 1, 0}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AviTest, HandlesAreCountedWhileOpen)
{
    Recording recording;
    ASSERT_TRUE(Open(&recording, PathFor("count.avi"), kDib, 1, 64, 48));
    EXPECT_EQ(desktop::LiveAviFiles(), 1);
    EXPECT_EQ(desktop::LiveAviStreams(), 2);
    AVIStreamRelease(recording.compressed);
    EXPECT_EQ(desktop::LiveAviStreams(), 1);
    AVIStreamRelease(recording.raw);
    AVIFileRelease(recording.file);
    EXPECT_EQ(desktop::LiveAviFiles(), 0);
    EXPECT_EQ(desktop::LiveAviStreams(), 0);
}

TEST_F(AviTest, ReleasedAndUnknownHandlesAreReportedNotUsed)
{
    misusesExpected_ = true;
    Picture picture = Gradient(64, 48);
    BITMAPINFOHEADER format = Format24(64, 48);
    Recording recording;
    ASSERT_TRUE(Open(&recording, PathFor("stale.avi"), kDib, 1, 64, 48));
    Recording stale = recording;
    Close(recording);
    ASSERT_TRUE(desktop::Misuses().empty());

    EXPECT_EQ(AVIStreamRelease(stale.compressed), 0u);
    EXPECT_EQ(AVIFileRelease(stale.file), 0u);
    EXPECT_EQ(Write(stale.compressed, 0, picture), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamSetFormat(stale.raw, 0, &format, sizeof format), AVIERR_BADHANDLE);
    PAVISTREAM made = nullptr;
    AVICOMPRESSOPTIONS options = Options(kDib);
    EXPECT_EQ(AVIMakeCompressedStream(&made, stale.raw, &options, nullptr), AVIERR_BADHANDLE);
    int notAStream = 0;
    EXPECT_EQ(Write(reinterpret_cast<PAVISTREAM>(&notAStream), 0, picture), AVIERR_BADHANDLE);
    EXPECT_EQ(desktop::Misuses().size(), 6u);
}

// --- The library's use --------------------------------------------------------------

TEST_F(AviTest, InitAndExitAreCountedAndMustPair)
{
    misusesExpected_ = true;
    AVIFileInit();  // nested use, as two users of the library would
    EXPECT_EQ(desktop::AviFileInitCalls(), 2);
    AVIFileExit();
    AVIFileExit();
    EXPECT_EQ(desktop::AviFileExitCalls(), 2);
    EXPECT_TRUE(desktop::Misuses().empty());

    AVIFileExit();
    EXPECT_EQ(desktop::AviFileExitCalls(), 3);
    EXPECT_EQ(desktop::Misuses().size(), 1u);
}

TEST_F(AviTest, CallsWhileTheLibraryIsNotInitialisedAreReported)
{
    misusesExpected_ = true;
    AVIFileExit();
    PAVIFILE file = nullptr;
    const std::string path = PathFor("uninitialised.avi");
    EXPECT_NE(AVIFileOpenA(&file, path.c_str(), kProgramMode, nullptr), AVIERR_OK);
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(desktop::Misuses().size(), 1u);
}

TEST_F(AviTest, EndingTheLibraryWithHandlesOpenIsReported)
{
    misusesExpected_ = true;
    Recording recording;
    ASSERT_TRUE(Open(&recording, PathFor("open.avi"), kDib, 1, 64, 48));
    AVIFileExit();
    EXPECT_EQ(desktop::Misuses().size(), 1u);
}

// --- What the program asked, as recorded ----------------------------------------

TEST_F(AviTest, RecordsTheCallsAsMade)
{
    const std::string path = PathFor("records.avi");
    AVISTREAMINFOA info = VideoInfo(kRle, 8, 64, 48);
    AVICOMPRESSOPTIONS options = Options(kRle);
    options.dwKeyFrameEvery = 15;
    options.dwBytesPerSecond = 300;
    options.dwFlags = AVICOMPRESSF_DATARATE | AVICOMPRESSF_KEYFRAMES;
    BITMAPINFOHEADER format = Format24(64, 48);
    Picture picture = Flat(64, 48, {5, 6, 7});
    Recording recording;
    ASSERT_EQ(AVIFileOpenA(&recording.file, path.c_str(), kProgramMode, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(recording.file, &recording.raw, &info), AVIERR_OK);
    ASSERT_EQ(AVIMakeCompressedStream(&recording.compressed, recording.raw, &options, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(recording.compressed, 0, &format, sizeof format), AVIERR_OK);
    LONG samples = 0, bytes = 0;
    ASSERT_EQ(AVIStreamWrite(recording.compressed, 0, 1, picture.dib.data(), picture.Bytes(), AVIIF_KEYFRAME,
                             &samples, &bytes),
              AVIERR_OK);
    EXPECT_EQ(Write(recording.compressed, 5, picture), AVIERR_BADPARAM);
    Close(recording);
    EXPECT_EQ(samples, 1);
    EXPECT_GT(bytes, 0);
    EXPECT_LT(bytes, picture.Bytes());

    ASSERT_EQ(desktop::AviFileOpens().size(), 1u);
    EXPECT_EQ(desktop::AviFileOpens()[0].path, path);
    EXPECT_EQ(desktop::AviFileOpens()[0].mode, 0x1041u);
    EXPECT_TRUE(desktop::AviFileOpens()[0].handlerNull);

    ASSERT_EQ(desktop::AviStreamsCreated().size(), 1u);
    EXPECT_EQ(std::memcmp(&desktop::AviStreamsCreated()[0], &info, sizeof info), 0);

    ASSERT_EQ(desktop::AviCompressedStreams().size(), 1u);
    const AVICOMPRESSOPTIONS& seen = desktop::AviCompressedStreams()[0].options;
    EXPECT_EQ(seen.fccHandler, kRle);
    EXPECT_EQ(seen.dwKeyFrameEvery, 15u);
    EXPECT_EQ(seen.dwBytesPerSecond, 300u);
    EXPECT_EQ(seen.dwFlags, static_cast<DWORD>(AVICOMPRESSF_DATARATE | AVICOMPRESSF_KEYFRAMES));

    ASSERT_EQ(desktop::AviFormatsSet().size(), 1u);
    EXPECT_EQ(desktop::AviFormatsSet()[0].position, 0);
    ASSERT_EQ(desktop::AviFormatsSet()[0].format.size(), sizeof format);
    EXPECT_EQ(std::memcmp(desktop::AviFormatsSet()[0].format.data(), &format, sizeof format), 0);

    ASSERT_EQ(desktop::AviWrites().size(), 2u);
    const desktop::AviWriteRecord& first = desktop::AviWrites()[0];
    EXPECT_EQ(first.start, 0);
    EXPECT_EQ(first.samples, 1);
    EXPECT_EQ(first.bufferSize, picture.Bytes());
    EXPECT_EQ(first.flags, static_cast<DWORD>(AVIIF_KEYFRAME));
    EXPECT_TRUE(first.wantsSamplesWritten && first.wantsBytesWritten);
    EXPECT_EQ(first.result, AVIERR_OK);
    EXPECT_EQ(first.bytesStored, bytes);
    const desktop::AviWriteRecord& second = desktop::AviWrites()[1];
    EXPECT_EQ(second.start, 5);
    EXPECT_FALSE(second.wantsSamplesWritten || second.wantsBytesWritten);
    EXPECT_EQ(second.result, AVIERR_BADPARAM);
    EXPECT_EQ(second.bytesStored, 0);
}

}  // namespace
