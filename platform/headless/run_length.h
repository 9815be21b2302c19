// The run-length compressor's coder: 24-bit frames in the Microsoft RLE
// layout, lossless, every frame complete (a key frame).
//
// Rows are coded bottom row first, as a bottom-up DIB holds them. Codes:
//   n p          n (1..255) copies of the pixel p (B, G, R)
//   0 0          end of row
//   0 1          end of picture
//   0 n p...     n (3..255) pixels given one by one, no padding after them
// Runs of one or two differing pixels cannot be coded as a literal group
// (0 1 and 0 2 are other codes), so they go out as runs of one.
#pragma once

#include <cstddef>

#include "win_types.h"

namespace rle24 {

// Bytes an encoded frame can take at most.
size_t MaxEncodedBytes(int width, int height);

// Encodes a frame whose rows lie `stride` bytes apart, the bottom row at
// `rows`, into `out` (MaxEncodedBytes big). Returns the encoded size, which
// is never width-aligned-stride x height: a reader may take a frame of that
// exact size for an uncompressed one.
size_t EncodeFrame(const BYTE* rows, int width, int height, size_t stride, BYTE* out);

}  // namespace rle24
