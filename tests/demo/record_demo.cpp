// Records a short scripted session on the headless desktop with the real
// recorder: a moving scene under the frame window, the pointer circling over
// it, a rate key, F5 with the file and compressor dialogs answered, some
// seconds of capture, F6. Prints what the user would have seen.
//
//   record_demo <output.avi> [rle|none] [seconds] [1|2|4|8]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "headless/desktop.h"
#include "recorder.h"
#include "support/frame_window.h"

namespace {

constexpr int kFrameX = 200;
constexpr int kFrameY = 150;

// A diagonal colour gradient with a white square moving across it.
void PaintScene(DWORD timeMs)
{
    const int boxX = kFrameX + static_cast<int>(timeMs / 10 % 600);
    const int boxY = kFrameY + 200;
    desktop::PaintScreen([&](int x, int y) -> COLORREF {
        if (x >= boxX && x < boxX + 40 && y >= boxY && y < boxY + 40)
            return RGB(255, 255, 255);
        return RGB((x + timeMs / 20) % 256, (y * 2) % 256, (x + y) % 256);
    });
}

void MovePointer(DWORD timeMs)
{
    const double angle = timeMs / 1000.0;
    SetCursorPos(kFrameX + 320 + static_cast<int>(150 * std::cos(angle)),
                 kFrameY + 240 + static_cast<int>(150 * std::sin(angle)));
}

int RateKey(int framesPerSecond)
{
    switch (framesPerSecond) {
    case 1:
        return VK_F1;
    case 2:
        return VK_F2;
    case 8:
        return VK_F4;
    default:
        return VK_F3;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output.avi> [rle|none] [seconds] [1|2|4|8]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const bool runLength = argc < 3 || std::string(argv[2]) != "none";
    const int seconds = argc >= 4 ? std::atoi(argv[3]) : 5;
    const int framesPerSecond = argc >= 5 ? std::atoi(argv[4]) : 4;

    desktop::Reset();
    HWND frame = CreateFrameWindowForTest(kFrameX, kFrameY, 645, 483);
    PaintScene(0);
    MovePointer(0);

    desktop::PressKeys({RateKey(framesPerSecond)});
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.typed = path});
    desktop::CompressorAnswer compressor;
    compressor.fccHandler = runLength ? desktop::kRunLengthHandler : desktop::kUncompressedHandler;
    desktop::AnswerCompressorDialog(compressor);
    desktop::PressKeys({VK_F5});

    for (int step = 0; step < seconds * 20; ++step) {
        desktop::AdvanceTime(50);
        PaintScene(desktop::Now());
        MovePointer(desktop::Now());
    }
    desktop::PressKeys({VK_F6});

    for (const std::string& title : desktop::TitleHistory(frame))
        std::printf("title: %s\n", title.c_str());
    bool failed = g_recorder.frameCount == 0;
    for (const desktop::MessageBoxRecord& box : desktop::MessageBoxes()) {
        std::printf("box:   [%s] %s\n", box.caption.c_str(), box.text.c_str());
        failed = failed || box.caption != "INFORMATION";
    }
    for (const std::string& misuse : desktop::Misuses()) {
        std::printf("platform misuse: %s\n", misuse.c_str());
        failed = true;
    }
    std::printf("%d frames of %d x %d written to %s\n", g_recorder.frameCount, g_recorder.geometry.captureWidth,
                g_recorder.geometry.captureHeight, path.c_str());
    return failed ? 1 : 0;
}
