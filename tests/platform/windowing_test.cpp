// The model desktop's windowing and Save As dialog behave as the platform
// does where the recorder depends on it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "headless/desktop.h"

namespace {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    DWORD time;
};
std::vector<Received> received;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    received.push_back({hwnd, message, wParam, desktop::Now()});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class WindowingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop::Reset();
        received.clear();
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "Probe";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        window_ = CreateWindowExA(WS_EX_LAYERED, "Probe", "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 300,
                                  200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        received.clear();
    }

    void TearDown() override { EXPECT_EQ(desktop::Misuses(), std::vector<std::string>{}); }

    std::vector<DWORD> TimerTimes() const
    {
        std::vector<DWORD> times;
        for (const Received& r : received) {
            if (r.message == WM_TIMER)
                times.push_back(r.time);
        }
        return times;
    }

    HWND window_ = nullptr;
};

TEST_F(WindowingTest, TimerFiresOnTheVirtualClockUntilKilled)
{
    EXPECT_EQ(SetTimer(window_, 1, 250, nullptr), 1u);
    desktop::AdvanceTime(1000);
    EXPECT_EQ(TimerTimes(), (std::vector<DWORD>{250, 500, 750, 1000}));

    EXPECT_TRUE(KillTimer(window_, 1));
    EXPECT_FALSE(KillTimer(window_, 1));
    desktop::AdvanceTime(1000);
    EXPECT_EQ(TimerTimes().size(), 4u);
}

TEST_F(WindowingTest, TimerMessagesAreDispatchedInsideAModalBox)
{
    // A box owned by the window disables it, yet its timer keeps ticking
    // inside the box's own message loop.
    SetTimer(window_, 1, 100, nullptr);
    bool enabledWhileOpen = true;
    HWND focusWhileOpen = nullptr;
    desktop::WhileNextMessageBoxOpen([&] {
        enabledWhileOpen = IsWindowEnabled(window_);
        focusWhileOpen = desktop::FocusWindow();
        desktop::AdvanceTime(300);
    });
    EXPECT_EQ(MessageBoxA(window_, "text", "WARNING", MB_OK | MB_ICONWARNING), IDOK);

    EXPECT_FALSE(enabledWhileOpen);
    EXPECT_NE(focusWhileOpen, window_);
    EXPECT_EQ(TimerTimes(), (std::vector<DWORD>{100, 200, 300}));
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_EQ(desktop::FocusWindow(), window_);
    ASSERT_EQ(desktop::MessageBoxes().size(), 1u);
    EXPECT_EQ(desktop::MessageBoxes()[0].owner, window_);
    EXPECT_EQ(desktop::MessageBoxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
}

TEST_F(WindowingTest, KeysGoToTheFocusWindowOnlyWhileItIsEnabled)
{
    desktop::KeyDown(VK_F5);
    desktop::KeyUp(VK_F5);
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_F5] & 0x80, 0);

    EnableWindow(window_, FALSE);
    desktop::KeyDown(VK_F6);
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_F6] & 0x80, 0x80);
    desktop::KeyUp(VK_F6);

    std::vector<WPARAM> keyDowns;
    for (const Received& r : received) {
        if (r.message == WM_KEYDOWN)
            keyDowns.push_back(r.wParam);
    }
    EXPECT_EQ(keyDowns, std::vector<WPARAM>{VK_F5});
}

TEST_F(WindowingTest, ResizeIsReportedOnlyWhenTheSizeChanges)
{
    auto sizeMessages = [] {
        int count = 0;
        for (const Received& r : received)
            count += r.message == WM_SIZE;
        return count;
    };
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 640, 480, SWP_NOMOVE);
    EXPECT_EQ(sizeMessages(), 1);
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 640, 480, SWP_NOMOVE);
    EXPECT_EQ(sizeMessages(), 1);

    RECT rect;
    ASSERT_TRUE(GetWindowRect(window_, &rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 650);
    EXPECT_EQ(rect.bottom, 500);
    EXPECT_TRUE(desktop::WindowExStyle(window_) & WS_EX_TOPMOST);
    ASSERT_EQ(desktop::LayeredWindows().size(), 1u);
    EXPECT_EQ(desktop::LayeredWindows()[0].second.right, 650);
}

TEST_F(WindowingTest, PostedMessagesWaitForTheMessageLoop)
{
    PostMessageA(window_, WM_PAINT, 0, 0);
    EXPECT_TRUE(received.empty());
    desktop::PumpMessages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_PAINT));
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_PAINT, 0, 0));
}

class SaveAsTest : public WindowingTest {
protected:
    void SetUp() override
    {
        WindowingTest::SetUp();
        directory_ = std::filesystem::temp_directory_path() / ("lurvix-saveas-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(directory_);
        WindowingTest::TearDown();
    }

    // Opens the dialog the way the recorder does, with a buffer of this size.
    BOOL Ask(char* buffer, DWORD size)
    {
        OPENFILENAMEA ofn;
        std::memset(&ofn, 0, sizeof ofn);
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = window_;
        ofn.lpstrFile = buffer;
        ofn.nMaxFile = size;
        ofn.Flags = OFN_OVERWRITEPROMPT;
        ofn.lpstrDefExt = "avi";
        return GetSaveFileNameA(&ofn);
    }

    std::filesystem::path directory_;
};

TEST_F(SaveAsTest, ReturnsTheTypedNameWithTheDefaultExtension)
{
    const struct {
        std::string typed;
        std::string chosen;
    } cases[] = {
        {"clip", "clip.avi"},
        {"clip.avi", "clip.avi"},
        {"clip.mov", "clip.mov"},
        {"my.films/clip", "my.films/clip.avi"},
    };
    for (const auto& c : cases) {
        desktop::AnswerSaveAs({.typed = (directory_ / c.typed).string()});
        char buffer[MAX_PATH] = "";
        ASSERT_TRUE(Ask(buffer, sizeof buffer)) << c.typed;
        EXPECT_EQ(std::string(buffer), (directory_ / c.chosen).string());
    }
}

TEST_F(SaveAsTest, CancelAndRefusedOverwriteReturnZero)
{
    char buffer[MAX_PATH] = "";
    desktop::AnswerSaveAs({.cancel = true});
    EXPECT_FALSE(Ask(buffer, sizeof buffer));
    EXPECT_EQ(CommDlgExtendedError(), 0u);

    const std::string existing = (directory_ / "old.avi").string();
    std::ofstream(existing) << "x";
    desktop::AnswerSaveAs({.typed = existing, .confirmOverwrite = false});
    EXPECT_FALSE(Ask(buffer, sizeof buffer));
    EXPECT_TRUE(desktop::SaveAsDialogs().back().askedToOverwrite);

    // Without an answer the scripted user cancels, and the test hears of it.
    EXPECT_FALSE(Ask(buffer, sizeof buffer));
    EXPECT_EQ(desktop::UnansweredSaveAsDialogs(), 1);
}

TEST_F(SaveAsTest, NameLongerThanTheBufferFails)
{
    char buffer[16] = "";
    desktop::AnswerSaveAs({.typed = "/tmp/far-too-long-a-name.avi"});
    EXPECT_FALSE(Ask(buffer, sizeof buffer));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
}

}  // namespace
