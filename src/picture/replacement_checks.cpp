#include "image/png_probe.h"

#include <cstddef>

#include "image/png.h"

namespace velmora {

namespace {

bool ReadComplete(const std::string& path, CMyPNG& png) {
  int status = 2;
  return png.Read(path, status) && status == 0;
}

// The pixels compared as RGBA; a 24-bit picture counts as opaque. The two may differ
// in form, since an optimiser is free to drop an alpha channel that is 255
// everywhere or to add one for a colour key.
bool SamePixels(const CMyPNG& a, const CMyPNG& b) {
  if (a.width != b.width || a.height != b.height || !a.pixels || !b.pixels) return false;
  const size_t count = static_cast<size_t>(a.width) * static_cast<size_t>(a.height);
  const size_t stepA = a.bitsPerPixel / 8;
  const size_t stepB = b.bitsPerPixel / 8;
  if ((stepA != 3 && stepA != 4) || (stepB != 3 && stepB != 4)) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = a.pixels.get() + i * stepA;
    const uint8_t* q = b.pixels.get() + i * stepB;
    if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) return false;
    const uint8_t alphaA = stepA == 4 ? p[3] : 255;
    const uint8_t alphaB = stepB == 4 ? q[3] : 255;
    if (alphaA != alphaB) return false;
  }
  return true;
}

}  // namespace

bool IsCompletePng(const std::string& path) {
  CMyPNG png;
  return ReadComplete(path, png);
}

bool IsLosslessPngReplacement(const std::string& original, const std::string& candidate) {
  CMyPNG before;
  CMyPNG after;
  return ReadComplete(candidate, after) && ReadComplete(original, before) &&
         SamePixels(before, after);
}

}  // namespace velmora
