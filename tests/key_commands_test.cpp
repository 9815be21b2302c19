// The keyboard commands, decided from the whole keyboard's state at each
// key-down of the frame window.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/recorder_fixture.h"

namespace {

constexpr const char* kRate4Title = "Lurvix: set 4 frm/sec";
constexpr const char* kStartTitle = "Lurvix: Capturing Start...";
constexpr const char* kStopTitle = "Lurvix: Capturing Stop!";

struct KeyCase {
    const char* name;
    bool capturing;             // a recording runs before the keys go down
    std::vector<int> silent;    // keys already down, without a message of their own
    std::vector<int> pressed;   // pressed in this order and held together
    RecorderMode mode;
    int frameIntervalMs;
    const char* title;
    int saveDialogs;            // in all, the one that started the recording included
    int finishes;               // "AVI File Succeed!" boxes
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeyCommandTest : public RecorderTest, public ::testing::WithParamInterface<KeyCase> {};

// Every case starts at 4 frames per second; a running recording was started
// at that rate.
TEST_P(KeyCommandTest, ActsOnTheKeysHeld)
{
    const KeyCase& c = GetParam();
    desktop::PressKeys({VK_F3});
    if (c.capturing)
        StartRecording(PathFor("running.avi"));
    AnswerNextStart(PathFor("new.avi"));

    for (int key : c.silent)
        desktop::SetKeyState(key, true);
    for (int key : c.pressed)
        desktop::KeyDown(key);

    EXPECT_EQ(g_recorder.mode, c.mode);
    EXPECT_EQ(g_recorder.frameIntervalMs, c.frameIntervalMs);
    EXPECT_EQ(desktop::WindowTitle(frame_), c.title);
    EXPECT_EQ(static_cast<int>(desktop::SaveAsDialogs().size()), c.saveDialogs);
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), c.finishes);
    EXPECT_EQ(desktop::HasTimer(frame_, CaptureTimerId), c.mode == RecorderMode::Capturing);
    if (c.mode == RecorderMode::Capturing) {
        EXPECT_EQ(desktop::TimerPeriod(frame_, CaptureTimerId), 250u);
    }

    for (int key : c.pressed)
        desktop::KeyUp(key);
    for (int key : c.silent)
        desktop::SetKeyState(key, false);
    if (g_recorder.mode == RecorderMode::Capturing)
        StopRecording();
}

using Mode = RecorderMode;

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyCommandTest,
    ::testing::Values(
        KeyCase{"F1", false, {}, {VK_F1}, Mode::Idle, 1000, "Lurvix: set 1 frm/sec", 0, 0},
        KeyCase{"F2", false, {}, {VK_F2}, Mode::Idle, 500, "Lurvix: set 2 frm/sec", 0, 0},
        KeyCase{"F3", false, {}, {VK_F3}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"F4", false, {}, {VK_F4}, Mode::Idle, 125, "Lurvix: set 8 frm/sec", 0, 0},
        // Of several rate keys, the first in F1..F4 order wins, whichever went down last.
        KeyCase{"F3ThenF2", false, {}, {VK_F3, VK_F2}, Mode::Idle, 500, "Lurvix: set 2 frm/sec", 0, 0},
        // A stop key ends the event before the rate keys, even while idle.
        KeyCase{"F6ThenF1", false, {}, {VK_F6, VK_F1}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"CtrlEThenF2", false, {}, {VK_CONTROL, 'E', VK_F2}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"F6Idle", false, {}, {VK_F6}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"CtrlEIdle", false, {}, {VK_CONTROL, 'E'}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"SWithoutCtrl", false, {}, {'S'}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"OtherKeys", false, {}, {'A', VK_F7, VK_RETURN}, Mode::Idle, 250, kRate4Title, 0, 0},
        KeyCase{"F5", false, {}, {VK_F5}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"CtrlThenS", false, {}, {VK_CONTROL, 'S'}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"SThenCtrl", false, {}, {'S', VK_CONTROL}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"RightCtrlS", false, {}, {VK_RCONTROL, 'S'}, Mode::Capturing, 250, kStartTitle, 1, 0},
        // F1 held as F5 goes down: the recording starts at the rate it had,
        // and F1 is not applied, the recorder being no longer idle.
        KeyCase{"F5WithF1Held", false, {VK_F1}, {VK_F5}, Mode::Capturing, 250, kStartTitle, 1, 0},
        // F6 held as F5 goes down: set up, started and finished in one event.
        KeyCase{"F6ThenF5", false, {}, {VK_F6, VK_F5}, Mode::Idle, 250, kStopTitle, 1, 1},
        KeyCase{"F5WhileCapturing", true, {}, {VK_F5}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"CtrlSWhileCapturing", true, {}, {VK_CONTROL, 'S'}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"RateKeysWhileCapturing", true, {}, {VK_F1, VK_F2, VK_F4}, Mode::Capturing, 250, kStartTitle, 1,
                0},
        KeyCase{"EWithoutCtrl", true, {}, {'E'}, Mode::Capturing, 250, kStartTitle, 1, 0},
        KeyCase{"F6", true, {}, {VK_F6}, Mode::Idle, 250, kStopTitle, 1, 1},
        KeyCase{"CtrlE", true, {}, {VK_CONTROL, 'E'}, Mode::Idle, 250, kStopTitle, 1, 1},
        KeyCase{"ECtrlThenF1", true, {}, {'E', VK_LCONTROL, VK_F1}, Mode::Idle, 250, kStopTitle, 1, 1}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST_F(RecorderTest, HeldRateKeyRepeatsItsTitle)
{
    desktop::KeyDown(VK_F1);
    desktop::KeyDown(VK_F1);  // auto-repeat
    desktop::KeyUp(VK_F1);

    const std::vector<std::string>& titles = desktop::TitleHistory(frame_);
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 1], "Lurvix: set 1 frm/sec");
    EXPECT_EQ(titles[titles.size() - 2], "Lurvix: set 1 frm/sec");
}

TEST_F(RecorderTest, RateChosenBeforeTheStartIsTheRecordingsRate)
{
    const struct {
        int key;
        UINT periodMs;
        DWORD rate;
    } cases[] = {{VK_F1, 1000, 1}, {VK_F2, 500, 2}, {VK_F3, 250, 4}, {VK_F4, 125, 8}};
    for (const auto& c : cases) {
        desktop::PressKeys({c.key});
        StartRecording(PathFor("rate.avi"));
        EXPECT_EQ(desktop::TimerPeriod(frame_, CaptureTimerId), c.periodMs);
        ASSERT_FALSE(desktop::AviStreamsCreated().empty());
        EXPECT_EQ(desktop::AviStreamsCreated().back().dwRate, c.rate);
        EXPECT_EQ(desktop::AviStreamsCreated().back().dwScale, 1u);
        StopRecording();
    }
}

TEST_F(RecorderTest, KeysReachTheRecorderOnlyWhileTheFrameHasTheFocus)
{
    // While a box owned by the frame window is open, the frame is disabled
    // and its keys go to the box.
    desktop::WhileNextMessageBoxOpen([] { desktop::PressKeys({VK_F2}); });
    MessageBoxA(frame_, "busy", "INFORMATION", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(g_recorder.frameIntervalMs, 1000);

    desktop::PressKeys({VK_F2});
    EXPECT_EQ(g_recorder.frameIntervalMs, 500);
}

}  // namespace
