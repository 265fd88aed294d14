#pragma once
// Whether a GIF optimiser's output may replace the animation it was given.

#include <string>

#include "image/gif.h"

namespace velmora {

// True when the file decodes completely as a GIF with the same logical screen and
// the same frame count as the original. A file that merely starts like a GIF (a tool
// that was killed halfway) or that lost frames is no replacement.
bool IsCompleteGifLike(const std::string& path, const CMyGIF& original);

}  // namespace velmora
