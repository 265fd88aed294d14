#include "core/version.h"

#include <cstdio>

#include "build_config.h"
#include "core/text.h"

namespace velmora {

std::string VersionText(unsigned major, unsigned minor, unsigned build) {
  if (major == 0 && minor == 0) return "1.0";
  std::string text = Format("%u.%u", major, minor);
  if (build >= 1 && build <= 26) text += static_cast<char>('a' + build - 1);
  return text;
}

std::string GetVersionText() {
  return VersionText(VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR, VELMORA_VERSION_PATCH);
}

}  // namespace velmora
