#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>

#include "image/png_codec.h"
#include "image/png_libpng.h"
#include "platform/platform.h"

namespace velmora {

using namespace png_detail;

namespace {

// Data written by the guarded read functions; plain values only (see their rule).
struct ReadHeader {
  png_uint_32 width = 0, height = 0;
  int passes = 0;
  size_t rowBytes = 0;
  int channels = 0;
  int bitDepth = 0;
  bool metricPhys = false;
  png_uint_32 xPerMetre = 0, yPerMetre = 0;
};

struct RowProgress {
  int pass = 0;
  png_uint_32 row = 0;
  bool rowsDone = false;
};

// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ReadHeaderGuarded(png_structp png, png_infop info, std::FILE* file, ReadHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, 0);
  // libpng then refuses larger headers itself, before it allocates anything.
  png_set_user_limits(png, kMaxPictureDimension, kMaxPictureDimension);
  png_read_info(png, info);

  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &header->width, &header->height, &bitDepth, &colourType, &interlace,
               nullptr, nullptr);
  // The pixel form has 8-bit samples: 16-bit samples keep their high byte, palettes
  // and small grey depths are expanded, and a tRNS chunk becomes an alpha channel.
  // Grey stays grey here; it is widened to RGB after reading.
  png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
  header->passes = png_set_interlace_handling(png);

  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x, &y, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
    header->metricPhys = true;
    header->xPerMetre = x;
    header->yPerMetre = y;
  }

  png_read_update_info(png, info);
  header->rowBytes = png_get_rowbytes(png, info);
  header->channels = png_get_channels(png, info);
  header->bitDepth = png_get_bit_depth(png, info);
  return true;
}

// Rows of an interlaced picture are visited once per pass; libpng fills in the pixels
// of each pass.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ReadRowsGuarded(png_structp png, uint8_t* pixels, size_t rowBytes, png_uint_32 height,
                     int passes, RowProgress* progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < passes; ++pass) {
    progress->pass = pass;
    for (png_uint_32 y = 0; y < height; ++y) {
      progress->row = y;
      png_read_row(png, pixels + static_cast<size_t>(y) * rowBytes, nullptr);
    }
  }
  progress->rowsDone = true;
  png_read_end(png, nullptr);
  return true;
}

// Grey (8 bits per pixel) becomes RGB and grey-alpha (16) becomes RGBA.
PixelBuffer WidenGrey(const uint8_t* grey, int32_t width, int32_t height, int greyBytes) {
  const int outBytes = greyBytes == 1 ? 3 : 4;
  PixelBuffer wide = AllocatePixels(width, height, outBytes);
  if (!wide) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* in = grey + i * greyBytes;
    uint8_t* out = wide.get() + i * outBytes;
    out[0] = out[1] = out[2] = in[0];
    if (greyBytes == 2) out[3] = in[1];
  }
  return wide;
}

}  // namespace

namespace {

// The signature, and IHDR as the first chunk, within the first bytes of the file;
// false when the file is shorter than minimum.
bool StartsLikePng(const std::string& path, size_t minimum) {
  if (path.empty()) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  uint8_t head[kKindTestBytes];
  const size_t wanted = std::min(minimum, sizeof head);
  if (std::fread(head, 1, wanted, file.get()) != wanted) return false;
  return std::memcmp(head, kSignature, sizeof kSignature) == 0 &&
         std::memcmp(head + 12, "IHDR", 4) == 0;
}

}  // namespace

bool IsPngFile(const std::string& path) { return StartsLikePng(path, kKindTestBytes); }

ReadStatus ReadPng(const std::string& path, Picture& picture) {
  picture = Picture();
  // The reader takes any PNG, however short: the length rule belongs to the content
  // test that decides which embedded files are pictures, not to reading one.
  if (!StartsLikePng(path, kMinimumPngBytes)) return ReadStatus::kUnreadable;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return ReadStatus::kUnreadable;

  PngReadHandle handle;
  if (!handle.ok()) return ReadStatus::kUnreadable;
  ReadHeader header;
  // Without a header there is no picture at all, whatever libpng complained about.
  if (!ReadHeaderGuarded(handle.png(), handle.info(), file.get(), &header)) {
    return ReadStatus::kUnreadable;
  }
  // Limits before allocation: a few header bytes must not make us allocate gigabytes.
  if (!PictureSizeAllowed(header.width, header.height) || header.bitDepth != 8 ||
      header.channels < 1 || header.channels > 4 ||
      header.rowBytes != static_cast<size_t>(header.width) * header.channels) {
    return ReadStatus::kUnreadable;
  }
  const auto w = static_cast<int32_t>(header.width);
  const auto h = static_cast<int32_t>(header.height);
  // Zero-filled: libpng hands over only whole decoded rows, so rows that an error
  // kept it from reaching stay cleared.
  PixelBuffer buffer = AllocatePixels(w, h, header.channels);
  if (!buffer) return ReadStatus::kUnreadable;
  RowProgress progress;
  const bool complete = ReadRowsGuarded(handle.png(), buffer.get(), header.rowBytes, header.height,
                                        header.passes, &progress);
  if (!complete && !progress.rowsDone && header.passes == 1) {
    const size_t from = static_cast<size_t>(progress.row) * header.rowBytes;
    std::memset(buffer.get() + from, 0, static_cast<size_t>(h) * header.rowBytes - from);
  }

  const auto delivered = static_cast<uint8_t>(header.channels * 8);
  if (header.channels <= 2) {
    buffer = WidenGrey(buffer.get(), w, h, header.channels);
    if (!buffer) return ReadStatus::kUnreadable;
  }
  picture.pixels = std::move(buffer);
  picture.width = w;
  picture.height = h;
  picture.sourceBitsPerPixel = delivered;
  picture.bitsPerPixel = header.channels <= 2 ? static_cast<uint8_t>(delivered + 16) : delivered;
  if (header.metricPhys) {
    picture.xResolution = static_cast<float>(header.xPerMetre * kMetresPerInch);
    picture.yResolution = static_cast<float>(header.yPerMetre * kMetresPerInch);
  }
  return complete ? ReadStatus::kComplete : ReadStatus::kPartial;
}

}  // namespace velmora
