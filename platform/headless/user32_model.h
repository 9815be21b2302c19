// Model desktop: windows, messages, the virtual clock, the keyboard, the
// pointer and modal boxes. Included through desktop.h.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace desktop {

void ResetWindowing();

// --- Virtual clock and message dispatch ---------------------------------
//
// Time passes only when a test (or its scripted user) says so. Timers fall
// due on the clock; a due timer posts one WM_TIMER (several missed periods
// make one message, as on the platform), and every queued message is
// dispatched to its window procedure. Nested modal loops dispatch the same
// way, so the frame window keeps getting its timer messages while a box is
// open.
DWORD Now();
void AdvanceTime(DWORD ms);
void PumpMessages();

bool HasTimer(HWND hwnd, UINT_PTR id);
UINT TimerPeriod(HWND hwnd, UINT_PTR id);

// --- Keyboard -------------------------------------------------------------
//
// The keyboard state that GetKeyboardState returns. KeyDown marks a key as
// down and sends WM_KEYDOWN to the window with the keyboard focus (a
// disabled window gets nothing), dispatching it at once; holding a key
// again repeats the message as the platform's auto-repeat does.
void SetKeyState(int vk, bool down);
void KeyDown(int vk);
void KeyUp(int vk);
// Presses the keys in order, then releases them in reverse order.
void PressKeys(std::initializer_list<int> keys);

// --- Windows and focus ------------------------------------------------------
HWND FocusWindow();
// The user clicks a window: it becomes active and gets the keyboard focus
// unless it is disabled.
void ClickWindow(HWND hwnd);
std::string WindowTitle(HWND hwnd);
// Every title the window has had, oldest first.
const std::vector<std::string>& TitleHistory(HWND hwnd);
DWORD WindowExStyle(HWND hwnd);
DWORD WindowStyle(HWND hwnd);
// Outer rectangles of the visible layered windows, bottom to top.
std::vector<std::pair<HWND, RECT>> LayeredWindows();

// --- Message boxes and the modal machinery ----------------------------------
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    DWORD time;
};
const std::vector<MessageBoxRecord>& MessageBoxes();

// The next message box runs this while it is open, then closes with OK.
// Boxes without a queued action close at once.
void WhileNextMessageBoxOpen(UserAction action);

// Runs a modal box or dialog the way the platform does: the owner (if any)
// is disabled, a dialog window takes the focus, the scripted user acts, and
// the owner is enabled again and gets the focus back. Every modal box and
// dialog of the model goes through here. The dialog window is returned to
// the action so that it can look at it.
void RunModal(HWND owner, const char* title, const std::function<void(HWND dialog)>& whileOpen);
// The innermost modal box or dialog that is open, or NULL.
HWND OpenModal();

}  // namespace desktop
