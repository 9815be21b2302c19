// Pictures and recordings for the AVIFile and compressor tests: frames with
// known pixels, and an AVI file opened through the library the way the
// program opens one (plain stream, compressing stream, 24-bit format).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "headless/desktop.h"

namespace avitest {

// A 24-bit picture as the program hands it to AVIStreamWrite: bottom-up rows
// of B, G, R, each padded to a multiple of 4 bytes.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> dib;

    size_t Stride() const { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }
    uint8_t* Pixel(int x, int yFromTop) { return &dib[Stride() * static_cast<size_t>(height - 1 - yFromTop) + 3 * x]; }
    LONG Bytes() const { return static_cast<LONG>(dib.size()); }

    // What ffmpeg gives back: top-down rows of B, G, R without padding.
    std::vector<uint8_t> TopDownBgr() const
    {
        std::vector<uint8_t> rows;
        for (int y = height - 1; y >= 0; --y) {
            const uint8_t* row = &dib[Stride() * static_cast<size_t>(y)];
            rows.insert(rows.end(), row, row + 3 * width);
        }
        return rows;
    }
};

struct Bgr {
    uint8_t b, g, r;
};

inline Picture Paint(int width, int height, const std::function<Bgr(int x, int y)>& colourAt)
{
    Picture picture{width, height, {}};
    picture.dib.assign(picture.Stride() * static_cast<size_t>(height), 0xAB);  // padding not zero on purpose
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Bgr colour = colourAt(x, y);
            uint8_t* pixel = picture.Pixel(x, y);
            pixel[0] = colour.b;
            pixel[1] = colour.g;
            pixel[2] = colour.r;
        }
    }
    return picture;
}

inline Picture Gradient(int width, int height, int shift = 0)
{
    return Paint(width, height, [=](int x, int y) {
        return Bgr{static_cast<uint8_t>(x + shift), static_cast<uint8_t>(y * 2), static_cast<uint8_t>((x + y) / 3)};
    });
}

inline Picture Flat(int width, int height, Bgr colour)
{
    return Paint(width, height, [=](int, int) { return colour; });
}

inline Picture Noise(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    return Paint(width, height, [&](int, int) {
        uint32_t bits = random();
        return Bgr{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16)};
    });
}

inline BITMAPINFOHEADER Format24(int width, int height)
{
    BITMAPINFOHEADER format{};
    format.biSize = sizeof format;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = 24;
    format.biCompression = BI_RGB;
    format.biSizeImage = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
    return format;
}

inline AVISTREAMINFOA VideoInfo(DWORD handler, DWORD rate, int width, int height)
{
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = handler;
    info.dwScale = 1;
    info.dwRate = rate;
    info.dwQuality = static_cast<DWORD>(-1);
    info.rcFrame = {0, 0, width, height};
    std::snprintf(info.szName, sizeof info.szName, "Video #1");
    return info;
}

inline AVICOMPRESSOPTIONS Options(DWORD handler, LPVOID parms = nullptr, DWORD parmsSize = 0)
{
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = handler;
    options.dwQuality = static_cast<DWORD>(-1);
    options.lpParms = parms;
    options.cbParms = parmsSize;
    return options;
}

struct Recording {
    PAVIFILE file = nullptr;
    PAVISTREAM raw = nullptr;
    PAVISTREAM compressed = nullptr;
};

// Opens a file with a compressing stream over its plain one and sets the
// 24-bit frame format, stopping at the first failure.
inline ::testing::AssertionResult Open(Recording* recording, const std::string& path, DWORD handler, DWORD rate,
                                       int width, int height)
{
    AVISTREAMINFOA info = VideoInfo(handler, rate, width, height);
    AVICOMPRESSOPTIONS options = Options(handler);
    BITMAPINFOHEADER format = Format24(width, height);
    if (HRESULT hr = AVIFileOpenA(&recording->file, path.c_str(), OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE, nullptr)) {
        return ::testing::AssertionFailure() << "AVIFileOpenA: " << std::hex << hr;
    }
    if (HRESULT hr = AVIFileCreateStreamA(recording->file, &recording->raw, &info)) {
        return ::testing::AssertionFailure() << "AVIFileCreateStreamA: " << std::hex << hr;
    }
    if (HRESULT hr = AVIMakeCompressedStream(&recording->compressed, recording->raw, &options, nullptr)) {
        return ::testing::AssertionFailure() << "AVIMakeCompressedStream: " << std::hex << hr;
    }
    if (HRESULT hr = AVIStreamSetFormat(recording->compressed, 0, &format, sizeof format)) {
        return ::testing::AssertionFailure() << "AVIStreamSetFormat: " << std::hex << hr;
    }
    return ::testing::AssertionSuccess();
}

inline HRESULT Write(PAVISTREAM stream, LONG position, Picture& picture, LONG* bytesStored = nullptr)
{
    return AVIStreamWrite(stream, position, 1, picture.dib.data(), picture.Bytes(), AVIIF_KEYFRAME, nullptr,
                          bytesStored);
}

// Releases in the program's order: compressing stream, plain stream, file.
inline void Close(Recording& recording)
{
    if (recording.compressed) AVIStreamRelease(recording.compressed);
    if (recording.raw) AVIStreamRelease(recording.raw);
    if (recording.file) AVIFileRelease(recording.file);
    recording = Recording{};
}

// A fresh model desktop with the AVIFile library initialised, and a directory
// for this test's files. Unless a test says it misuses the platform on
// purpose, it must not.
class AviTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop::Reset();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "_" + test->name();
        for (char& c : name) {
            if (c == '/') c = '_';  // parameterised tests have slashes in their names
        }
        directory_ = ::testing::TempDir() + "lurvix_avi_" + name + "_" + std::to_string(getpid());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        AVIFileInit();
    }

    void TearDown() override
    {
        if (!misusesExpected_) {
            EXPECT_EQ(desktop::Misuses(), std::vector<std::string>{});
        }
        desktop::Reset();
        std::filesystem::remove_all(directory_);
    }

    std::string PathFor(const std::string& name) const { return directory_ + "/" + name; }

    bool misusesExpected_ = false;
    std::string directory_;
};

}  // namespace avitest
