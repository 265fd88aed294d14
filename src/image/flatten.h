#pragma once
// The one place where transparency is flattened onto a background colour, for
// encoders that take no alpha (JPEG).

#include "core/options.h"
#include "image/picture.h"

namespace velmora {

// A new buffer of width × height pixels at 3 bytes each (red, green, blue). A 32-bit
// picture is composed over the background; a 24-bit one is copied. Null for an empty
// picture, another pixel size or a size beyond the picture limits. The picture is
// left as it is.
PixelBuffer FlattenToRgb(const Picture& picture, Rgb background);

}  // namespace velmora
