#pragma once
// Whether an external optimiser's output may replace the picture it was given. A
// header alone proves nothing: a tool that was killed halfway leaves a file that
// starts like a picture.

#include <string>

#include "image/picture.h"

namespace velmora {

// True when the file passes the PNG content test and decodes completely.
bool IsCompletePng(const std::string& path);

// True when the candidate decodes completely to exactly the pixels that the original
// decodes to (colour and alpha, alpha taken as opaque where a picture has none). A
// lossless optimiser may change how a picture is stored, never what it shows.
bool IsLosslessPngReplacement(const std::string& original, const std::string& candidate);

// True when the file decodes completely as a GIF with the same logical screen and the
// same frame count as the original. A file that lost frames is no replacement.
bool IsCompleteGifLike(const std::string& path, const Picture& original);

}  // namespace velmora
