#include "raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace raster {

namespace {

constexpr COLORREF kColourBits = 0x00FFFFFF;
constexpr COLORREF kWhite = 0x00FFFFFF;

BYTE* RowAddress(const Surface& surface, int y)
{
    return surface.topRow + static_cast<std::ptrdiff_t>(y) * surface.rowStep;
}

COLORREF FromBgr(const BYTE* p)
{
    return static_cast<COLORREF>(p[2]) | (static_cast<COLORREF>(p[1]) << 8) | (static_cast<COLORREF>(p[0]) << 16);
}

void ToBgr(COLORREF colour, BYTE* p)
{
    p[0] = static_cast<BYTE>(colour >> 16);
    p[1] = static_cast<BYTE>(colour >> 8);
    p[2] = static_cast<BYTE>(colour);
}

// A colour bitmap turns into a monochrome one by the background colour:
// pixels of the background colour (white by default) become white, all
// others black.
BYTE ToMonochrome(COLORREF colour)
{
    return (colour & kColourBits) == kWhite ? 1 : 0;
}

int BytesPerPixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Colorref:
    case PixelFormat::Bgrx32:
        return 4;
    case PixelFormat::Bgr24:
        return 3;
    case PixelFormat::Monochrome:
        return 1;
    }
    return 1;
}

// Rounds numerator / denominator (denominator > 0) to the nearest whole
// number, an exact half going to the smaller one: ceil(n / d - 1/2).
int RoundHalfDown(long long numerator, long long denominator)
{
    long long a = 2 * numerator - denominator;
    long long b = 2 * denominator;
    long long ceiling = a >= 0 ? (a + b - 1) / b : -((-a) / b);
    return static_cast<int>(ceiling);
}

}  // namespace

bool Contains(const Surface& surface, int x, int y)
{
    return x >= 0 && y >= 0 && x < surface.width && y < surface.height;
}

COLORREF ReadPixel(const Surface& surface, int x, int y)
{
    const BYTE* p = RowAddress(surface, y) + x * BytesPerPixel(surface.format);
    switch (surface.format) {
    case PixelFormat::Colorref: {
        COLORREF colour;
        std::memcpy(&colour, p, sizeof colour);
        return colour & kColourBits;
    }
    case PixelFormat::Bgr24:
    case PixelFormat::Bgrx32:
        return FromBgr(p);
    case PixelFormat::Monochrome:
        return *p ? kWhite : 0;
    }
    return 0;
}

void WritePixel(const Surface& surface, int x, int y, COLORREF colour)
{
    BYTE* p = RowAddress(surface, y) + x * BytesPerPixel(surface.format);
    switch (surface.format) {
    case PixelFormat::Colorref: {
        COLORREF stored = colour & kColourBits;
        std::memcpy(p, &stored, sizeof stored);
        return;
    }
    case PixelFormat::Bgr24:
        ToBgr(colour, p);
        return;
    case PixelFormat::Bgrx32:
        ToBgr(colour, p);
        p[3] = 0;
        return;
    case PixelFormat::Monochrome:
        *p = ToMonochrome(colour);
        return;
    }
}

COLORREF StoredColour(PixelFormat format, COLORREF colour)
{
    if (format == PixelFormat::Monochrome) {
        return ToMonochrome(colour) ? kWhite : 0;
    }
    return colour & kColourBits;
}

void ReadRow(const Surface& surface, int x, int y, int count, COLORREF* out)
{
    if (y < 0 || y >= surface.height) {
        std::fill(out, out + count, 0);
        return;
    }
    // Columns left and right of the surface read black.
    int first = std::clamp(-x, 0, count);
    int end = std::clamp(surface.width - x, first, count);
    std::fill(out, out + first, 0);
    std::fill(out + end, out + count, 0);
    if (surface.format == PixelFormat::Colorref) {
        // The screen's own layout: a straight copy, masked to colour bits.
        const BYTE* row = RowAddress(surface, y);
        std::memcpy(out + first, row + (x + first) * 4, static_cast<std::size_t>(end - first) * 4);
        for (int i = first; i < end; ++i) {
            out[i] &= kColourBits;
        }
        return;
    }
    for (int i = first; i < end; ++i) {
        out[i] = ReadPixel(surface, x + i, y);
    }
}

void WriteRow(const Surface& surface, int x, int y, int count, const COLORREF* colours)
{
    if (surface.format == PixelFormat::Bgr24) {
        // The capture path: keep it a tight byte loop.
        BYTE* p = RowAddress(surface, y) + x * 3;
        for (int i = 0; i < count; ++i, p += 3) {
            ToBgr(colours[i], p);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        WritePixel(surface, x + i, y, colours[i]);
    }
}

void FillRow(const Surface& surface, int x, int y, int count, COLORREF colour)
{
    for (int i = 0; i < count; ++i) {
        WritePixel(surface, x + i, y, colour);
    }
}

bool IsRop2(int rop2)
{
    return rop2 >= 1 && rop2 <= 16;
}

COLORREF ApplyRop2(int rop2, COLORREF pen, COLORREF destination)
{
    // rop2 - 1 is a truth table over (pen bit, destination bit): its bit
    // number 2 * pen + destination gives the result, so R2_COPYPEN (13) is
    // 1100b (the pen) and R2_NOT (6) is 0101b (the inverted destination).
    unsigned table = static_cast<unsigned>(rop2 - 1);
    COLORREF result = 0;
    if (table & 1) result |= ~pen & ~destination;
    if (table & 2) result |= ~pen & destination;
    if (table & 4) result |= pen & ~destination;
    if (table & 8) result |= pen & destination;
    return result & kColourBits;
}

std::vector<POINT> LinePixels(POINT from, POINT to, int width, int height)
{
    // The diamond rule for one-pixel lines: one pixel a column for lines
    // flatter than 45 degrees, one a row for steeper ones, each the pixel
    // nearest to the ideal line. A line exactly between two pixels takes the
    // upper one (flat lines) or the left one (steep lines), whichever way
    // the line runs.
    long long dx = static_cast<long long>(to.x) - from.x;
    long long dy = static_cast<long long>(to.y) - from.y;
    long long steps = std::max(std::llabs(dx), std::llabs(dy));
    bool flat = std::llabs(dx) >= std::llabs(dy);
    long long direction = (flat ? dx : dy) > 0 ? 1 : -1;
    long long start = flat ? from.x : from.y;
    long long limit = flat ? width : height;

    // Only the steps whose main coordinate lies on the surface can draw.
    long long firstStep = 0;
    long long endStep = steps;
    if (direction > 0) {
        firstStep = std::max(firstStep, -start);
        endStep = std::min(endStep, limit - start);
    } else {
        firstStep = std::max(firstStep, start - (limit - 1));
        endStep = std::min(endStep, start + 1);
    }

    std::vector<POINT> pixels;
    for (long long t = firstStep; t < endStep; ++t) {
        long long major = start + direction * t;
        long long minor = flat ? from.y + RoundHalfDown(t * dy, steps) : from.x + RoundHalfDown(t * dx, steps);
        POINT p;
        p.x = static_cast<LONG>(flat ? major : minor);
        p.y = static_cast<LONG>(flat ? minor : major);
        if (p.x >= 0 && p.y >= 0 && p.x < width && p.y < height) {
            pixels.push_back(p);
        }
    }
    return pixels;
}

}  // namespace raster
