#include "image/verify.h"

#include <utility>

#include "core/options.h"
#include "core/text.h"
#include "image/bmp.h"
#include "image/gif.h"
#include "image/jpeg.h"
#include "image/png.h"

namespace velmora {

namespace {

// Each reader lives only for the call, so its pixels are freed before the next file is
// read: verification never holds two decoded pictures at once.
template <typename Reader>
PictureShape ReadWith(const std::string& path, int kind) {
  Reader reader;
  PictureShape shape;
  shape.kind = kind;
  int status = 2;
  shape.read = reader.Read(path, status);
  shape.status = status;
  if (shape.read) {
    shape.width = reader.width;
    shape.height = reader.height;
  }
  return shape;
}

const char* KindName(int kind) {
  switch (kind) {
    case kKindBmp: return "BMP";
    case kKindGif: return "GIF";
    case kKindPng: return "PNG";
    case kKindJpeg: return "JPEG";
    default: return "unknown";
  }
}

}  // namespace

PictureShape ReadPictureShape(const std::string& path, int kind) {
  switch (kind) {
    case kKindBmp: return ReadWith<CMyBMP>(path, kind);
    case kKindPng: return ReadWith<CMyPNG>(path, kind);
    case kKindJpeg: return ReadWith<CMyJPEG>(path, kind);
    case kKindGif: {
      CMyGIF gif;
      PictureShape shape;
      shape.kind = kKindGif;
      int status = 2;
      shape.read = gif.Read(path, status);
      shape.status = status;
      if (shape.read) {
        shape.width = gif.width;
        shape.height = gif.height;
        shape.frames = gif.frameCount;
      }
      return shape;
    }
    default: return {};
  }
}

PictureShape ReadPictureShapeByContent(const std::string& path) {
  if (CMyBMP::IsBMP(path)) return ReadPictureShape(path, kKindBmp);
  if (CMyGIF::IsGIF(path)) return ReadPictureShape(path, kKindGif);
  if (CMyPNG::IsPNG(path)) return ReadPictureShape(path, kKindPng);
  if (CMyJPEG::IsJPEG(path)) return ReadPictureShape(path, kKindJpeg);
  return {};
}

Verification VerifyRewrittenPicture(const std::string& original, const std::string& rewritten,
                                    int outputKind) {
  if (outputKind != kKindGif && outputKind != kKindPng && outputKind != kKindJpeg) {
    return {false, Format("no reader for output kind %d", outputKind)};
  }
  // The original only has to be readable enough to give its size: a damaged original
  // that picture processing chose to rewrite is still compared by its dimensions.
  const PictureShape before = ReadPictureShapeByContent(original);
  if (!before.read) return {false, "original cannot be read for comparison"};

  const PictureShape after = ReadPictureShape(rewritten, outputKind);
  const char* name = KindName(outputKind);
  if (!after.read || after.status != 0) {
    return {false, Format("%s reader status %d", name, after.status)};
  }
  if (after.width != before.width || after.height != before.height) {
    return {false, Format("%s is %dx%d, original %dx%d", name, after.width, after.height,
                          before.width, before.height)};
  }
  // An animation flattened into one frame, or a frame lost on the way, damages the
  // document even when the size is right.
  if (before.kind == kKindGif && before.frames > 1 && after.frames != before.frames) {
    return {false, Format("%s has %d frame(s), original %d", name, after.frames, before.frames)};
  }
  return {true, {}};
}

PictureProcessor WithVerification(PictureProcessor process) {
  return [process = std::move(process)](EmbeddedPicture& picture, const ShrinkOptions& options,
                                        CCreateLog& log, CTempFiles& temp) -> int {
    const int kind = process(picture, options, log, temp);
    if (kind == kKeepOriginal) return kind;
    // A file that is not smaller is never used by the document processors, so reading
    // it would only cost time.
    if (!IsSmallerThanOriginal(GetFileSize32(picture.outputPath), picture.originalSize)) {
      return kind;
    }
    const Verification result =
        VerifyRewrittenPicture(picture.sourcePath, picture.outputPath, kind);
    if (result.passed) return kind;
    log.Write(Format("rewritten file failed verification (%s), original file is to be written",
                     result.reason.c_str()),
              true);
    return kKeepOriginal;
  };
}

}  // namespace velmora
