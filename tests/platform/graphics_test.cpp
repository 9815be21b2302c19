// The graphics model: the line rule, raster operations, block transfers,
// DIB sections, layered windows and the handle bookkeeping the program's
// capture path depends on.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "headless/desktop.h"

namespace {

using PixelSet = std::set<std::pair<int, int>>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kScreenWidth = 64;
constexpr int kScreenHeight = 48;

// A colour that differs between neighbours and from its own inverse.
COLORREF Pattern(int x, int y)
{
    return RGB(x * 7 + y, y * 5 + 3, (x ^ y) * 11 + 1);
}

std::vector<COLORREF> ScreenSnapshot()
{
    std::vector<COLORREF> pixels;
    for (int y = 0; y < desktop::ScreenHeight(); ++y) {
        for (int x = 0; x < desktop::ScreenWidth(); ++x) {
            pixels.push_back(desktop::ScreenPixel(x, y));
        }
    }
    return pixels;
}

PixelSet ScreenPixelsNotBlack()
{
    PixelSet lit;
    for (int y = 0; y < desktop::ScreenHeight(); ++y) {
        for (int x = 0; x < desktop::ScreenWidth(); ++x) {
            if (desktop::ScreenPixel(x, y) != RGB(0, 0, 0)) {
                lit.insert({x, y});
            }
        }
    }
    return lit;
}

// Draws on the screen with the default one-pixel black pen in `rop2`.
void DrawOnScreen(const std::vector<POINT>& points, int rop2)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    SetROP2(screen, rop2);
    EXPECT_TRUE(Polyline(screen, points.data(), static_cast<int>(points.size())));
    ReleaseDC(nullptr, screen);
}

// The program's pointer outline with its tip at (x, y).
std::vector<POINT> ArrowAt(int x, int y)
{
    return {{x, y},          {x + 12, y + 6},  {x + 10, y + 8}, {x + 13, y + 11},
            {x + 11, y + 13}, {x + 8, y + 10}, {x + 6, y + 12}, {x, y}};
}

// The pixels of that outline with its tip at (0, 0), segment by segment,
// each from its first point up to but not including its last one.
const PixelSet kArrowPixels = {
    // (0,0) to (12,6): one a column; at half steps the upper pixel.
    {0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {10, 5}, {11, 5},
    // (12,6) to (10,8), (10,8) to (13,11), (13,11) to (11,13), (11,13) to (8,10), (8,10) to (6,12).
    {12, 6}, {11, 7}, {10, 8}, {11, 9}, {12, 10}, {13, 11}, {12, 12}, {11, 13}, {10, 12}, {9, 11}, {8, 10},
    {7, 11},
    // (6,12) to (0,0): one a row; at half steps the left pixel.
    {6, 12}, {5, 11}, {5, 10}, {4, 9}, {4, 8}, {3, 7}, {3, 6}, {2, 5}, {2, 4}, {1, 3}, {1, 2}, {0, 1}};

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop::Reset();
        desktop::ResizeScreen(kScreenWidth, kScreenHeight);
    }
};

// A memory device context holding a fresh DIB section.
struct DibCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ original = nullptr;
    BYTE* bits = nullptr;  // lowest address
    int stride = 0;

    DibCanvas(int width, int height, int bitsPerPixel = 24)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
        info.bmiHeader.biCompression = BI_RGB;
        void* memory = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        bits = static_cast<BYTE*>(memory);
        stride = (width * bitsPerPixel / 8 + 3) / 4 * 4;
        dc = CreateCompatibleDC(nullptr);
        original = SelectObject(dc, bitmap);
    }
    ~DibCanvas()
    {
        SelectObject(dc, original);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

// --- The line rule --------------------------------------------------------------

struct LineCase {
    const char* name;
    POINT from;
    POINT to;
    PixelSet pixels;
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << "(" << c.from.x << "," << c.from.y << ") to (" << c.to.x << "," << c.to.y << ")";
}

class LineRuleTest : public GraphicsTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineRuleTest, InvertsExactlyThePixelsOfTheRuleWithoutTheLastPoint)
{
    const LineCase& c = GetParam();
    DrawOnScreen({c.from, c.to}, R2_NOT);
    EXPECT_EQ(ScreenPixelsNotBlack(), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineRuleTest,
    ::testing::Values(
        LineCase{"Rightwards", {3, 5}, {8, 5}, {{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}},
        LineCase{"Leftwards", {8, 5}, {3, 5}, {{8, 5}, {7, 5}, {6, 5}, {5, 5}, {4, 5}}},
        LineCase{"Down", {4, 2}, {4, 6}, {{4, 2}, {4, 3}, {4, 4}, {4, 5}}},
        LineCase{"Up", {4, 6}, {4, 2}, {{4, 6}, {4, 5}, {4, 4}, {4, 3}}},
        LineCase{"Diagonal", {2, 2}, {6, 6}, {{2, 2}, {3, 3}, {4, 4}, {5, 5}}},
        LineCase{"AntiDiagonal", {9, 2}, {5, 6}, {{9, 2}, {8, 3}, {7, 4}, {6, 5}}},
        LineCase{"Shallow", {2, 3}, {7, 5}, {{2, 3}, {3, 3}, {4, 4}, {5, 4}, {6, 5}}},
        LineCase{"ShallowThroughAHalfStep", {2, 3}, {6, 4}, {{2, 3}, {3, 3}, {4, 3}, {5, 4}}},
        LineCase{"ShallowThroughAHalfStepBackwards", {6, 4}, {2, 3}, {{6, 4}, {5, 4}, {4, 3}, {3, 3}}},
        LineCase{"SteepThroughAHalfStep", {3, 2}, {4, 6}, {{3, 2}, {3, 3}, {3, 4}, {4, 5}}},
        LineCase{"SteepThroughAHalfStepBackwards", {4, 6}, {3, 2}, {{4, 6}, {4, 5}, {3, 4}, {3, 3}}},
        LineCase{"SinglePoint", {5, 5}, {5, 5}, {}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(GraphicsTest, ClosedOutlineTouchesEveryVertexOnce)
{
    // Inverting twice would leave a corner black: each one must be lit.
    DrawOnScreen({{2, 2}, {7, 2}, {7, 7}, {2, 7}, {2, 2}}, R2_NOT);
    PixelSet border;
    for (int i = 2; i <= 7; ++i) {
        border.insert({i, 2});
        border.insert({i, 7});
        border.insert({2, i});
        border.insert({7, i});
    }
    EXPECT_EQ(ScreenPixelsNotBlack(), border);
}

TEST_F(GraphicsTest, ArrowOutlineHasItsHandWrittenPixels)
{
    DrawOnScreen(ArrowAt(0, 0), R2_NOT);
    EXPECT_EQ(ScreenPixelsNotBlack(), kArrowPixels);
}

TEST_F(GraphicsTest, PolylineNeedsTwoPointsAndALiveDc)
{
    HDC screen = GetDC(nullptr);
    POINT points[] = {{1, 1}, {5, 1}};
    EXPECT_FALSE(Polyline(screen, points, 1));
    EXPECT_FALSE(Polyline(screen, nullptr, 2));
    EXPECT_TRUE(desktop::Misuses().empty());
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(ScreenPixelsNotBlack().empty());
}

// --- Raster operations ----------------------------------------------------------

struct RopCase {
    int rop2;
    int stockPen;
    COLORREF expected;
};

void PrintTo(const RopCase& c, std::ostream* os)
{
    *os << "mode " << c.rop2 << " with stock pen " << c.stockPen;
}

class RopTest : public GraphicsTest, public ::testing::WithParamInterface<RopCase> {};

TEST_P(RopTest, CombinesPenAndScreen)
{
    const RopCase& c = GetParam();
    desktop::FillScreen(RGB(0x12, 0x34, 0x56));
    HDC screen = GetDC(nullptr);
    SelectObject(screen, GetStockObject(c.stockPen));
    SetROP2(screen, c.rop2);
    POINT points[] = {{3, 3}, {4, 3}};
    EXPECT_TRUE(Polyline(screen, points, 2));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(desktop::ScreenPixel(3, 3), c.expected);
    EXPECT_EQ(desktop::ScreenPixel(4, 3), RGB(0x12, 0x34, 0x56));
}

INSTANTIATE_TEST_SUITE_P(Modes, RopTest,
                         ::testing::Values(RopCase{R2_COPYPEN, BLACK_PEN, RGB(0, 0, 0)},
                                           RopCase{R2_COPYPEN, WHITE_PEN, kWhite},
                                           RopCase{R2_NOT, BLACK_PEN, RGB(0xED, 0xCB, 0xA9)},
                                           RopCase{R2_NOT, WHITE_PEN, RGB(0xED, 0xCB, 0xA9)},
                                           RopCase{R2_BLACK, WHITE_PEN, RGB(0, 0, 0)},
                                           RopCase{R2_WHITE, BLACK_PEN, kWhite}));

TEST_F(GraphicsTest, SetRop2ReturnsThePreviousModeAndRefusesUnknownOnes)
{
    HDC first = GetDC(nullptr);
    EXPECT_EQ(GetROP2(first), R2_COPYPEN);
    EXPECT_EQ(SetROP2(first, R2_NOT), R2_COPYPEN);
    EXPECT_EQ(SetROP2(first, 0), 0);
    EXPECT_EQ(SetROP2(first, 17), 0);
    EXPECT_EQ(GetROP2(first), R2_NOT);
    // Every device context got from GetDC starts with the default mode.
    HDC second = GetDC(nullptr);
    EXPECT_EQ(GetROP2(second), R2_COPYPEN);
    ReleaseDC(nullptr, second);
    ReleaseDC(nullptr, first);
}

struct ArrowPlace {
    const char* name;
    int x;
    int y;
};

void PrintTo(const ArrowPlace& place, std::ostream* os)
{
    *os << "tip at (" << place.x << "," << place.y << ")";
}

class ArrowRestoreTest : public GraphicsTest, public ::testing::WithParamInterface<ArrowPlace> {};

TEST_P(ArrowRestoreTest, InvertsTheOutlineOnScreenAndDrawingItAgainRestoresEveryPixel)
{
    const ArrowPlace& place = GetParam();
    desktop::PaintScreen(Pattern);
    const std::vector<COLORREF> before = ScreenSnapshot();

    DrawOnScreen(ArrowAt(place.x, place.y), R2_NOT);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            bool onArrow = kArrowPixels.count({x - place.x, y - place.y}) != 0;
            COLORREF expected = onArrow ? (~Pattern(x, y) & kWhite) : Pattern(x, y);
            ASSERT_EQ(desktop::ScreenPixel(x, y), expected) << "at " << x << "," << y;
        }
    }

    DrawOnScreen(ArrowAt(place.x, place.y), R2_NOT);
    EXPECT_EQ(ScreenSnapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Places, ArrowRestoreTest,
                         ::testing::Values(ArrowPlace{"Middle", 20, 15}, ArrowPlace{"TopLeftCorner", 0, 0},
                                           ArrowPlace{"RightEdge", kScreenWidth - 6, 10},
                                           ArrowPlace{"BottomEdge", 10, kScreenHeight - 5},
                                           ArrowPlace{"BottomRightCorner", kScreenWidth - 3, kScreenHeight - 3},
                                           ArrowPlace{"AboveAndLeftOfTheScreen", -5, -7},
                                           ArrowPlace{"WhollyOffTheScreen", -40, kScreenHeight + 3}),
                         [](const ::testing::TestParamInfo<ArrowPlace>& info) { return std::string(info.param.name); });

// --- Block transfers ------------------------------------------------------------

TEST_F(GraphicsTest, CopyFromTheScreenFillsABottomUpDibRowByRow)
{
    desktop::PaintScreen(Pattern);
    HDC screen = GetDC(nullptr);
    DibCanvas canvas(5, 3);
    ASSERT_NE(canvas.bits, nullptr);
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 5, 3, screen, 10, 20, SRCCOPY));
    ReleaseDC(nullptr, screen);

    ASSERT_EQ(canvas.stride, 16);
    for (int y = 0; y < 3; ++y) {
        const BYTE* row = canvas.bits + (2 - y) * canvas.stride;  // the bottom row comes first
        for (int x = 0; x < 5; ++x) {
            COLORREF colour = Pattern(10 + x, 20 + y);
            EXPECT_EQ(row[x * 3 + 0], GetBValue(colour)) << x << "," << y;
            EXPECT_EQ(row[x * 3 + 1], GetGValue(colour)) << x << "," << y;
            EXPECT_EQ(row[x * 3 + 2], GetRValue(colour)) << x << "," << y;
        }
        EXPECT_EQ(row[15], 0) << "row fill of row " << y;
    }
}

TEST_F(GraphicsTest, CopyToTheScreenAndBackKeepsEveryColour)
{
    desktop::PaintScreen(Pattern);
    DibCanvas canvas(7, 4, 32);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 7, 4, screen, 3, 2, SRCCOPY));
    EXPECT_TRUE(BitBlt(screen, 40, 30, 7, 4, canvas.dc, 0, 0, SRCCOPY));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(desktop::ScreenPixel(40 + x, 30 + y), Pattern(3 + x, 2 + y));
        }
    }
    EXPECT_EQ(desktop::ScreenPixel(47, 30), Pattern(47, 30));
}

TEST_F(GraphicsTest, CopyIsClippedToTheDestination)
{
    desktop::PaintScreen(Pattern);
    DibCanvas canvas(6, 6);
    std::memset(canvas.bits, 0x55, static_cast<size_t>(canvas.stride) * 6);
    HDC screen = GetDC(nullptr);
    // Two columns hang off the left and three rows off the bottom.
    EXPECT_TRUE(BitBlt(canvas.dc, -2, 3, 6, 6, screen, 10, 10, SRCCOPY));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool copied = x < 4 && y >= 3;
            COLORREF expected = copied ? Pattern(10 + x + 2, 10 + y - 3) : RGB(0x55, 0x55, 0x55);
            EXPECT_EQ(GetPixel(canvas.dc, x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(GraphicsTest, SourcePixelsOffTheScreenComeBackBlack)
{
    desktop::PaintScreen(Pattern);
    DibCanvas canvas(4, 4);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 4, 4, nullptr, 0, 0, WHITENESS));
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 4, 4, screen, kScreenWidth - 2, -1, SRCCOPY));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            int sx = kScreenWidth - 2 + x;
            int sy = y - 1;
            bool onScreen = sx < kScreenWidth && sy >= 0;
            EXPECT_EQ(GetPixel(canvas.dc, x, y), onScreen ? Pattern(sx, sy) : RGB(0, 0, 0)) << x << "," << y;
        }
    }
}

TEST_F(GraphicsTest, BlacknessAndWhitenessFillTheClippedBlock)
{
    desktop::PaintScreen(Pattern);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(BitBlt(screen, kScreenWidth - 2, kScreenHeight - 2, 5, 5, nullptr, 0, 0, WHITENESS));
    EXPECT_TRUE(BitBlt(screen, 1, 1, 2, 2, nullptr, 0, 0, BLACKNESS));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            COLORREF expected = Pattern(x, y);
            if (x >= kScreenWidth - 2 && y >= kScreenHeight - 2) expected = kWhite;
            if (x >= 1 && x < 3 && y >= 1 && y < 3) expected = RGB(0, 0, 0);
            ASSERT_EQ(desktop::ScreenPixel(x, y), expected) << x << "," << y;
        }
    }
}

struct OverlapCase {
    const char* name;
    int dx;
    int dy;
};

void PrintTo(const OverlapCase& c, std::ostream* os)
{
    *os << "moved by (" << c.dx << "," << c.dy << ")";
}

class OverlappingCopyTest : public GraphicsTest, public ::testing::WithParamInterface<OverlapCase> {};

TEST_P(OverlappingCopyTest, MovesTheScreenContentsWithinItself)
{
    const OverlapCase& c = GetParam();
    desktop::PaintScreen(Pattern);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(BitBlt(screen, 8 + c.dx, 8 + c.dy, 30, 20, screen, 8, 8, SRCCOPY));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            ASSERT_EQ(desktop::ScreenPixel(8 + c.dx + x, 8 + c.dy + y), Pattern(8 + x, 8 + y)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Directions, OverlappingCopyTest,
                         ::testing::Values(OverlapCase{"Down", 0, 3}, OverlapCase{"Up", 0, -3},
                                           OverlapCase{"Right", 4, 0}, OverlapCase{"Left", -4, 0},
                                           OverlapCase{"DownRight", 2, 5}),
                         [](const ::testing::TestParamInfo<OverlapCase>& info) { return std::string(info.param.name); });

TEST_F(GraphicsTest, UnmodelledRasterOperationFails)
{
    HDC screen = GetDC(nullptr);
    EXPECT_FALSE(BitBlt(screen, 0, 0, 4, 4, screen, 1, 1, 0x00660046));  // SRCINVERT
    EXPECT_FALSE(BitBlt(screen, 0, 0, 4, 4, nullptr, 1, 1, SRCCOPY));
    ReleaseDC(nullptr, screen);
}

// --- Layered windows ------------------------------------------------------------

LRESULT CALLBACK PlainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class LayeredWindowTest : public GraphicsTest {
protected:
    void SetUp() override
    {
        GraphicsTest::SetUp();
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PlainWindowProc;
        wc.lpszClassName = "GraphicsTestWindow";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        desktop::PaintScreen(Pattern);
    }

    HWND CreateLayered(int x, int y, int width, int height, bool visible = true)
    {
        return CreateWindowExA(WS_EX_LAYERED, "GraphicsTestWindow", "", WS_POPUP | (visible ? WS_VISIBLE : 0), x,
                               y, width, height, nullptr, nullptr, nullptr, nullptr);
    }

    // Copies the whole screen into a DIB and returns its pixels, top row first.
    std::vector<COLORREF> CopyScreen(DWORD rop)
    {
        DibCanvas canvas(kScreenWidth, kScreenHeight);
        HDC screen = GetDC(nullptr);
        EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, kScreenWidth, kScreenHeight, screen, 0, 0, rop));
        ReleaseDC(nullptr, screen);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < kScreenHeight; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                pixels.push_back(GetPixel(canvas.dc, x, y));
            }
        }
        return pixels;
    }

    // The screen pattern with solid rectangles laid over it, in order.
    static std::vector<COLORREF> Expected(const std::vector<std::pair<RECT, COLORREF>>& overlays)
    {
        std::vector<COLORREF> pixels;
        for (int y = 0; y < kScreenHeight; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                COLORREF colour = Pattern(x, y);
                for (const auto& [r, c] : overlays) {
                    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) colour = c;
                }
                pixels.push_back(colour);
            }
        }
        return pixels;
    }
};

TEST_F(LayeredWindowTest, PlainCopyShowsWhatLiesBeneathAndCaptureBltShowsTheWindow)
{
    HWND window = CreateLayered(10, 5, 20, 12);
    ASSERT_NE(window, nullptr);
    desktop::FillLayeredWindow(window, RGB(200, 0, 0));

    EXPECT_EQ(CopyScreen(SRCCOPY), Expected({}));
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT), Expected({{{10, 5, 30, 17}, RGB(200, 0, 0)}}));
    EXPECT_EQ(desktop::VisiblePixel(10, 5), RGB(200, 0, 0));
    EXPECT_EQ(desktop::VisiblePixel(9, 5), Pattern(9, 5));
    EXPECT_EQ(desktop::ScreenPixel(10, 5), Pattern(10, 5));
}

TEST_F(LayeredWindowTest, FreshWindowIsWhiteAndHangsOffTheScreenEdge)
{
    CreateLayered(kScreenWidth - 6, -3, 20, 10);
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT), Expected({{{kScreenWidth - 6, -3, kScreenWidth + 14, 7}, kWhite}}));
}

TEST_F(LayeredWindowTest, PartOfAWindowOffTheScreenIsNotCaptured)
{
    HWND window = CreateLayered(-4, -4, 10, 10);
    desktop::FillLayeredWindow(window, RGB(0, 0, 200));
    DibCanvas canvas(8, 8);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 8, 8, screen, -2, -2, SRCCOPY | CAPTUREBLT));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            int sx = x - 2;
            int sy = y - 2;
            COLORREF expected = sx < 0 || sy < 0 ? RGB(0, 0, 0) : sx < 6 && sy < 6 ? RGB(0, 0, 200) : Pattern(sx, sy);
            EXPECT_EQ(GetPixel(canvas.dc, x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(LayeredWindowTest, HiddenWindowIsNeverComposed)
{
    HWND window = CreateLayered(10, 5, 20, 12, false);
    desktop::FillLayeredWindow(window, RGB(0, 0, 200));
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT), Expected({}));
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT), Expected({{{10, 5, 30, 17}, RGB(0, 0, 200)}}));
}

TEST_F(LayeredWindowTest, WindowKeepsItsColourWhenMovedAndGrown)
{
    HWND window = CreateLayered(10, 5, 20, 12);
    desktop::FillLayeredWindow(window, RGB(0, 150, 0));
    MoveWindow(window, 2, 20, 30, 15, TRUE);
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT), Expected({{{2, 20, 32, 35}, RGB(0, 150, 0)}}));
}

TEST_F(LayeredWindowTest, LaterWindowLiesOverTheEarlierOne)
{
    HWND lower = CreateLayered(5, 5, 20, 20);
    HWND upper = CreateLayered(15, 15, 20, 20);
    desktop::FillLayeredWindow(lower, RGB(1, 2, 3));
    desktop::FillLayeredWindow(upper, RGB(4, 5, 6));
    EXPECT_EQ(CopyScreen(SRCCOPY | CAPTUREBLT),
              Expected({{{5, 5, 25, 25}, RGB(1, 2, 3)}, {{15, 15, 35, 35}, RGB(4, 5, 6)}}));
}

// --- DIB sections ---------------------------------------------------------------

struct DibCase {
    int width;
    int height;  // negative: top-down
    int bitsPerPixel;
    int stride;
};

void PrintTo(const DibCase& c, std::ostream* os)
{
    *os << c.width << " x " << c.height << " at " << c.bitsPerPixel << " bits";
}

class DibLayoutTest : public GraphicsTest, public ::testing::WithParamInterface<DibCase> {};

TEST_P(DibLayoutTest, RowsArePaddedToFourBytesAndRunInTheDeclaredOrder)
{
    const DibCase& c = GetParam();
    const int rows = c.height < 0 ? -c.height : c.height;
    const int bytesPerPixel = c.bitsPerPixel / 8;
    DibCanvas canvas(c.width, c.height, c.bitsPerPixel);
    ASSERT_NE(canvas.bitmap, nullptr);

    DIBSECTION section{};
    ASSERT_EQ(GetObjectA(canvas.bitmap, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidth, c.width);
    EXPECT_EQ(section.dsBm.bmHeight, rows);
    EXPECT_EQ(section.dsBm.bmWidthBytes, c.stride);
    EXPECT_EQ(section.dsBm.bmBitsPixel, c.bitsPerPixel);
    EXPECT_EQ(section.dsBm.bmBits, canvas.bits);
    EXPECT_EQ(section.dsBmih.biHeight, c.height);
    EXPECT_EQ(section.dsBmih.biSizeImage, static_cast<DWORD>(c.stride * rows));
    BITMAP plain{};
    ASSERT_EQ(GetObjectA(canvas.bitmap, sizeof plain, &plain), static_cast<int>(sizeof plain));
    EXPECT_EQ(plain.bmWidthBytes, c.stride);

    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < c.width; ++x) {
            EXPECT_EQ(SetPixel(canvas.dc, x, y, Pattern(x, y)), Pattern(x, y));
        }
    }
    for (int y = 0; y < rows; ++y) {
        const BYTE* row = canvas.bits + (c.height > 0 ? rows - 1 - y : y) * c.stride;
        for (int x = 0; x < c.width; ++x) {
            const BYTE* p = row + x * bytesPerPixel;
            EXPECT_EQ(RGB(p[2], p[1], p[0]), Pattern(x, y)) << x << "," << y;
            if (bytesPerPixel == 4) {
                EXPECT_EQ(p[3], 0);
            }
        }
        for (int i = c.width * bytesPerPixel; i < c.stride; ++i) {
            EXPECT_EQ(row[i], 0) << "row fill byte " << i << " of row " << y;
        }
    }
    EXPECT_EQ(GetPixel(canvas.dc, c.width - 1, rows - 1), Pattern(c.width - 1, rows - 1));
    EXPECT_EQ(GetPixel(canvas.dc, c.width, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(canvas.dc, 0, rows, kWhite), CLR_INVALID);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DibLayoutTest,
                         ::testing::Values(DibCase{1, 2, 24, 4}, DibCase{2, 3, 24, 8}, DibCase{3, 2, 24, 12},
                                           DibCase{4, 2, 24, 12}, DibCase{5, -3, 24, 16}, DibCase{3, 2, 32, 12},
                                           DibCase{2, -2, 32, 8}));

TEST_F(GraphicsTest, DibSectionFailsAsForLackOfMemoryOnce)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 8, 8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = &info;
    desktop::FailNextDibSection();
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);

    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(bitmap, nullptr);
    EXPECT_NE(bits, nullptr);
    EXPECT_EQ(desktop::LiveGdiObjects(), 1);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(GraphicsTest, DibSectionRefusesHeadersItCannotHonour)
{
    const BITMAPINFOHEADER good = {sizeof(BITMAPINFOHEADER), 8, 8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BITMAPINFOHEADER> bad(6, good);
    bad[0].biWidth = 0;
    bad[1].biHeight = 0;
    bad[2].biBitCount = 16;
    bad[3].biCompression = BI_RLE8;
    bad[4].biPlanes = 2;
    bad[5].biSize = 12;
    for (const BITMAPINFOHEADER& header : bad) {
        BITMAPINFO info{};
        info.bmiHeader = header;
        void* bits = &info;
        EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
}

// --- Device contexts, objects and their bookkeeping -----------------------------

TEST_F(GraphicsTest, ScreenDcIsReleasedOnceAndCounted)
{
    HDC first = GetDC(nullptr);
    HDC second = GetDC(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 2);
    EXPECT_EQ(ReleaseDC(nullptr, first), 1);
    EXPECT_EQ(ReleaseDC(nullptr, second), 1);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
    EXPECT_TRUE(desktop::Misuses().empty());

    EXPECT_EQ(ReleaseDC(nullptr, first), 0);
    ASSERT_EQ(desktop::Misuses().size(), 1u);
    EXPECT_NE(desktop::Misuses()[0].find("ReleaseDC"), std::string::npos);
}

TEST_F(GraphicsTest, EachKindOfDcIsFreedOnlyByItsOwnCall)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    ASSERT_NE(memory, nullptr);
    EXPECT_FALSE(DeleteDC(screen));
    EXPECT_EQ(ReleaseDC(nullptr, memory), 0);
    EXPECT_EQ(desktop::Misuses().size(), 2u);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 2);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
}

HBITMAP NewDib(int width, int height, int bitsPerPixel = 24)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bitsPerPixel), BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

TEST_F(GraphicsTest, MemoryDcStartsWithAOnePixelMonochromeBitmapAndTheStockPen)
{
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(memory, GetStockObject(WHITE_PEN)), GetStockObject(BLACK_PEN));
    // Colours become black or white in it.
    EXPECT_EQ(SetPixel(memory, 0, 0, RGB(10, 20, 30)), RGB(0, 0, 0));
    EXPECT_EQ(SetPixel(memory, 0, 0, kWhite), kWhite);
    EXPECT_EQ(GetPixel(memory, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(memory, 1, 0), CLR_INVALID);

    HBITMAP bitmap = NewDib(2, 2);
    HGDIOBJ original = SelectObject(memory, bitmap);
    ASSERT_NE(original, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(original, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 1);
    EXPECT_EQ(info.bmHeight, 1);
    EXPECT_EQ(info.bmBitsPixel, 1);
    EXPECT_EQ(info.bmBits, nullptr);
    EXPECT_EQ(SelectObject(memory, original), bitmap);

    DeleteDC(memory);
    DeleteObject(bitmap);
    EXPECT_TRUE(desktop::Misuses().empty());
}

TEST_F(GraphicsTest, BitmapGoesIntoOneMemoryDcAtATime)
{
    HDC screen = GetDC(nullptr);
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = NewDib(2, 2);
    EXPECT_EQ(SelectObject(screen, bitmap), nullptr);

    HGDIOBJ firstOriginal = SelectObject(first, bitmap);
    ASSERT_NE(firstOriginal, nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap);  // again into the same one is fine
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    SelectObject(first, firstOriginal);
    HGDIOBJ secondOriginal = SelectObject(second, bitmap);
    EXPECT_NE(secondOriginal, nullptr);

    SelectObject(second, secondOriginal);
    DeleteDC(first);
    DeleteDC(second);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(desktop::Misuses().empty());
    EXPECT_EQ(desktop::LiveDeviceContexts() + desktop::LiveGdiObjects(), 0);
}

TEST_F(GraphicsTest, SelectedBitmapCannotBeDeletedUntilItIsFree)
{
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = NewDib(4, 4);
    HGDIOBJ original = SelectObject(memory, bitmap);
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(desktop::LiveGdiObjects(), 1);

    EXPECT_FALSE(DeleteObject(bitmap));
    ASSERT_EQ(desktop::Misuses().size(), 1u);
    EXPECT_NE(desktop::Misuses()[0].find("selected"), std::string::npos);

    EXPECT_EQ(SelectObject(memory, original), bitmap);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
    EXPECT_TRUE(DeleteDC(memory));

    // Deleting twice is reported; stock objects may be deleted and stay.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(desktop::Misuses().size(), 2u);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
    EXPECT_NE(GetStockObject(BLACK_PEN), nullptr);
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
}

TEST_F(GraphicsTest, DeletingTheDcFreesItsBitmap)
{
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = NewDib(4, 4, 32);
    SelectObject(memory, bitmap);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
    EXPECT_TRUE(desktop::Misuses().empty());
}

TEST_F(GraphicsTest, CallsOnAReleasedDcFailAndAreReported)
{
    desktop::FillScreen(RGB(9, 9, 9));
    HDC screen = GetDC(nullptr);
    ReleaseDC(nullptr, screen);
    POINT points[] = {{0, 0}, {5, 0}};
    HDC memory = CreateCompatibleDC(nullptr);

    EXPECT_EQ(SetROP2(screen, R2_NOT), 0);
    EXPECT_FALSE(Polyline(screen, points, 2));
    EXPECT_FALSE(BitBlt(memory, 0, 0, 1, 1, screen, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(screen, 0, 0, 4, 4, nullptr, 0, 0, WHITENESS));
    EXPECT_EQ(GetPixel(screen, 0, 0), CLR_INVALID);
    EXPECT_EQ(SelectObject(screen, GetStockObject(WHITE_PEN)), nullptr);
    EXPECT_EQ(CreateCompatibleDC(screen), nullptr);
    EXPECT_FALSE(DeleteDC(screen));
    EXPECT_EQ(desktop::Misuses().size(), 8u);
    EXPECT_EQ(desktop::ScreenPixel(0, 0), RGB(9, 9, 9));

    DeleteDC(memory);
    EXPECT_EQ(GetROP2(memory), 0);
    EXPECT_EQ(desktop::Misuses().size(), 9u);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
}

TEST_F(GraphicsTest, ResetBringsBackABlackFullSizeScreenAndNoHandles)
{
    desktop::FillScreen(kWhite);
    HDC screen = GetDC(nullptr);
    DibCanvas canvas(3, 3);
    desktop::Reset();
    EXPECT_EQ(desktop::ScreenWidth(), 1920);
    EXPECT_EQ(desktop::ScreenHeight(), 1080);
    EXPECT_EQ(desktop::ScreenPixel(1919, 1079), RGB(0, 0, 0));
    EXPECT_EQ(desktop::ScreenPixel(1920, 0), CLR_INVALID);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
    // Handles from before the reset are stale, not reused.
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0);
    EXPECT_EQ(desktop::Misuses().size(), 1u);
}

}  // namespace
