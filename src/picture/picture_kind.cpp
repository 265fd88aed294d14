#include "picture/picture_kind.h"

#include "image/bmp_reader.h"
#include "image/gif_reader.h"
#include "image/jpeg_codec.h"
#include "image/png_codec.h"

namespace velmora {

namespace {

// One kind's content test and reader.
struct KindCodec {
  PictureKind kind;
  bool (*test)(const std::string& path);
  ReadStatus (*read)(const std::string& path, Picture& picture);
};

// In the order the content tests are tried.
constexpr KindCodec kCodecs[] = {
    {PictureKind::kBmp, &IsBmpFile, &ReadBmp},
    {PictureKind::kGif, &IsGifFile, &ReadGif},
    {PictureKind::kPng, &IsPngFile, &ReadPng},
    {PictureKind::kJpeg, &IsJpegFile, &ReadJpeg},
};

const KindCodec& CodecOf(PictureKind kind) { return kCodecs[static_cast<int>(kind)]; }

}  // namespace

std::optional<PictureKind> DetectPictureKind(const std::string& path) {
  for (const KindCodec& codec : kCodecs) {
    if (codec.test(path)) return codec.kind;
  }
  return std::nullopt;
}

bool HasContentOf(const std::string& path, PictureKind kind) { return CodecOf(kind).test(path); }

ReadStatus ReadPictureAs(const std::string& path, PictureKind kind, Picture& picture) {
  return CodecOf(kind).read(path, picture);
}

const char* ExtensionOf(PictureKind kind) {
  switch (kind) {
    case PictureKind::kBmp: return "bmp";
    case PictureKind::kGif: return "gif";
    case PictureKind::kPng: return "png";
    case PictureKind::kJpeg: return "jpg";
  }
  return "";
}

const char* NameOf(PictureKind kind) {
  switch (kind) {
    case PictureKind::kBmp: return "BMP";
    case PictureKind::kGif: return "GIF";
    case PictureKind::kPng: return "PNG";
    case PictureKind::kJpeg: return "JPEG";
  }
  return "";
}

}  // namespace velmora
