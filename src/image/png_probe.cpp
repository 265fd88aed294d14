#include "image/png_probe.h"

#include <cstring>

#include "platform/platform.h"

namespace velmora {

// Until the PNG reader is connected, the header probe alone decides.
bool IsCompletePng(const std::string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  unsigned char head[112];
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
  static const unsigned char kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  return std::memcmp(head, kSignature, 8) == 0 && std::memcmp(head + 12, "IHDR", 4) == 0;
}

}  // namespace velmora
