#include "support/screen_frames.h"

#include "headless/desktop.h"

std::vector<uint8_t> ScreenRegionBgr(int left, int top, int width, int height)
{
    std::vector<uint8_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            const bool onScreen = x >= 0 && y >= 0 && x < desktop::ScreenWidth() && y < desktop::ScreenHeight();
            const COLORREF colour = onScreen ? desktop::ScreenPixel(x, y) : RGB(0, 0, 0);
            pixels.push_back(GetBValue(colour));
            pixels.push_back(GetGValue(colour));
            pixels.push_back(GetRValue(colour));
        }
    }
    return pixels;
}

std::vector<POINT> ArrowOutline(POINT p)
{
    return {{p.x, p.y},          {p.x + 12, p.y + 6}, {p.x + 10, p.y + 8}, {p.x + 13, p.y + 11},
            {p.x + 11, p.y + 13}, {p.x + 8, p.y + 10}, {p.x + 6, p.y + 12}, {p.x, p.y}};
}

std::vector<uint8_t> ScreenRegionWithArrow(int left, int top, int width, int height, POINT pointer)
{
    const std::vector<POINT> outline = ArrowOutline(pointer);
    HDC screen = GetDC(nullptr);
    const int previous = SetROP2(screen, R2_NOT);
    Polyline(screen, outline.data(), static_cast<int>(outline.size()));
    std::vector<uint8_t> frame = ScreenRegionBgr(left, top, width, height);
    Polyline(screen, outline.data(), static_cast<int>(outline.size()));
    SetROP2(screen, previous);
    ReleaseDC(nullptr, screen);
    return frame;
}

::testing::AssertionResult SamePixels(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                                      int width)
{
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "frame has " << actual.size() << " bytes, expected " << expected.size();
    }
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            const size_t pixel = i / 3;
            return ::testing::AssertionFailure()
                   << "first difference at column " << pixel % width << ", row " << pixel / width << ", channel "
                   << i % 3 << ": " << int(actual[i]) << " instead of " << int(expected[i]);
        }
    }
    return ::testing::AssertionSuccess();
}
