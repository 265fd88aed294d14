#include "support/picture_compare.h"

#include <sstream>

namespace velmora::testing {

std::string ComparePixels(int width, int height, int bitsPerPixel, const uint8_t* pixels,
                          const DecodedPicture& expected, bool coloursOnly) {
  std::ostringstream out;
  if (width != expected.width || height != expected.height) {
    out << "size " << width << "x" << height << ", expected " << expected.width << "x"
        << expected.height;
    return out.str();
  }
  const int bytes = bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* got = pixels + (static_cast<size_t>(y) * width + x) * bytes;
      const auto* want = reinterpret_cast<const uint8_t*>(expected.rgba.data()) +
                         (static_cast<size_t>(y) * width + x) * 4;
      const int alpha = bytes == 4 ? got[3] : 255;
      const bool sameColour = got[0] == want[0] && got[1] == want[1] && got[2] == want[2];
      const bool same = coloursOnly ? sameColour : alpha == want[3] && (want[3] == 0 || sameColour);
      if (!same) {
        out << "pixel (" << x << "," << y << ") is " << int{got[0]} << "," << int{got[1]} << ","
            << int{got[2]} << "," << alpha << ", expected " << int{want[0]} << "," << int{want[1]}
            << "," << int{want[2]} << "," << int{want[3]};
        return out.str();
      }
    }
  }
  return "";
}

}  // namespace velmora::testing
