// One capture tick: the screen under the frame window, with the pointer's
// arrow burned in, becomes the next frame of the recording.
#include <cstdio>

#include "recorder.h"

namespace {

// Each frame adds a chunk header (8 bytes) and an index entry (16 bytes) to
// the file besides its data.
constexpr long long kFrameOverheadBytes = 8 + 16;

// The arrow's outline relative to the pointer, drawn as one closed polyline.
// It reaches 13 pixels right of and below the pointer.
void DrawCursorArrow(HDC screen, POINT pointer)
{
    const LONG x = pointer.x;
    const LONG y = pointer.y;
    const POINT outline[] = {
        {x, y}, {x + 12, y + 6}, {x + 10, y + 8}, {x + 13, y + 11},
        {x + 11, y + 13}, {x + 8, y + 10}, {x + 6, y + 12}, {x, y},
    };
    Polyline(screen, outline, static_cast<int>(sizeof outline / sizeof outline[0]));
}

void ShowCountTitle(HWND frameWindow, int frameCount)
{
    char title[80];
    std::snprintf(title, sizeof title, "Lurvix: Capturing..(%d)  F6 for Stop", frameCount);
    SetWindowTextA(frameWindow, title);
}

// Whether the next frame, at its uncompressed size, still fits into the
// file's byte budget together with every frame's chunk header and index entry.
bool NextFrameFitsBudget(const RecorderState& recorder)
{
    const long long overhead = static_cast<long long>(recorder.frameCount + 1) * kFrameOverheadBytes;
    const long long projected = recorder.bytesWritten + recorder.geometry.frameBytes + overhead;
    return projected <= recorder.fileByteLimit;
}

// The recording has reached its limit: no more ticks. It stays a recording
// until the user stops it, which completes the file.
void StopAtLimit(HWND frameWindow)
{
    KillTimer(frameWindow, CaptureTimerId);
    SetWindowTextA(frameWindow, "Lurvix:Capturing Stop!");
    ShowWarning(frameWindow, "Due to the limit of memory, automaticaly stop.");
}

// Inverts the arrow at the pointer on the live screen, copies the screen
// under the frame window into the picture, and inverts the arrow again,
// which restores the screen. Returns false when there is no picture.
bool CopyScreenWithArrow(HWND frameWindow, HDC screen, CImage* picture)
{
    const CaptureGeometry& geometry = g_recorder.geometry;

    RECT windowRect = {};
    GetWindowRect(frameWindow, &windowRect);
    POINT pointer = {};
    GetCursorPos(&pointer);

    SetROP2(screen, R2_NOT);
    DrawCursorArrow(screen, pointer);
    const bool created = picture->Create(geometry.captureWidth, geometry.captureHeight, 24) != FALSE;
    if (created) {
        // A plain copy leaves out layered windows, the frame window among them.
        BitBlt(picture->GetDC(), 0, 0, geometry.captureWidth, geometry.captureHeight, screen, windowRect.left,
               windowRect.top, SRCCOPY);
        picture->ReleaseDC();
    }
    DrawCursorArrow(screen, pointer);
    return created;
}

}  // namespace

void CaptureTick(HWND frameWindow)
{
    RecorderState& recorder = g_recorder;
    if (!recorder.compressedStream)
        return;

    // Past the byte budget the frame is not written at all, so the file
    // stays whole; at the frame limit this tick's frame is still written.
    const bool fitsBudget = NextFrameFitsBudget(recorder);
    if (recorder.frameCount >= recorder.frameLimit || !fitsBudget)
        StopAtLimit(frameWindow);
    if (!fitsBudget)
        return;

    ShowCountTitle(frameWindow, recorder.frameCount);

    HDC screen = GetDC(nullptr);
    CImage picture;
    if (!CopyScreenWithArrow(frameWindow, screen, &picture)) {
        // No memory for the picture: this frame is skipped, the next tick
        // tries again.
        ReleaseDC(nullptr, screen);
        return;
    }

    const CaptureGeometry& geometry = recorder.geometry;
    // The picture's rows are bottom-up: the stream wants the lowest address.
    BYTE* pixels = static_cast<BYTE*>(picture.GetBits()) - (geometry.captureHeight - 1) * geometry.rowStride;
    LONG bytesStored = 0;
    const HRESULT written = AVIStreamWrite(recorder.compressedStream, recorder.frameCount, 1, pixels,
                                           geometry.frameBytes, AVIIF_KEYFRAME, nullptr, &bytesStored);
    picture.Destroy();
    ReleaseDC(nullptr, screen);

    if (written != 0) {
        // The frames written so far stay; stopping the timer keeps the error
        // from being reported again by every later tick.
        KillTimer(frameWindow, CaptureTimerId);
        ShowError(frameWindow, "AVI stream write Error!");
        return;
    }
    ++recorder.frameCount;
    // A stream that does not report its bytes is counted at full frame size.
    recorder.bytesWritten += bytesStored > 0 ? bytesStored : geometry.frameBytes;
}
