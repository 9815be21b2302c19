// The keyboard commands of the frame window: start, stop and frame rate.
#include <cstdio>

#include "recorder.h"

namespace {

struct RatePreset {
    int key;
    int frameIntervalMs;
};

// Tried in this order: of several rate keys held together, the first wins.
const RatePreset kRatePresets[] = {
    {VK_F1, 1000},
    {VK_F2, 500},
    {VK_F3, 250},
    {VK_F4, 125},
};

bool IsDown(const BYTE* keys, int key)
{
    return (keys[key] & 0x80) != 0;
}

bool StartKeysDown(const BYTE* keys)
{
    return (IsDown(keys, VK_CONTROL) && IsDown(keys, 'S')) || IsDown(keys, VK_F5);
}

bool StopKeysDown(const BYTE* keys)
{
    return (IsDown(keys, VK_CONTROL) && IsDown(keys, 'E')) || IsDown(keys, VK_F6);
}

void ShowRateTitle(HWND frameWindow, int framesPerSecond)
{
    char title[64];
    std::snprintf(title, sizeof title, "Lurvix: set %d frm/sec", framesPerSecond);
    SetWindowTextA(frameWindow, title);
}

// Sets up the file and starts the capture timer. A set-up that did not
// complete has already given everything back and said why (or the user
// cancelled): the recorder then stays idle.
void StartRecording(HWND frameWindow)
{
    RecorderState& recorder = g_recorder;
    const int frameIntervalMs = recorder.frameIntervalMs;

    recorder.setupInProgress = true;
    BeginRecording(frameWindow, static_cast<short>(frameIntervalMs));
    recorder.setupInProgress = false;
    if (!recorder.compressedStream)
        return;

    recorder.frameCount = 0;
    recorder.bytesWritten = 0;
    SetTimer(frameWindow, CaptureTimerId, static_cast<UINT>(frameIntervalMs), nullptr);
    SetWindowTextA(frameWindow, "Lurvix: Capturing Start...");
    recorder.mode = RecorderMode::Capturing;
}

void StopRecording(HWND frameWindow)
{
    KillTimer(frameWindow, CaptureTimerId);
    SetWindowTextA(frameWindow, "Lurvix: Capturing Stop!");
    FinishRecording(frameWindow);
    g_recorder.mode = RecorderMode::Idle;
}

void ApplyRatePreset(HWND frameWindow, const BYTE* keys)
{
    RecorderState& recorder = g_recorder;
    if (recorder.mode != RecorderMode::Idle)
        return;
    for (const RatePreset& preset : kRatePresets) {
        if (IsDown(keys, preset.key)) {
            recorder.frameIntervalMs = preset.frameIntervalMs;
            ShowRateTitle(frameWindow, FramesPerSecond(static_cast<short>(preset.frameIntervalMs)));
            return;
        }
    }
}

}  // namespace

// Decides from the whole keyboard's state, read once, not from the key that
// the message carries: a start and a stop may both happen in one event.
void HandleKeyDown(HWND frameWindow)
{
    RecorderState& recorder = g_recorder;

    // While the set-up's dialogs are open the frame window can still get
    // keys; they must not start a second set-up over the first one, nor
    // change the rate of the recording being set up.
    if (recorder.setupInProgress)
        return;

    BYTE keys[256] = {};
    GetKeyboardState(keys);

    if (StartKeysDown(keys) && recorder.mode == RecorderMode::Idle)
        StartRecording(frameWindow);

    if (StopKeysDown(keys)) {
        if (recorder.mode == RecorderMode::Capturing)
            StopRecording(frameWindow);
        return;
    }

    ApplyRatePreset(frameWindow, keys);
}
