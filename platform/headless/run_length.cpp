#include "run_length.h"

#include <cstring>

namespace rle24 {

namespace {

constexpr int kLongestRun = 255;

bool SamePixel(const BYTE* a, const BYTE* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Pixels from `first` on that equal it, up to `limit`.
int RunLength(const BYTE* first, int limit)
{
    int length = 1;
    const BYTE* next = first + 3;
    while (length < limit && SamePixel(first, next)) {
        ++length;
        next += 3;
    }
    return length;
}

// Pixels from `first` on up to the next pair of equal neighbours (which
// codes better as a run), up to `limit`.
int LiteralLength(const BYTE* first, int limit)
{
    int length = 1;
    const BYTE* next = first + 3;
    while (length < limit) {
        if (length + 1 < limit && SamePixel(next, next + 3)) break;
        ++length;
        next += 3;
    }
    return length;
}

BYTE* PutRun(BYTE* out, const BYTE* pixel, int count)
{
    out[0] = static_cast<BYTE>(count);
    out[1] = pixel[0];
    out[2] = pixel[1];
    out[3] = pixel[2];
    return out + 4;
}

BYTE* PutLiteral(BYTE* out, const BYTE* pixels, int count)
{
    if (count < 3) {
        for (int i = 0; i < count; ++i) out = PutRun(out, pixels + 3 * i, 1);
        return out;
    }
    out[0] = 0;
    out[1] = static_cast<BYTE>(count);
    std::memcpy(out + 2, pixels, 3 * static_cast<size_t>(count));
    return out + 2 + 3 * count;
}

BYTE* PutEscape(BYTE* out, BYTE code)
{
    out[0] = 0;
    out[1] = code;
    return out + 2;
}

BYTE* EncodeRow(const BYTE* row, int width, BYTE* out)
{
    int x = 0;
    while (x < width) {
        const BYTE* pixel = row + 3 * x;
        int left = width - x;
        int limit = left < kLongestRun ? left : kLongestRun;
        int run = RunLength(pixel, limit);
        if (run >= 2) {
            out = PutRun(out, pixel, run);
            x += run;
            continue;
        }
        int literal = LiteralLength(pixel, limit);
        out = PutLiteral(out, pixel, literal);
        x += literal;
    }
    return out;
}

}  // namespace

size_t MaxEncodedBytes(int width, int height)
{
    // A pixel takes at most 4 bytes (a run of one), a row 2 more for its end,
    // and a second end-of-picture may follow.
    return static_cast<size_t>(height) * (4 * static_cast<size_t>(width) + 2) + 2;
}

size_t EncodeFrame(const BYTE* rows, int width, int height, size_t stride, BYTE* out)
{
    BYTE* next = out;
    for (int y = 0; y < height; ++y) {
        next = EncodeRow(rows + stride * static_cast<size_t>(y), width, next);
        next = PutEscape(next, y + 1 < height ? 0 : 1);
    }
    size_t size = static_cast<size_t>(next - out);
    size_t alignedStride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    if (size == alignedStride * static_cast<size_t>(height)) {
        next = PutEscape(next, 1);
        size += 2;
    }
    return size;
}

}  // namespace rle24
