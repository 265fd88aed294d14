#include "core/version.h"

#include <cstdio>

#include <jpeglib.h>

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

std::string JpegLibraryText() {
#if VELMORA_HAVE_MOZJPEG
  return "mozjpeg";
#elif defined(LIBJPEG_TURBO_VERSION)
#define VELMORA_STRINGIFY2(x) #x
#define VELMORA_STRINGIFY(x) VELMORA_STRINGIFY2(x)
  return "libjpeg-turbo " VELMORA_STRINGIFY(LIBJPEG_TURBO_VERSION);
#else
  return Format("libjpeg %d", JPEG_LIB_VERSION);
#endif
}

}  // namespace velmora
