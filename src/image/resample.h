#pragma once
// Downscaling a decoded picture for the resolution it is printed at. The filter is an
// area average in linear light: every new pixel is the mean of the source area it
// covers, with light added up as light (the sRGB values decoded first) and colour
// weighted by coverage (alpha premultiplied). Fine detail then keeps the brightness
// the eye sees instead of turning darker, and the hard edges of screenshots get no
// ringing. The convolution itself is pixman's.

#include <cstdint>

#include "image/picture.h"

namespace velmora {

enum class ResampleStatus {
  kDone,
  kInvalid,   // no pixels, a bit count other than 8, 24 or 32, or no downscale
  kTooLarge,  // wider or higher than the filter can address, or reduced too far
  kNoMemory,
  kFailed,    // the library refused an image or a filter
};

// The largest side the filter addresses: pixman works in 16.16 fixed-point coordinates.
constexpr int32_t kMaxResampleSide = 32767;
// The strongest reduction per axis (source pixels per new pixel).
constexpr int32_t kMaxReduction = 256;

// Writes into result a picture of width × height with the source's bit count (8 grey,
// 24 RGB, 32 RGBA). Width and height are at least 1 and at most the source's, not
// both equal to it. The density is scaled with the pixels, so that the physical size
// stays; a density of 0 stays 0. result is left untouched unless kDone.
ResampleStatus Downscale(const Picture& source, int32_t width, int32_t height, Picture& result);

}  // namespace velmora
