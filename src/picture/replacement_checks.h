#pragma once
// Whether a PNG optimiser's output may replace the PNG it was given.

#include <string>

namespace velmora {

// True when the file passes the PNG probe (at least 112 bytes, the signature, IHDR
// first) and decodes completely. A header alone proves nothing: a tool that was killed
// halfway leaves a file that starts like a PNG.
bool IsCompletePng(const std::string& path);

// True when the candidate decodes completely to exactly the pixels that the original
// decodes to (colour and alpha, alpha taken as opaque where a picture has none). A
// lossless optimiser may change how a picture is stored, never what it shows.
bool IsLosslessPngReplacement(const std::string& original, const std::string& candidate);

}  // namespace velmora
