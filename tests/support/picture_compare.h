#pragma once
// Comparison of a decoded picture with an independent decoder's RGBA rows.

#include <cstdint>
#include <string>

#include "support/independent_decoder.h"

namespace velmora::testing {

// Empty when the pictures agree, else a description of the first difference. Alpha is
// compared everywhere; red, green and blue only where the expected pixel is not fully
// transparent, because the colour under alpha 0 is invisible and decoders leave
// different values there. With coloursOnly, alpha is not compared and red, green and
// blue are compared everywhere.
std::string ComparePixels(int width, int height, int bitsPerPixel, const uint8_t* pixels,
                          const DecodedPicture& expected, bool coloursOnly = false);

}  // namespace velmora::testing
