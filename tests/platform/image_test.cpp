// CImage on the model's graphics calls: the picture's memory layout, its
// device context, failure, clean-up, and the capture sequence the program
// runs on every tick.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "headless/desktop.h"

namespace {

constexpr int kScreenWidth = 80;
constexpr int kScreenHeight = 60;

COLORREF Pattern(int x, int y)
{
    return RGB(x * 3 + 1, y * 4 + 2, (x * y) & 0xFF);
}

COLORREF PixelAt(const BYTE* p)
{
    return RGB(p[2], p[1], p[0]);
}

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop::Reset();
        desktop::ResizeScreen(kScreenWidth, kScreenHeight);
        desktop::PaintScreen(Pattern);
    }

    static void ExpectNothingLeft()
    {
        EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
        EXPECT_EQ(desktop::LiveGdiObjects(), 0);
        EXPECT_TRUE(desktop::Misuses().empty());
    }
};

struct ImageCase {
    int width;
    int height;
    int bitsPerPixel;
    int pitch;
};

void PrintTo(const ImageCase& c, std::ostream* os)
{
    *os << c.width << " x " << c.height << " at " << c.bitsPerPixel << " bits";
}

class ImageLayoutTest : public ImageTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ImageLayoutTest, BitsPointAtTheTopRowAndPitchStepsDownTowardsLowerAddresses)
{
    const ImageCase& c = GetParam();
    {
        CImage picture;
        ASSERT_TRUE(picture.Create(c.width, c.height, c.bitsPerPixel));
        EXPECT_FALSE(picture.IsNull());
        EXPECT_EQ(picture.GetWidth(), c.width);
        EXPECT_EQ(picture.GetHeight(), c.height);
        EXPECT_EQ(picture.GetBPP(), c.bitsPerPixel);
        EXPECT_EQ(picture.GetPitch(), c.pitch);

        HDC dc = picture.GetDC();
        ASSERT_NE(dc, nullptr);
        HDC screen = GetDC(nullptr);
        EXPECT_TRUE(BitBlt(dc, 0, 0, c.width, c.height, screen, 7, 5, SRCCOPY));
        ReleaseDC(nullptr, screen);
        picture.ReleaseDC();

        const int bytesPerPixel = c.bitsPerPixel / 8;
        const BYTE* top = static_cast<const BYTE*>(picture.GetBits());
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                EXPECT_EQ(PixelAt(top + y * picture.GetPitch() + x * bytesPerPixel), Pattern(7 + x, 5 + y))
                    << x << "," << y;
            }
        }
    }
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageLayoutTest,
                         ::testing::Values(ImageCase{5, 3, 24, -16}, ImageCase{4, 2, 24, -12},
                                           ImageCase{1, 1, 24, -4}, ImageCase{3, 4, 32, -12},
                                           ImageCase{64, 48, 24, -192}));

TEST_F(ImageTest, NestedGetDcSharesOneDcUntilTheLastRelease)
{
    CImage picture;
    ASSERT_TRUE(picture.Create(4, 4, 24));
    HDC outer = picture.GetDC();
    HDC inner = picture.GetDC();
    EXPECT_EQ(outer, inner);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 1);

    picture.ReleaseDC();
    EXPECT_EQ(desktop::LiveDeviceContexts(), 1);
    EXPECT_EQ(SetPixel(outer, 0, 0, RGB(1, 2, 3)), RGB(1, 2, 3));
    picture.ReleaseDC();
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
    EXPECT_TRUE(desktop::Misuses().empty());

    // A fresh device context afterwards, on the same pixels.
    HDC again = picture.GetDC();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, outer);
    EXPECT_EQ(GetPixel(again, 0, 0), RGB(1, 2, 3));
    picture.ReleaseDC();

    picture.Destroy();
    EXPECT_TRUE(picture.IsNull());
    ExpectNothingLeft();
}

TEST_F(ImageTest, FailedCreateLeavesANullImage)
{
    desktop::FailNextDibSection();
    CImage picture;
    EXPECT_FALSE(picture.Create(16, 16, 24));
    EXPECT_TRUE(picture.IsNull());
    EXPECT_EQ(picture.GetBits(), nullptr);
    EXPECT_EQ(picture.GetDC(), nullptr);
    picture.ReleaseDC();
    picture.Destroy();

    EXPECT_FALSE(picture.Create(16, 16, 16));
    EXPECT_FALSE(picture.Create(0, 16, 24));
    EXPECT_FALSE(picture.Create(16, 0, 24));
    EXPECT_TRUE(picture.IsNull());
    ExpectNothingLeft();

    // The fault was for one picture only.
    EXPECT_TRUE(picture.Create(16, 16, 24));
}

TEST_F(ImageTest, CreatingAgainReplacesThePicture)
{
    CImage picture;
    ASSERT_TRUE(picture.Create(8, 8, 24));
    ASSERT_TRUE(picture.Create(6, 2, 32));
    EXPECT_EQ(desktop::LiveGdiObjects(), 1);
    EXPECT_EQ(picture.GetPitch(), -24);
    picture.Destroy();
    ExpectNothingLeft();
}

TEST_F(ImageTest, DestructionClosesADcStillInUse)
{
    {
        CImage picture;
        ASSERT_TRUE(picture.Create(8, 8, 24));
        ASSERT_NE(picture.GetDC(), nullptr);
        picture.GetDC();
    }
    ExpectNothingLeft();
}

// The program's tick: mark the pointer on the screen, copy the frame's area
// into a picture, take the mark off again, and hand the rows, bottom row
// first, to the writer.
TEST_F(ImageTest, CaptureSequenceRecordsTheMarkAndLeavesTheScreenAsItWas)
{
    const RECT frame = {20, 10, 52, 34};
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const POINT cursor = {30, 15};
    const POINT arrow[] = {{cursor.x, cursor.y},          {cursor.x + 12, cursor.y + 6},
                           {cursor.x + 10, cursor.y + 8},  {cursor.x + 13, cursor.y + 11},
                           {cursor.x + 11, cursor.y + 13}, {cursor.x + 8, cursor.y + 10},
                           {cursor.x + 6, cursor.y + 12},  {cursor.x, cursor.y}};

    HDC screen = GetDC(nullptr);
    SetROP2(screen, R2_NOT);
    ASSERT_TRUE(Polyline(screen, arrow, 8));
    std::vector<COLORREF> marked;
    for (int y = frame.top; y < frame.bottom; ++y) {
        for (int x = frame.left; x < frame.right; ++x) {
            marked.push_back(desktop::ScreenPixel(x, y));
        }
    }
    CImage picture;
    ASSERT_TRUE(picture.Create(width, height, 24));
    ASSERT_TRUE(BitBlt(picture.GetDC(), 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY));
    ASSERT_TRUE(Polyline(screen, arrow, 8));

    const int stride = -picture.GetPitch();
    const BYTE* lowest = static_cast<const BYTE*>(picture.GetBits()) - (height - 1) * stride;
    int markedPixels = 0;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = lowest + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            COLORREF expected = marked[static_cast<size_t>(y * width + x)];
            ASSERT_EQ(PixelAt(row + x * 3), expected) << x << "," << y;
            markedPixels += expected != Pattern(frame.left + x, frame.top + y);
        }
    }
    EXPECT_EQ(markedPixels, 36);  // the whole outline lies inside the frame
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            ASSERT_EQ(desktop::ScreenPixel(x, y), Pattern(x, y)) << x << "," << y;
        }
    }

    picture.ReleaseDC();
    picture.Destroy();
    ReleaseDC(nullptr, screen);
    ExpectNothingLeft();
}

}  // namespace
