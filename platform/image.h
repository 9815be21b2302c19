// CImage: a picture over a device-independent bitmap section.
//
// The Windows toolchain used here has no image class, so this is a small one
// with the members the program uses, behaving as the platform's image class
// does: Create makes a DIB section (a positive height gives bottom-up rows),
// GetDC selects the picture into a memory device context (nested calls share
// it, each to be balanced by ReleaseDC), and GetBits returns the address of
// the picture's top row.
#pragma once

class CImage {
public:
    CImage() = default;
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Width and height in pixels, bits per pixel (24 or 32); flags must be 0.
    BOOL Create(int width, int height, int bitsPerPixel, DWORD flags = 0);
    void Destroy();
    bool IsNull() const { return bitmap_ == nullptr; }

    HDC GetDC() const;
    void ReleaseDC() const;

    void* GetBits();
    int GetPitch() const;  // bytes from one row to the next one down
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    int GetBPP() const { return bitsPerPixel_; }

private:
    HBITMAP bitmap_ = nullptr;
    BYTE* pixels_ = nullptr;  // lowest address of the pixel memory
    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    int stride_ = 0;  // bytes per row, a multiple of 4
    mutable HDC dc_ = nullptr;
    mutable HGDIOBJ previousBitmap_ = nullptr;
    mutable int dcUses_ = 0;
};
