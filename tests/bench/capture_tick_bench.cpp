// Prints how long one capture tick of a 1440 x 816 recording takes on the
// headless desktop, and its two costly parts: the screen copy into the
// picture and the stream write (compression and disk). The ratio of a whole
// tick to one memcpy of a frame puts the figures in proportion to the
// machine. Figures only: nothing here passes or fails.
//
//   capture_tick_bench [ticks]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "headless/desktop.h"
#include "recorder.h"
#include "support/frame_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    times.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Something like a desktop: flat window areas, a text-like noisy block and
// a gradient, so that the run-length compressor meets both kinds of content.
void PaintDesktopLikeScreen()
{
    desktop::PaintScreen([](int x, int y) -> COLORREF {
        if (y < 30)
            return RGB(0, 84, 166);
        if (x > 300 && x < 900 && y > 200 && y < 600)
            return ((x * 13 + y * 7) % 11 < 3) ? RGB(0, 0, 0) : RGB(255, 255, 255);
        if (x > 1000)
            return RGB(x & 0xFF, y & 0xFF, 128);
        return RGB(236, 233, 216);
    });
}

struct Figures {
    double tickMs;
    double copyMs;
    double writeMs;
    double memcpyMs;
    long long fileBytes;
    int frames;
};

Figures Measure(DWORD handler, const std::string& path, int ticks)
{
    desktop::Reset();
    g_recorder = RecorderState{};
    HWND frame = CreateFrameWindowForTest(100, 100, 1440, 820);
    PaintDesktopLikeScreen();
    SetCursorPos(700, 400);

    desktop::PressKeys({VK_F4});
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.typed = path});
    desktop::CompressorAnswer compressor;
    compressor.fccHandler = handler;
    desktop::AnswerCompressorDialog(compressor);
    desktop::PressKeys({VK_F5});
    if (!g_recorder.compressedStream) {
        std::fprintf(stderr, "the recording did not start\n");
        std::exit(1);
    }

    const CaptureGeometry geometry = g_recorder.geometry;
    Figures figures = {};
    figures.tickMs = MedianMs([&] { CaptureTick(frame); }, ticks);

    // The copy, as the tick makes it.
    HDC screen = GetDC(nullptr);
    figures.copyMs = MedianMs(
        [&] {
            CImage picture;
            picture.Create(geometry.captureWidth, geometry.captureHeight, 24);
            BitBlt(picture.GetDC(), 0, 0, geometry.captureWidth, geometry.captureHeight, screen, 100, 100, SRCCOPY);
            picture.ReleaseDC();
        },
        ticks);
    ReleaseDC(nullptr, screen);

    // The write of one frame, into the same recording.
    std::vector<BYTE> pixels(static_cast<size_t>(geometry.frameBytes));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<BYTE>((i / 3000) * 37);
    figures.writeMs = MedianMs(
        [&] {
            AVIStreamWrite(g_recorder.compressedStream, g_recorder.frameCount, 1, pixels.data(), geometry.frameBytes,
                           AVIIF_KEYFRAME, nullptr, nullptr);
            ++g_recorder.frameCount;
        },
        ticks);

    // A fresh destination each time, as the tick's picture is, and a byte of
    // it read back so that the copy cannot be left out.
    volatile BYTE sink = 0;
    figures.memcpyMs = MedianMs(
        [&] {
            std::vector<BYTE> copy(pixels.size());
            std::memcpy(copy.data(), pixels.data(), pixels.size());
            sink = sink + copy[copy.size() / 2];
        },
        ticks * 4);

    figures.frames = g_recorder.frameCount;
    desktop::PressKeys({VK_F6});
    figures.fileBytes = static_cast<long long>(std::filesystem::file_size(path));
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const std::filesystem::path directory = std::filesystem::temp_directory_path() / "lurvix-bench";
    std::filesystem::create_directories(directory);

    std::printf("capture tick, 1440 x 816 picture, median of %d runs\n", ticks);
    std::printf("%-14s %10s %10s %10s %10s %12s %14s\n", "compressor", "tick ms", "copy ms", "write ms", "memcpy ms",
                "tick/memcpy", "bytes/frame");
    const struct {
        const char* name;
        DWORD handler;
    } compressors[] = {{"uncompressed", desktop::kUncompressedHandler},
                       {"run-length", desktop::kRunLengthHandler}};
    for (const auto& compressor : compressors) {
        const std::string path = (directory / (std::string(compressor.name) + ".avi")).string();
        const Figures f = Measure(compressor.handler, path, ticks);
        std::printf("%-14s %10.3f %10.3f %10.3f %10.3f %12.1f %14lld\n", compressor.name, f.tickMs, f.copyMs,
                    f.writeMs, f.memcpyMs, f.tickMs / f.memcpyMs, f.fileBytes / std::max(1, f.frames));
        std::filesystem::remove(path);
    }
    return 0;
}
