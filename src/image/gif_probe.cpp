#include "image/gif_probe.h"

namespace velmora {

bool IsCompleteGifLike(const std::string& path, const CMyGIF& original) {
  CMyGIF candidate;
  int status = 2;
  return candidate.Read(path, status) && status == 0 && candidate.width == original.width &&
         candidate.height == original.height && candidate.framesRead == original.framesRead;
}

}  // namespace velmora
