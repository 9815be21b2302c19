// The recorder: its one state record, the picture size of a recording, the
// recording file's set-up and finish, the keyboard commands and the capture
// tick. Everything runs on the user-interface thread.
#pragma once

#include <string>

#include "platform.h"

enum class RecorderMode { Idle = 0, Capturing = 1 };

// The fixed picture of one recording: 24 bits per pixel, bottom-up rows.
struct CaptureGeometry {
    int captureWidth;   // outer width of the frame window, rounded down to a multiple of 8
    int captureHeight;  // outer height, rounded down to a multiple of 8
    int rowStride;      // bytes per row, a multiple of 4
    int frameBytes;     // rowStride * captureHeight
};

struct RecorderState {
    RecorderMode mode = RecorderMode::Idle;
    int frameIntervalMs = 1000;  // capture timer period: 1000, 500, 250 or 125
    int frameLimit = 3000;       // frames after which a recording stops its timer
    int frameCount = 0;          // frames written; also the next frame's stream position
    CaptureGeometry geometry = {};

    // Held from a start to the next finish.
    PAVIFILE aviFile = nullptr;
    PAVISTREAM rawStream = nullptr;
    PAVISTREAM compressedStream = nullptr;  // every frame is written here
    COMPVARS compressorVars = {};

    // What the set-up has taken, so that a finish gives back exactly that.
    bool libraryInUse = false;      // AVIFileInit called, AVIFileExit still due
    bool compressorChosen = false;  // compressorVars filled by the compressor dialog
    bool setupInProgress = false;   // the set-up's dialogs are open

    // AVI files of this kind break past 2 GiB: a recording stops before its
    // file would pass this many bytes (room is left for headers and index).
    long long fileByteLimit = 2000000000;
    long long bytesWritten = 0;  // frame data stored so far in this recording
};

extern RecorderState g_recorder;

constexpr UINT_PTR CaptureTimerId = 1;

CaptureGeometry DeriveCaptureGeometry(const RECT& windowRect);
int FramesPerSecond(short frameIntervalMs);

std::string ChooseSaveFile(HWND owner);
void BeginRecording(HWND frameWindow, short frameIntervalMs);
void FinishRecording(HWND frameWindow);

void HandleKeyDown(HWND frameWindow);
void CaptureTick(HWND frameWindow);

void ShowError(HWND owner, const char* text);
void ShowWarning(HWND owner, const char* text);
void ShowInformation(HWND owner, const char* text);
