#include "support/independent_decoder.h"

#include <sstream>

#include "support/test_support.h"

namespace velmora::testing {

std::optional<DecodedPicture> DecodeWithPil(const std::string& path) {
  TempDir dir;
  const std::string raw = dir.File("pixels.rgba");
  // Debian's interpreter: the one that sees python3-pil.
  const std::string script = std::string(VELMORA_SOURCE_DIR) + "/tests/support/decode_with_pil.py";
  CommandResult result =
      RunCommand("/usr/bin/python3 " + ShellQuote(script) + " " + ShellQuote(path) + " " +
                 ShellQuote(raw) + " 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  DecodedPicture picture;
  std::istringstream line(result.out);
  line >> picture.width >> picture.height >> picture.frames >> picture.mode;
  picture.rgba = ReadFile(raw);
  if (picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4) {
    return std::nullopt;
  }
  return picture;
}

}  // namespace velmora::testing
