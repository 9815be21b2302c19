#include "recorder.h"

RecorderState g_recorder;

CaptureGeometry DeriveCaptureGeometry(const RECT& windowRect)
{
    const int width = windowRect.right - windowRect.left;
    const int height = windowRect.bottom - windowRect.top;

    CaptureGeometry geometry;
    geometry.captureWidth = width / 8 * 8;
    geometry.captureHeight = height / 8 * 8;
    // DIB rows are padded to 32 bits; at widths that are multiples of 8 the
    // padding is always zero.
    geometry.rowStride = ((geometry.captureWidth * 24 + 31) & ~31) / 8;
    geometry.frameBytes = geometry.rowStride * geometry.captureHeight;
    return geometry;
}

int FramesPerSecond(short frameIntervalMs)
{
    return 1000 / frameIntervalMs;
}
