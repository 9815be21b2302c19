// CImage over the platform's graphics calls only, so the same source builds
// against the Windows headers and against the headless stand-in.
#include "platform.h"

#include <cstddef>

namespace {

// Bytes in one row of a DIB: rows are padded to whole 32-bit words.
int DibStride(int width, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

}  // namespace

CImage::~CImage()
{
    Destroy();
}

BOOL CImage::Create(int width, int height, int bitsPerPixel, DWORD flags)
{
    Destroy();
    // Bottom-up pictures of 24 or 32 bits are what the program records;
    // nothing else is offered.
    if (width <= 0 || height <= 0 || flags != 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return FALSE;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: the bottom row comes first in memory
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return FALSE;
    }
    bitmap_ = bitmap;
    pixels_ = static_cast<BYTE*>(bits);
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    stride_ = DibStride(width, bitsPerPixel);
    return TRUE;
}

void CImage::Destroy()
{
    if (bitmap_ == nullptr) {
        return;
    }
    // A device context still out would keep the bitmap selected, and a
    // selected bitmap cannot be deleted: close it first.
    if (dcUses_ > 0) {
        dcUses_ = 1;
        ReleaseDC();
    }
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
    pixels_ = nullptr;
    width_ = 0;
    height_ = 0;
    bitsPerPixel_ = 0;
    stride_ = 0;
}

HDC CImage::GetDC() const
{
    if (bitmap_ == nullptr) {
        return nullptr;
    }
    if (dcUses_ == 0) {
        HDC dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr) {
            return nullptr;
        }
        HGDIOBJ previous = SelectObject(dc, bitmap_);
        if (previous == nullptr) {
            DeleteDC(dc);
            return nullptr;
        }
        dc_ = dc;
        previousBitmap_ = previous;
    }
    ++dcUses_;
    return dc_;
}

void CImage::ReleaseDC() const
{
    if (dcUses_ == 0) {
        return;
    }
    if (--dcUses_ > 0) {
        return;  // an outer GetDC still uses it
    }
    // Put the device context's own bitmap back, so that ours is free again.
    SelectObject(dc_, previousBitmap_);
    DeleteDC(dc_);
    dc_ = nullptr;
    previousBitmap_ = nullptr;
}

void* CImage::GetBits()
{
    if (pixels_ == nullptr) {
        return nullptr;
    }
    // Rows run bottom-up, so the top row is the last one in memory.
    return pixels_ + static_cast<std::ptrdiff_t>(height_ - 1) * stride_;
}

int CImage::GetPitch() const
{
    return -stride_;
}
