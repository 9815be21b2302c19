#include "support/recorder_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/frame_window.h"

void RecorderTest::SetUp()
{
    desktop::Reset();
    g_recorder = RecorderState{};
    std::string pattern = (std::filesystem::temp_directory_path() / "lurvix-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    frame_ = CreateFrameWindowForTest(100, 100, 640, 480);
    ASSERT_NE(frame_, nullptr);
    ASSERT_EQ(desktop::FocusWindow(), frame_);
}

void RecorderTest::TearDown()
{
    EXPECT_EQ(desktop::Misuses(), std::vector<std::string>{});
    EXPECT_EQ(desktop::UnansweredSaveAsDialogs(), 0);
    EXPECT_EQ(desktop::UnansweredCompressorDialogs(), 0);
    EXPECT_EQ(desktop::LiveDeviceContexts(), 0);
    EXPECT_EQ(desktop::LiveGdiObjects(), 0);
    if (!expectOpenRecording_) {
        EXPECT_EQ(desktop::LiveAviFiles(), 0);
        EXPECT_EQ(desktop::LiveAviStreams(), 0);
        EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
        EXPECT_EQ(desktop::AviFileInitCalls(), desktop::AviFileExitCalls());
    }
    desktop::Reset();  // closes whatever a failed test left open
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::string RecorderTest::PathFor(const std::string& name) const
{
    return directory_ + "/" + name;
}

void RecorderTest::AnswerNextStart(const std::string& path, desktop::CompressorAnswer compressor)
{
    desktop::SaveAsAnswer save;
    save.typed = path;
    desktop::AnswerSaveAs(save);
    desktop::AnswerCompressorDialog(std::move(compressor));
}

void RecorderTest::StartRecording(const std::string& path, desktop::CompressorAnswer compressor)
{
    AnswerNextStart(path, std::move(compressor));
    desktop::PressKeys({VK_F5});
}

void RecorderTest::StopRecording()
{
    desktop::PressKeys({VK_F6});
}

int CountBoxes(const std::string& text)
{
    const auto& boxes = desktop::MessageBoxes();
    return static_cast<int>(
        std::count_if(boxes.begin(), boxes.end(), [&](const auto& box) { return box.text == text; }));
}
