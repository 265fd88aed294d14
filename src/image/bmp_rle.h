#pragma once
// Run-length decoding of RLE8 and RLE4 bitmaps into one colour index per pixel.

#include <cstdint>

#include "image/picture_file.h"

namespace velmora {

// Decodes the stream into indices (width × height bytes, zero-filled by the caller), rows
// in file order. Pixels the stream never reaches (deltas, early ends) keep index 0;
// pixels it places beyond a row's end or below the last row are dropped. Returns the
// number of complete rows: every row when the stream reaches the last one, fewer when it
// ends early.
int64_t DecodeBmpRle(ReadAhead& in, bool fourBit, uint8_t* indices, int64_t width, int64_t height);

}  // namespace velmora
