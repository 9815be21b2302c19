// Frames as a recording should hold them, taken from the model screen, and
// their comparison with what ffmpeg decoded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform.h"

// The screen's pixels in the given rectangle as top-down rows of B, G, R
// bytes (the order in which ffmpeg hands out decoded bgr24 frames). Pixels
// off the screen are black.
std::vector<uint8_t> ScreenRegionBgr(int left, int top, int width, int height);

// The pointer's arrow outline, as the recorder draws it.
std::vector<POINT> ArrowOutline(POINT pointer);

// What a frame taken at this rectangle holds with the arrow at the pointer
// burned in: the screen region with the outline inverted, drawn through the
// platform's own line drawing.
std::vector<uint8_t> ScreenRegionWithArrow(int left, int top, int width, int height, POINT pointer);

// Equal, or where the first difference is (column, row, channel).
::testing::AssertionResult SamePixels(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                                      int width);
