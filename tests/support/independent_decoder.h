#pragma once
// Pictures decoded by Pillow (Debian's python3-pil), for differential tests of the
// readers.

#include <optional>
#include <string>

namespace velmora::testing {

struct DecodedPicture {
  int width = 0;
  int height = 0;
  int frames = 1;
  std::string mode;  // Pillow's mode of the file ("RGB", "P", "RGBA", ...)
  std::string rgba;  // width × height × 4 bytes
};

// The first frame of the picture as Pillow decodes it; nullopt when Pillow refuses it.
std::optional<DecodedPicture> DecodeWithPil(const std::string& path);

}  // namespace velmora::testing
