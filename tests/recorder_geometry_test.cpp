#include <gtest/gtest.h>

#include "recorder.h"

namespace {

struct GeometryCase {
    RECT window;
    int width;
    int height;
    int rowStride;
    int frameBytes;
};

void PrintTo(const GeometryCase& c, std::ostream* os)
{
    *os << c.window.left << "," << c.window.top << "," << c.window.right << "," << c.window.bottom;
}

class GeometryTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryTest, RoundsTheOuterSizeDownToMultiplesOfEight)
{
    const GeometryCase& c = GetParam();
    const CaptureGeometry geometry = DeriveCaptureGeometry(c.window);
    EXPECT_EQ(geometry.captureWidth, c.width);
    EXPECT_EQ(geometry.captureHeight, c.height);
    EXPECT_EQ(geometry.rowStride, c.rowStride);
    EXPECT_EQ(geometry.frameBytes, c.frameBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, GeometryTest,
    ::testing::Values(
        // Three bytes per pixel and no row fill at widths that are multiples of 8.
        GeometryCase{{0, 0, 640, 480}, 640, 480, 1920, 921600},
        GeometryCase{{0, 0, 645, 483}, 640, 480, 1920, 921600},
        GeometryCase{{0, 0, 1440, 820}, 1440, 816, 4320, 3525120},
        GeometryCase{{0, 0, 647, 487}, 640, 480, 1920, 921600},
        GeometryCase{{0, 0, 648, 488}, 648, 488, 1944, 948672},
        // Only the size counts, not where the window is, even off the screen's left.
        GeometryCase{{-37, 250, 603, 733}, 640, 480, 1920, 921600},
        GeometryCase{{10, 10, 17, 17}, 0, 0, 0, 0},
        GeometryCase{{0, 0, 8, 15}, 8, 8, 24, 192}));

TEST(FrameRateTest, IsThousandDividedByTheInterval)
{
    const struct {
        short intervalMs;
        int framesPerSecond;
    } cases[] = {{1000, 1}, {500, 2}, {250, 4}, {125, 8}};
    for (const auto& c : cases)
        EXPECT_EQ(FramesPerSecond(c.intervalMs), c.framesPerSecond) << c.intervalMs;
}

TEST(RecorderStateTest, StartsWithTheDefaults)
{
    const RecorderState state;
    EXPECT_EQ(state.mode, RecorderMode::Idle);
    EXPECT_EQ(state.frameIntervalMs, 1000);
    EXPECT_EQ(state.frameLimit, 3000);
    EXPECT_EQ(state.frameCount, 0);
    EXPECT_EQ(state.aviFile, nullptr);
    EXPECT_EQ(state.rawStream, nullptr);
    EXPECT_EQ(state.compressedStream, nullptr);
    EXPECT_EQ(state.fileByteLimit, 2000000000);
}

}  // namespace
