#include "support/frame_window.h"

#include "recorder.h"

namespace {

constexpr const char* kClassName = "LurvixTestFrame";
int paintCount = 0;

LRESULT CALLBACK FrameProcForTest(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        HandleKeyDown(hwnd);
        return 0;
    case WM_TIMER:
        CaptureTick(hwnd);
        return 0;
    case WM_PAINT:
        ++paintCount;
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

HWND CreateFrameWindowForTest(int x, int y, int width, int height)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProcForTest;
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);  // fails harmlessly when already registered
    paintCount = 0;
    return CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST, kClassName, "Lurvix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x,
                           y, width, height, nullptr, nullptr, nullptr, nullptr);
}

int FramePaintCount()
{
    return paintCount;
}
