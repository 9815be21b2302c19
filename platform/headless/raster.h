// Pixel surfaces and the drawing rules the graphics model applies to them:
// reading and writing pixels in each memory layout, the binary raster
// operations of pens, and which pixels a one-pixel line covers.
//
// Internal to the headless platform; the program never includes it.
#pragma once

#include <cstddef>
#include <vector>

#include "win_types.h"

namespace raster {

// How a surface keeps its pixels.
enum class PixelFormat {
    Colorref,    // one 32-bit COLORREF (0x00BBGGRR) a pixel: the screen, window surfaces
    Bgr24,       // B, G, R bytes: a 24-bit DIB
    Bgrx32,      // B, G, R and an unused byte: a 32-bit DIB
    Monochrome,  // one byte a pixel, 0 black and 1 white: a monochrome bitmap
};

// A rectangle of pixels somewhere in memory. Rows may run either way:
// rowStep is the distance in bytes from a row to the one below it, so it is
// negative for a bottom-up DIB.
struct Surface {
    BYTE* topRow = nullptr;
    std::ptrdiff_t rowStep = 0;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::Colorref;
};

// Bytes in one row of a device-independent bitmap: rows are padded to whole
// 32-bit words.
constexpr long long DibRowBytes(long long width, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

bool Contains(const Surface& surface, int x, int y);

// Single pixels; the caller keeps (x, y) inside the surface.
COLORREF ReadPixel(const Surface& surface, int x, int y);
void WritePixel(const Surface& surface, int x, int y, COLORREF colour);

// The colour a pixel of this format actually holds after writing `colour`.
COLORREF StoredColour(PixelFormat format, COLORREF colour);

// Reads `count` pixels of row y from column x on. Pixels outside the surface
// read black, as the platform returns for parts of a copy off the screen.
void ReadRow(const Surface& surface, int x, int y, int count, COLORREF* out);
// Writes `count` pixels into row y from column x on; the caller clips.
void WriteRow(const Surface& surface, int x, int y, int count, const COLORREF* colours);
void FillRow(const Surface& surface, int x, int y, int count, COLORREF colour);

// The binary raster operations R2_BLACK (1) to R2_WHITE (16).
bool IsRop2(int rop2);
COLORREF ApplyRop2(int rop2, COLORREF pen, COLORREF destination);

// Device coordinates a line may use: the platform's 28-bit coordinate space.
constexpr LONG kMinCoordinate = -(1 << 27);
constexpr LONG kMaxCoordinate = (1 << 27) - 1;

// The pixels inside a width x height surface that a one-pixel line from
// `from` to `to` covers, in drawing order. The first point is drawn and the
// last one is not, so that joined segments touch each shared vertex once.
// Both points lie within the coordinate space above.
std::vector<POINT> LinePixels(POINT from, POINT to, int width, int height);

}  // namespace raster
