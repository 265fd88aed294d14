#include "image/embedded_picture.h"

namespace velmora {

const char* PictureExtension(int kind) {
  switch (kind) {
    case kKindBmp: return "bmp";
    case kKindGif: return "gif";
    case kKindPng: return "png";
    case kKindJpeg: return "jpg";
    default: return "";
  }
}

bool IsSmallerThanOriginal(int32_t rewrittenSize, int32_t originalSize) {
  return rewrittenSize > 0 && rewrittenSize < originalSize;
}

// No picture codec is connected yet: every picture is recognised as unknown and
// keeps its original bytes.
int DetectPictureKind(const std::string& /*path*/) { return 0; }

int ProcessEmbeddedPicture(EmbeddedPicture& /*picture*/, const ShrinkOptions& /*options*/,
                           CCreateLog& /*log*/, CTempFiles& /*temp*/) {
  return kKeepOriginal;
}

}  // namespace velmora
