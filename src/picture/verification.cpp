#include "image/verify.h"

#include <algorithm>
#include <climits>
#include <type_traits>
#include <utility>

#include "core/options.h"
#include "core/text.h"
#include "image/bmp.h"
#include "image/bmp_header.h"
#include "image/gif.h"
#include "image/jpeg.h"
#include "image/jpeg_segments.h"
#include "image/picture_file.h"
#include "image/png.h"
#include "platform/platform.h"

namespace velmora {

namespace {

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

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
    if constexpr (std::is_same_v<Reader, CMyGIF>) shape.frames = reader.framesRead;
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
    case kKindGif: return ReadWith<CMyGIF>(path, kind);
    default: return {};
  }
}

PictureShape ReadOriginalShape(const std::string& path) {
  PictureShape shape;
  if (CMyBMP::IsBMP(path)) {
    PictureFile file;
    BmpHeader header;
    shape.kind = kKindBmp;
    shape.read = file.Open(path) && ReadBmpHeader(file, header);
    // A top-down bitmap stores its height negated; the most negative value has no
    // positive twin and is no size any reader decodes.
    const int64_t rows = header.height < 0 ? -int64_t{header.height} : header.height;
    shape.read = shape.read && rows <= INT32_MAX;
    shape.width = header.width;
    shape.height = static_cast<int32_t>(std::min<int64_t>(rows, INT32_MAX));
  } else if (CMyGIF::IsGIF(path)) {
    shape = ReadPictureShape(path, kKindGif);
  } else if (CMyPNG::IsPNG(path)) {
    // The content test has made sure that IHDR is the first chunk: its first eight
    // bytes are the width and the height, big-endian.
    uint8_t head[24];
    platform::UniqueFile file = platform::OpenFile(path, "rb");
    shape.kind = kKindPng;
    shape.read = file && std::fread(head, 1, sizeof head, file.get()) == sizeof head;
    shape.width = static_cast<int32_t>(LoadBe32(head + 16));
    shape.height = static_cast<int32_t>(LoadBe32(head + 20));
  } else if (CMyJPEG::IsJPEG(path)) {
    std::string bytes;
    uint32_t width = 0, height = 0;
    shape.kind = kKindJpeg;
    shape.read = ReadWholeFile(path, bytes) && FindJpegFrameSize(bytes, width, height);
    shape.width = static_cast<int32_t>(width);
    shape.height = static_cast<int32_t>(height);
  }
  if (shape.read && shape.kind != kKindGif) shape.status = 0;
  return shape;
}

Verification VerifyRewrittenPicture(const std::string& original, const std::string& rewritten,
                                    int outputKind) {
  if (outputKind != kKindGif && outputKind != kKindPng && outputKind != kKindJpeg) {
    return {false, Format("no reader for output kind %d", outputKind)};
  }
  // The original only has to be readable enough to give its size: a damaged original
  // that picture processing chose to rewrite is still compared by its dimensions.
  const PictureShape before = ReadOriginalShape(original);
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
