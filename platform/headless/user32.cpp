// Windowing services of the headless platform over the model desktop.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "desktop.h"

namespace {

constexpr UINT kMinimumTimerPeriod = 10;  // USER_TIMER_MINIMUM
constexpr const char* kDialogClass = "#32770";

struct WindowClass {
    WNDPROC proc;
    HBRUSH background;
};

struct Window {
    HWND handle;
    std::string className;
    WNDPROC proc;
    std::vector<std::string> titles;  // the last one is the current title
    RECT rect;
    DWORD style;
    DWORD exStyle;
    HWND owner;
    bool enabled;
    bool visible;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    DWORD due;
    bool pending;  // a WM_TIMER is waiting to be retrieved
    TIMERPROC callback;
};

struct Windowing {
    // Modal boxes and dialogs are windows of the platform's dialog class.
    std::map<std::string, WindowClass> classes = {{kDialogClass, WindowClass{DefWindowProcA, nullptr}}};
    std::vector<std::unique_ptr<Window>> windows;  // z-order, bottom first
    std::deque<MSG> queue;
    std::vector<Timer> timers;
    DWORD now = 0;
    BYTE keys[256] = {};
    POINT cursor = {0, 0};
    HWND focus = nullptr;
    std::vector<HWND> modals;
    std::vector<desktop::MessageBoxRecord> boxes;
    std::deque<desktop::UserAction> boxActions;
    bool quitPosted = false;
    int quitCode = 0;
    uintptr_t nextHandle = 0x10000;
    UINT_PTR nextThreadTimerId = 0x7F00;
};

Windowing model;

Window* LookUpWindow(HWND hwnd)
{
    for (auto& window : model.windows) {
        if (window->handle == hwnd)
            return window.get();
    }
    return nullptr;
}

Window* WindowOrMisuse(HWND hwnd, const char* call)
{
    Window* window = LookUpWindow(hwnd);
    if (!window)
        desktop::ReportMisuse(std::string(call) + " on a handle that is not a window");
    return window;
}

HWND NewHandle()
{
    model.nextHandle += 4;
    return reinterpret_cast<HWND>(model.nextHandle);
}

LRESULT CallWindow(Window* window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = window->handle;
    return window->proc(hwnd, message, wParam, lParam);
}

void Activate(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    if (window && window->enabled)
        model.focus = hwnd;
}

// The next message a message loop retrieves: posted and input messages in
// order, then the WM_TIMER of a timer that has fallen due. WM_QUIT comes only
// when nothing else is waiting.
bool NextMessage(MSG* msg, bool remove, bool includeQuit)
{
    if (!model.queue.empty()) {
        *msg = model.queue.front();
        if (remove)
            model.queue.pop_front();
        return true;
    }
    for (Timer& timer : model.timers) {
        if (!timer.pending)
            continue;
        *msg = MSG{timer.hwnd, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.callback), model.now,
                   model.cursor};
        if (remove)
            timer.pending = false;
        return true;
    }
    if (includeQuit && model.quitPosted) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(model.quitCode), 0, model.now, model.cursor};
        if (remove)
            model.quitPosted = false;
        return true;
    }
    return false;
}

Timer* FindTimer(HWND hwnd, UINT_PTR id)
{
    for (Timer& timer : model.timers) {
        if (timer.hwnd == hwnd && timer.id == id)
            return &timer;
    }
    return nullptr;
}

Timer* EarliestTimerDueBy(DWORD time)
{
    Timer* earliest = nullptr;
    for (Timer& timer : model.timers) {
        if (timer.due <= time && (!earliest || timer.due < earliest->due))
            earliest = &timer;
    }
    return earliest;
}

void RemoveWindowTimers(HWND hwnd)
{
    std::erase_if(model.timers, [hwnd](const Timer& timer) { return timer.hwnd == hwnd; });
}

void PostInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    model.queue.push_back(MSG{hwnd, message, wParam, lParam, model.now, model.cursor});
}

// Key-down lParam: repeat count 1, bit 30 set when the key was already down.
LPARAM KeyDownParam(bool wasDown)
{
    return static_cast<LPARAM>(1 | (wasDown ? (1u << 30) : 0));
}

}  // namespace

// --- Windows --------------------------------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc)
        return 0;
    if (model.classes.count(wc->lpszClassName))
        return 0;  // ERROR_CLASS_ALREADY_EXISTS
    model.classes[wc->lpszClassName] = WindowClass{wc->lpfnWndProc, wc->hbrBackground};
    return static_cast<ATOM>(0xC000 + model.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    if (!className || !model.classes.count(className))
        return nullptr;
    auto window = std::make_unique<Window>();
    window->handle = NewHandle();
    window->className = className;
    window->proc = model.classes[className].proc;
    window->titles.push_back(windowName ? windowName : "");
    if (x == CW_USEDEFAULT) {
        x = 100;
        y = 100;
    }
    if (width == CW_USEDEFAULT) {
        width = 640;
        height = 480;
    }
    window->rect = RECT{x, y, x + width, y + height};
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    window->exStyle = exStyle;
    window->owner = parent;
    window->enabled = !(style & WS_DISABLED);
    window->visible = false;
    Window* created = window.get();
    HWND hwnd = created->handle;
    model.windows.push_back(std::move(window));

    CREATESTRUCTA create = {param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                            windowName, className, exStyle};
    if (CallWindow(created, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!LookUpWindow(hwnd))
        return nullptr;
    created = LookUpWindow(hwnd);
    SendMessageA(hwnd, WM_SIZE, 0,
                 MAKELONG(created->rect.right - created->rect.left, created->rect.bottom - created->rect.top));
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd)
{
    Window* window = WindowOrMisuse(hwnd, "DestroyWindow");
    if (!window)
        return FALSE;
    CallWindow(window, WM_DESTROY, 0, 0);
    RemoveWindowTimers(hwnd);
    std::erase_if(model.queue, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
    std::erase_if(model.windows, [hwnd](const auto& w) { return w->handle == hwnd; });
    if (model.focus == hwnd)
        model.focus = nullptr;
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd)
{
    return LookUpWindow(hwnd) ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        DestroyWindow(hwnd);
    return 0;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow)
{
    Window* window = WindowOrMisuse(hwnd, "ShowWindow");
    if (!window)
        return FALSE;
    BOOL wasVisible = window->visible;
    window->visible = cmdShow != SW_HIDE;
    if (window->visible && model.modals.empty())
        Activate(hwnd);
    return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    return window && window->visible;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable)
{
    Window* window = WindowOrMisuse(hwnd, "EnableWindow");
    if (!window)
        return FALSE;
    BOOL wasDisabled = !window->enabled;
    window->enabled = enable != FALSE;
    if (!window->enabled && model.focus == hwnd)
        model.focus = nullptr;
    if (wasDisabled == window->enabled)
        SendMessageA(hwnd, WM_ENABLE, enable, 0);
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    return window && window->enabled;
}

HWND WINAPI GetActiveWindow(void)
{
    return model.focus;
}

HWND WINAPI SetActiveWindow(HWND hwnd)
{
    HWND previous = model.focus;
    Activate(hwnd);
    return previous;
}

HWND WINAPI GetFocus(void)
{
    return model.focus;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect)
{
    Window* window = WindowOrMisuse(hwnd, "GetWindowRect");
    if (!window || !rect)
        return FALSE;
    *rect = window->rect;
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    Window* window = WindowOrMisuse(hwnd, "SetWindowPos");
    if (!window)
        return FALSE;
    RECT old = window->rect;
    RECT& rect = window->rect;
    if (!(flags & SWP_NOMOVE)) {
        rect = RECT{x, y, x + (old.right - old.left), y + (old.bottom - old.top)};
    }
    if (!(flags & SWP_NOSIZE)) {
        rect.right = rect.left + std::max(cx, 0);
        rect.bottom = rect.top + std::max(cy, 0);
    }
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST)
            window->exStyle |= WS_EX_TOPMOST;
        else if (insertAfter == HWND_NOTOPMOST)
            window->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
        auto it = std::find_if(model.windows.begin(), model.windows.end(),
                               [hwnd](const auto& w) { return w->handle == hwnd; });
        std::rotate(it, it + 1, model.windows.end());
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    // The platform reports a change of size with WM_SIZE (and none when the
    // size stays as it was, so a handler that sets its own size again ends).
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width != old.right - old.left || height != old.bottom - old.top)
        SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(width, height));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text)
{
    Window* window = WindowOrMisuse(hwnd, "SetWindowTextA");
    if (!window)
        return FALSE;
    window->titles.push_back(text ? text : "");
    return TRUE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int maxCount)
{
    Window* window = LookUpWindow(hwnd);
    if (!window || !text || maxCount <= 0)
        return 0;
    const std::string& title = window->titles.back();
    int length = std::min(static_cast<int>(title.size()), maxCount - 1);
    std::memcpy(text, title.data(), static_cast<size_t>(length));
    text[length] = '\0';
    return length;
}

// --- Messages -------------------------------------------------------------------

BOOL WINAPI PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT removeMsg)
{
    return NextMessage(msg, (removeMsg & PM_REMOVE) != 0, true) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND, UINT, UINT)
{
    // A due timer is the only thing that can arrive while the loop waits.
    if (model.queue.empty() && !model.quitPosted) {
        bool anyPending = std::any_of(model.timers.begin(), model.timers.end(),
                                      [](const Timer& timer) { return timer.pending; });
        if (!anyPending && !model.timers.empty()) {
            Timer* next = &*std::min_element(model.timers.begin(), model.timers.end(),
                                             [](const Timer& a, const Timer& b) { return a.due < b.due; });
            model.now = std::max(model.now, next->due);
            next->due = model.now + next->period;
            next->pending = true;
        }
    }
    if (!NextMessage(msg, true, true)) {
        desktop::ReportMisuse("GetMessageA would wait for ever: no message, timer or quit is coming");
        *msg = MSG{nullptr, WM_QUIT, 0, 0, model.now, model.cursor};
        return -1;
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, model.now);
        return 0;
    }
    Window* window = LookUpWindow(msg->hwnd);
    if (!window)
        return 0;
    return CallWindow(window, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd && !LookUpWindow(hwnd))
        return FALSE;
    PostInput(hwnd, message, wParam, lParam);
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = LookUpWindow(hwnd);
    if (!window)
        return 0;
    return CallWindow(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode)
{
    model.quitPosted = true;
    model.quitCode = exitCode;
}

// --- Timers ----------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC timerFunc)
{
    if (hwnd && !WindowOrMisuse(hwnd, "SetTimer"))
        return 0;
    if (!hwnd)
        id = ++model.nextThreadTimerId;
    UINT period = std::max(elapseMs, kMinimumTimerPeriod);
    if (Timer* existing = FindTimer(hwnd, id)) {
        *existing = Timer{hwnd, id, period, model.now + period, false, timerFunc};
        return id;
    }
    model.timers.push_back(Timer{hwnd, id, period, model.now + period, false, timerFunc});
    // Success is a nonzero result even for a window's timer 0.
    return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id)
{
    auto it = std::find_if(model.timers.begin(), model.timers.end(),
                           [&](const Timer& timer) { return timer.hwnd == hwnd && timer.id == id; });
    if (it == model.timers.end())
        return FALSE;
    model.timers.erase(it);
    return TRUE;
}

DWORD WINAPI GetTickCount(void)
{
    return model.now;
}

// --- Keyboard and pointer -------------------------------------------------------------

BOOL WINAPI GetKeyboardState(PBYTE keyState)
{
    if (!keyState)
        return FALSE;
    std::memcpy(keyState, model.keys, sizeof model.keys);
    return TRUE;
}

SHORT WINAPI GetKeyState(int virtKey)
{
    BYTE state = model.keys[virtKey & 0xFF];
    return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 1));
}

BOOL WINAPI GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    *point = model.cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y)
{
    // The pointer never leaves the screen.
    model.cursor.x = std::clamp(x, 0, desktop::ScreenWidth() - 1);
    model.cursor.y = std::clamp(y, 0, desktop::ScreenHeight() - 1);
    return TRUE;
}

int WINAPI GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
        return desktop::ScreenWidth();
    case SM_CYSCREEN:
        return desktop::ScreenHeight();
    default:
        return 0;
    }
}

// --- Message boxes --------------------------------------------------------------------

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    model.boxes.push_back(desktop::MessageBoxRecord{owner, text ? text : "", caption ? caption : "Error", type,
                                                    model.now});
    desktop::UserAction action;
    if (!model.boxActions.empty()) {
        action = std::move(model.boxActions.front());
        model.boxActions.pop_front();
    }
    desktop::RunModal(owner, caption ? caption : "Error", [&](HWND) {
        if (action)
            action();
    });
    return (type & MB_YESNO) == MB_YESNO ? IDYES : IDOK;
}

// --- The model desktop's side -------------------------------------------------------------

namespace desktop {

void ResetWindowing()
{
    model = Windowing{};
}

DWORD Now()
{
    return model.now;
}

void PumpMessages()
{
    MSG msg;
    while (NextMessage(&msg, true, false)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void AdvanceTime(DWORD ms)
{
    const DWORD target = model.now + ms;
    PumpMessages();
    while (Timer* timer = EarliestTimerDueBy(target)) {
        model.now = std::max(model.now, timer->due);
        timer->due = model.now + timer->period;
        timer->pending = true;
        PumpMessages();
    }
    model.now = std::max(model.now, target);
    PumpMessages();
}

bool HasTimer(HWND hwnd, UINT_PTR id)
{
    return FindTimer(hwnd, id) != nullptr;
}

UINT TimerPeriod(HWND hwnd, UINT_PTR id)
{
    Timer* timer = FindTimer(hwnd, id);
    return timer ? timer->period : 0;
}

void SetKeyState(int vk, bool down)
{
    BYTE& state = model.keys[vk & 0xFF];
    state = static_cast<BYTE>(down ? (state | 0x80) : (state & ~0x80));
}

void KeyDown(int vk)
{
    bool wasDown = (model.keys[vk & 0xFF] & 0x80) != 0;
    SetKeyState(vk, true);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL)
        SetKeyState(VK_CONTROL, true);
    Window* target = LookUpWindow(model.focus);
    if (target && target->enabled)
        PostInput(target->handle, WM_KEYDOWN, static_cast<WPARAM>(vk), KeyDownParam(wasDown));
    PumpMessages();
}

void KeyUp(int vk)
{
    SetKeyState(vk, false);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL)
        SetKeyState(VK_CONTROL, (model.keys[VK_LCONTROL] | model.keys[VK_RCONTROL]) & 0x80);
    Window* target = LookUpWindow(model.focus);
    if (target && target->enabled)
        PostInput(target->handle, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
    PumpMessages();
}

void PressKeys(std::initializer_list<int> keys)
{
    for (int vk : keys)
        KeyDown(vk);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        KeyUp(*it);
}

HWND FocusWindow()
{
    return model.focus;
}

void ClickWindow(HWND hwnd)
{
    Activate(hwnd);
}

std::string WindowTitle(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    return window ? window->titles.back() : std::string();
}

const std::vector<std::string>& TitleHistory(HWND hwnd)
{
    static const std::vector<std::string> none;
    Window* window = LookUpWindow(hwnd);
    return window ? window->titles : none;
}

DWORD WindowExStyle(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    return window ? window->exStyle : 0;
}

DWORD WindowStyle(HWND hwnd)
{
    Window* window = LookUpWindow(hwnd);
    return window ? window->style | (window->visible ? WS_VISIBLE : 0) | (window->enabled ? 0 : WS_DISABLED)
                  : 0;
}

std::vector<std::pair<HWND, RECT>> LayeredWindows()
{
    std::vector<std::pair<HWND, RECT>> layered;
    for (const auto& window : model.windows) {
        if (window->visible && (window->exStyle & WS_EX_LAYERED))
            layered.emplace_back(window->handle, window->rect);
    }
    return layered;
}

const std::vector<MessageBoxRecord>& MessageBoxes()
{
    return model.boxes;
}

void WhileNextMessageBoxOpen(UserAction action)
{
    model.boxActions.push_back(std::move(action));
}

void RunModal(HWND owner, const char* title, const std::function<void(HWND dialog)>& whileOpen)
{
    HWND dialog = CreateWindowExA(0, kDialogClass, title, WS_POPUP | WS_CAPTION | WS_SYSMENU, 200, 200, 400, 200,
                                  owner, nullptr, nullptr, nullptr);
    Window* window = LookUpWindow(dialog);
    window->visible = true;
    const HWND previousFocus = model.focus;
    const bool disablesOwner = owner && IsWindowEnabled(owner);
    if (disablesOwner)
        EnableWindow(owner, FALSE);
    model.modals.push_back(dialog);
    model.focus = dialog;

    // The modal loop runs at once: whatever is queued is dispatched before
    // the user gets to act.
    PumpMessages();
    if (whileOpen)
        whileOpen(dialog);

    model.modals.pop_back();
    if (disablesOwner && LookUpWindow(owner))
        EnableWindow(owner, TRUE);
    DestroyWindow(dialog);
    if (!model.modals.empty())
        model.focus = model.modals.back();
    else
        Activate(owner ? owner : previousFocus);
}

HWND OpenModal()
{
    return model.modals.empty() ? nullptr : model.modals.back();
}

}  // namespace desktop
