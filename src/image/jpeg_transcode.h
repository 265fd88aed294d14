#pragma once
// JPEG files made smaller without decoding them to pixels: the DCT coefficients are
// read and written again with optimised Huffman tables and a progressive scan script.
// Every marker segment in front of the picture data (EXIF, ICC, XMP, JFIF, Adobe,
// comments) is written again byte for byte and in its order. The picture decodes to
// exactly the same pixels.

#include <string>

namespace velmora {

enum class TranscodeStatus {
  kWritten,
  kUnreadable,  // not a JPEG this library reads whole (damaged, 12-bit, too large)
  kFailed,      // the output could not be written (it is removed)
};

TranscodeStatus TranscodeJpegLosslessly(const std::string& input, const std::string& output);

// True when both files decode completely to exactly the same samples, in the colour
// space the files are stored in (so CMYK pictures are compared too).
bool DecodeToSameSamples(const std::string& a, const std::string& b);

}  // namespace velmora
