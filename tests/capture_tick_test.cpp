// Capture ticks: each writes the screen under the frame window, with the
// pointer's arrow burned in, as the next frame. Every frame checked here is
// read back by ffmpeg from the file the recording wrote.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ffmpeg_reader.h"
#include "support/frame_window.h"
#include "support/recorder_fixture.h"
#include "support/screen_frames.h"

namespace {

constexpr UINT kTickMs = 250;  // F3
constexpr const char* kLimitText = "Due to the limit of memory, automaticaly stop.";

desktop::CompressorAnswer Compressor(DWORD handler)
{
    desktop::CompressorAnswer answer;
    answer.fccHandler = handler;
    return answer;
}

// A pattern in which neighbouring pixels differ in every channel, changing
// with the tick so that no frame equals another.
void PaintPattern(int tick)
{
    desktop::PaintScreen([tick](int x, int y) -> COLORREF {
        return RGB((x * 7 + tick * 31) & 0xFF, (y * 5 + tick * 17) & 0xFF, ((x ^ y) + tick) & 0xFF);
    });
}

class CaptureTest : public RecorderTest {
protected:
    void SetUp() override
    {
        RecorderTest::SetUp();
        // Away from the frame, so no arrow falls into the picture.
        SetCursorPos(1900, 1070);
        desktop::PressKeys({VK_F3});
    }

    void Tick() { desktop::AdvanceTime(kTickMs); }

    RECT FrameRect() const
    {
        RECT rect;
        GetWindowRect(frame_, &rect);
        return rect;
    }

    std::vector<std::vector<uint8_t>> Decode(const std::string& path)
    {
        std::vector<std::vector<uint8_t>> frames = ffmpeg::DecodeBgr24(path);
        return frames;
    }
};

TEST_F(CaptureTest, FramesHoldTheScreenUnderTheFrameAndNotTheFrameItself)
{
    for (DWORD handler : {desktop::kUncompressedHandler, desktop::kRunLengthHandler}) {
        const std::string path = PathFor(handler == desktop::kRunLengthHandler ? "rle.avi" : "raw.avi");
        MoveWindow(frame_, 120, 90, 645, 483, TRUE);
        // The frame window's own surface, which a plain screen copy leaves out.
        desktop::FillLayeredWindow(frame_, RGB(0, 255, 0));
        PaintPattern(0);
        StartRecording(path, Compressor(handler));

        std::vector<std::vector<uint8_t>> expected;
        for (int tick = 0; tick < 3; ++tick) {
            PaintPattern(tick);
            expected.push_back(ScreenRegionBgr(120, 90, 640, 480));
            Tick();
        }
        StopRecording();

        const std::vector<std::vector<uint8_t>> frames = Decode(path);
        ASSERT_EQ(frames.size(), expected.size());
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(SamePixels(frames[i], expected[i], 640)) << "frame " << i << " of " << path;
    }
}

TEST_F(CaptureTest, EachTickWritesTheNextPositionAndTitlesTheCountBeforeIt)
{
    StartRecording(PathFor("count.avi"));
    Tick();
    ASSERT_EQ(desktop::AviWrites().size(), 1u);
    EXPECT_EQ(desktop::AviWrites()[0].start, 0);
    EXPECT_EQ(desktop::AviWrites()[0].samples, 1);
    EXPECT_EQ(desktop::AviWrites()[0].bufferSize, 640 * 480 * 3);
    EXPECT_EQ(desktop::AviWrites()[0].flags, static_cast<DWORD>(AVIIF_KEYFRAME));
    EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing..(0)  F6 for Stop");

    Tick();
    Tick();
    ASSERT_EQ(desktop::AviWrites().size(), 3u);
    EXPECT_EQ(desktop::AviWrites()[2].start, 2);
    EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing..(2)  F6 for Stop");
    EXPECT_EQ(g_recorder.frameCount, 3);
    StopRecording();

    ffmpeg::StreamInfo info;
    std::string error;
    ASSERT_TRUE(ffmpeg::Probe(PathFor("count.avi"), &info, &error)) << error;
    EXPECT_EQ(info.headerFrames, 3);
    EXPECT_EQ(info.decodedFrames, 3);
}

TEST_F(CaptureTest, MovedFrameRecordsTheNewAreaAtTheOldSize)
{
    PaintPattern(0);
    StartRecording(PathFor("moved.avi"));
    Tick();
    // Moved and made larger: the picture keeps the size it started with.
    MoveWindow(frame_, 300, 250, 800, 600, TRUE);
    Tick();
    StopRecording();

    const std::vector<std::vector<uint8_t>> frames = Decode(PathFor("moved.avi"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(SamePixels(frames[0], ScreenRegionBgr(100, 100, 640, 480), 640));
    EXPECT_TRUE(SamePixels(frames[1], ScreenRegionBgr(300, 250, 640, 480), 640));
}

TEST_F(CaptureTest, FrameHangingOffTheScreenIsBlackBeyondIt)
{
    PaintPattern(0);
    MoveWindow(frame_, 1600, 900, 640, 480, TRUE);
    SetCursorPos(10, 10);
    StartRecording(PathFor("edge.avi"));
    Tick();
    StopRecording();

    const std::vector<std::vector<uint8_t>> frames = Decode(PathFor("edge.avi"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(SamePixels(frames[0], ScreenRegionBgr(1600, 900, 640, 480), 640));
}

struct PointerCase {
    const char* name;
    POINT offset;  // from the frame's top-left corner
    bool arrowInFrame;
};

void PrintTo(const PointerCase& c, std::ostream* os)
{
    *os << c.name;
}

class PointerTest : public CaptureTest, public ::testing::WithParamInterface<PointerCase> {};

TEST_P(PointerTest, ArrowIsInTheFrameWhereItFallsAndTheScreenIsRestored)
{
    const PointerCase& c = GetParam();
    constexpr int kLeft = 400;
    constexpr int kTop = 300;
    MoveWindow(frame_, kLeft, kTop, 640, 480, TRUE);
    PaintPattern(0);
    const POINT pointer = {kLeft + c.offset.x, kTop + c.offset.y};
    SetCursorPos(pointer.x, pointer.y);
    const std::vector<uint8_t> screenBefore = ScreenRegionBgr(0, 0, desktop::ScreenWidth(), desktop::ScreenHeight());
    const std::vector<uint8_t> plain = ScreenRegionBgr(kLeft, kTop, 640, 480);
    const std::vector<uint8_t> withArrow = ScreenRegionWithArrow(kLeft, kTop, 640, 480, pointer);

    StartRecording(PathFor("pointer.avi"));
    Tick();
    EXPECT_TRUE(SamePixels(ScreenRegionBgr(0, 0, desktop::ScreenWidth(), desktop::ScreenHeight()), screenBefore,
                           desktop::ScreenWidth()))
        << "the screen after the tick";
    StopRecording();

    const std::vector<std::vector<uint8_t>> frames = Decode(PathFor("pointer.avi"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(SamePixels(frames[0], withArrow, 640));
    EXPECT_EQ(frames[0] != plain, c.arrowInFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, PointerTest,
    ::testing::Values(PointerCase{"Inside", {100, 100}, true},
                      PointerCase{"AtTheCorner", {0, 0}, true},
                      PointerCase{"ThirteenLeft", {-13, 50}, true},
                      PointerCase{"ThirteenAbove", {50, -13}, true},
                      PointerCase{"OverTheRightAndBottomEdges", {635, 475}, true},
                      PointerCase{"FourteenLeft", {-14, 50}, false},
                      PointerCase{"FourteenAbove", {50, -14}, false},
                      PointerCase{"Below", {50, 480}, false},
                      PointerCase{"FarAway", {-300, -200}, false}),
    [](const ::testing::TestParamInfo<PointerCase>& info) { return info.param.name; });

TEST_F(CaptureTest, LimitStopsTheTimerAfterWritingOneFrameMore)
{
    // A small frame keeps 3001 frames small.
    MoveWindow(frame_, 100, 100, 16, 16, TRUE);
    desktop::PressKeys({VK_F4});
    StartRecording(PathFor("limit.avi"));
    desktop::AdvanceTime(3005 * 125);

    EXPECT_EQ(g_recorder.frameCount, 3001);
    EXPECT_FALSE(desktop::HasTimer(frame_, CaptureTimerId));
    EXPECT_EQ(g_recorder.mode, RecorderMode::Capturing);
    ASSERT_EQ(desktop::MessageBoxes().size(), 1u);
    const desktop::MessageBoxRecord& box = desktop::MessageBoxes()[0];
    EXPECT_EQ(box.text, kLimitText);
    EXPECT_EQ(box.caption, "WARNING");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(box.owner, frame_);
    const std::vector<std::string>& titles = desktop::TitleHistory(frame_);
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], "Lurvix:Capturing Stop!");
    EXPECT_EQ(titles.back(), "Lurvix: Capturing..(3000)  F6 for Stop");
    EXPECT_EQ(desktop::AviWrites().back().start, 3000);

    StopRecording();
    ffmpeg::StreamInfo info;
    std::string error;
    ASSERT_TRUE(ffmpeg::Probe(PathFor("limit.avi"), &info, &error)) << error;
    EXPECT_EQ(info.headerFrames, 3001);
    EXPECT_EQ(info.decodedFrames, 3001);
}

TEST_F(CaptureTest, ByteBudgetStopsBeforeTheFrameThatWouldPassIt)
{
    for (DWORD handler : {desktop::kUncompressedHandler, desktop::kRunLengthHandler}) {
        desktop::Reset();
        g_recorder = RecorderState{};
        frame_ = CreateFrameWindowForTest(100, 100, 640, 480);
        SetCursorPos(1900, 1070);
        desktop::PressKeys({VK_F3});
        const std::string path = PathFor(handler == desktop::kRunLengthHandler ? "rle.avi" : "raw.avi");

        // Flat rows, which the run-length compressor makes small.
        desktop::PaintScreen([](int, int y) -> COLORREF { return RGB(y & 0xF0, 40, 200); });
        StartRecording(path, Compressor(handler));
        // Room for five uncompressed frames with their chunk headers and
        // index entries, but not for a sixth.
        g_recorder.fileByteLimit = 5 * (640 * 480 * 3 + 24) + 1000;
        for (int tick = 0; tick < 5000 && desktop::HasTimer(frame_, CaptureTimerId); ++tick)
            Tick();

        EXPECT_FALSE(desktop::HasTimer(frame_, CaptureTimerId));
        EXPECT_EQ(CountBoxes(kLimitText), 1);
        EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix:Capturing Stop!");
        EXPECT_EQ(static_cast<int>(desktop::AviWrites().size()), g_recorder.frameCount);
        if (handler == desktop::kUncompressedHandler) {
            EXPECT_EQ(g_recorder.frameCount, 5);
        } else {
            EXPECT_GT(g_recorder.frameCount, 100);  // the budget counts the bytes stored
        }
        const int frames = g_recorder.frameCount;
        const long long limit = g_recorder.fileByteLimit;
        StopRecording();

        // The headers and the index come on top of the frames the budget counts.
        EXPECT_LE(static_cast<long long>(std::filesystem::file_size(path)), limit + 4096) << path;
        ffmpeg::StreamInfo info;
        std::string error;
        ASSERT_TRUE(ffmpeg::Probe(path, &info, &error)) << error;
        EXPECT_EQ(info.headerFrames, frames);
        EXPECT_EQ(info.decodedFrames, frames);
    }
}

TEST_F(CaptureTest, FailedWriteIsReportedOnceAndTheFileKeepsTheFramesBefore)
{
    PaintPattern(0);
    StartRecording(PathFor("failed.avi"));
    Tick();
    Tick();
    desktop::FailNextAviCall(desktop::AviCall::Write, AVIERR_FILEWRITE);
    Tick();
    Tick();  // the timer has stopped: nothing more happens

    ASSERT_EQ(desktop::MessageBoxes().size(), 1u);
    EXPECT_EQ(desktop::MessageBoxes()[0].text, "AVI stream write Error!");
    EXPECT_EQ(desktop::MessageBoxes()[0].caption, "ERROR");
    EXPECT_EQ(desktop::MessageBoxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_FALSE(desktop::HasTimer(frame_, CaptureTimerId));
    EXPECT_EQ(g_recorder.mode, RecorderMode::Capturing);
    EXPECT_EQ(g_recorder.frameCount, 2);
    EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing..(2)  F6 for Stop");

    StopRecording();
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), 1);
    const std::vector<std::vector<uint8_t>> frames = Decode(PathFor("failed.avi"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(SamePixels(frames[1], ScreenRegionBgr(100, 100, 640, 480), 640));
}

TEST_F(CaptureTest, PictureThatCannotBeCreatedSkipsOnlyThatTick)
{
    PaintPattern(0);
    const std::vector<uint8_t> screenBefore = ScreenRegionBgr(0, 0, desktop::ScreenWidth(), desktop::ScreenHeight());
    SetCursorPos(300, 300);  // the arrow is drawn on the screen before the picture is made
    StartRecording(PathFor("nomemory.avi"));
    Tick();
    desktop::FailNextDibSection();
    Tick();
    EXPECT_EQ(g_recorder.frameCount, 1);
    EXPECT_EQ(desktop::AviWrites().size(), 1u);
    EXPECT_TRUE(desktop::MessageBoxes().empty());
    EXPECT_TRUE(desktop::HasTimer(frame_, CaptureTimerId));
    EXPECT_TRUE(SamePixels(ScreenRegionBgr(0, 0, desktop::ScreenWidth(), desktop::ScreenHeight()), screenBefore,
                           desktop::ScreenWidth()));

    Tick();
    ASSERT_EQ(desktop::AviWrites().size(), 2u);
    EXPECT_EQ(desktop::AviWrites()[1].start, 1);
    EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing..(1)  F6 for Stop");
    StopRecording();
    EXPECT_EQ(Decode(PathFor("nomemory.avi")).size(), 2u);
}

TEST_F(CaptureTest, WideFrameIsWrittenAtItsRoundedSize)
{
    MoveWindow(frame_, 100, 100, 1440, 820, TRUE);
    PaintPattern(0);
    StartRecording(PathFor("wide.avi"));
    Tick();
    StopRecording();

    ffmpeg::StreamInfo info;
    std::string error;
    ASSERT_TRUE(ffmpeg::Probe(PathFor("wide.avi"), &info, &error)) << error;
    EXPECT_EQ(info.width, 1440);
    EXPECT_EQ(info.height, 816);
    const std::vector<std::vector<uint8_t>> frames = Decode(PathFor("wide.avi"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(SamePixels(frames[0], ScreenRegionBgr(100, 100, 1440, 816), 1440));
}

TEST_F(CaptureTest, TickWithoutARecordingDoesNothing)
{
    const std::string title = desktop::WindowTitle(frame_);
    CaptureTick(frame_);
    EXPECT_TRUE(desktop::AviWrites().empty());
    EXPECT_EQ(desktop::WindowTitle(frame_), title);
    EXPECT_TRUE(desktop::MessageBoxes().empty());
}

}  // namespace
