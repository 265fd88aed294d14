#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/png_codec.h"
#include "image/png_libpng.h"
#include "platform/platform.h"

namespace velmora {

using namespace png_detail;

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

// Data written by the guarded read functions; plain values only (see their rule).
struct ReadHeader {
  png_uint_32 width = 0, height = 0;
  int passes = 0;
  // Channels the file delivers before grey is widened to RGB in libpng (1 or 2 for
  // grey, 0 for colour).
  int greyChannels = 0;
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
  // Grey is widened to RGB by libpng row by row, so that a grey picture never needs a
  // second full-size buffer.
  png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (transparency) png_set_tRNS_to_alpha(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    header->greyChannels = colourType == PNG_COLOR_TYPE_GRAY_ALPHA || transparency ? 2 : 1;
    png_set_gray_to_rgb(png);
  }
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

// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ReadRowGuarded(png_structp png, uint8_t* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

// setjmp rule: as above.
bool ReadEndGuarded(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, nullptr);
  return true;
}

// The limits every reader of this file applies before it allocates anything: a few
// header bytes must not make us allocate gigabytes.
bool HeaderAllowed(const ReadHeader& header) {
  return PictureSizeAllowed(header.width, header.height) && header.bitDepth == 8 &&
         (header.channels == 3 || header.channels == 4) &&
         header.rowBytes == static_cast<size_t>(header.width) * header.channels;
}

// A PNG read one row at a time in the picture form (RGB or RGBA), for checks that need
// every row decoded but none kept.
class PngRows {
 public:
  bool Open(const std::string& path) {
    // Any PNG, however short, as ReadPng takes it: a short file that claims a large
    // picture is then never decoded whole.
    if (!StartsLikePng(path, kMinimumPngBytes)) return false;
    file_ = platform::OpenFile(path, "rb");
    return file_ && handle_.ok() &&
           ReadHeaderGuarded(handle_.png(), handle_.info(), file_.get(), &header_) &&
           HeaderAllowed(header_) && header_.passes == 1;
  }
  int32_t Width() const { return static_cast<int32_t>(header_.width); }
  int32_t Height() const { return static_cast<int32_t>(header_.height); }
  int BytesPerPixel() const { return header_.channels; }
  size_t RowBytes() const { return header_.rowBytes; }
  bool Next(uint8_t* row) { return ReadRowGuarded(handle_.png(), row); }
  bool Finish() { return ReadEndGuarded(handle_.png()); }

 private:
  platform::UniqueFile file_;
  PngReadHandle handle_;
  ReadHeader header_;
};

// True when the rows show the same colours and alpha, alpha taken as opaque where a
// row has none.
bool SameRow(const uint8_t* a, int stepA, const uint8_t* b, int stepB, int32_t width) {
  for (int32_t x = 0; x < width; ++x, a += stepA, b += stepB) {
    if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) return false;
    if ((stepA == 4 ? a[3] : 255) != (stepB == 4 ? b[3] : 255)) return false;
  }
  return true;
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
  if (!HeaderAllowed(header)) return ReadStatus::kUnreadable;
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

  picture.pixels = std::move(buffer);
  picture.width = w;
  picture.height = h;
  picture.bitsPerPixel = static_cast<uint8_t>(header.channels * 8);
  picture.sourceBitsPerPixel = header.greyChannels > 0
                                   ? static_cast<uint8_t>(header.greyChannels * 8)
                                   : picture.bitsPerPixel;
  if (header.metricPhys) {
    picture.xResolution = static_cast<float>(header.xPerMetre * kMetresPerInch);
    picture.yResolution = static_cast<float>(header.yPerMetre * kMetresPerInch);
  }
  return complete ? ReadStatus::kComplete : ReadStatus::kPartial;
}

}  // namespace velmora

namespace velmora {

bool IsAnimatedPng(const std::string& path) {
  if (!StartsLikePng(path, kMinimumPngBytes)) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file || std::fseek(file.get(), sizeof kSignature, SEEK_SET) != 0) return false;
  // The animation control chunk must come before the image data; a file of endless
  // small chunks ends the walk at the bound instead of keeping it busy.
  constexpr int kMaxChunksBeforeData = 100000;
  for (int i = 0; i < kMaxChunksBeforeData; ++i) {
    uint8_t head[8];
    if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
    if (std::memcmp(head + 4, "acTL", 4) == 0) return true;
    if (std::memcmp(head + 4, "IDAT", 4) == 0) return false;
    const long length = (long{head[0]} << 24) | (long{head[1]} << 16) | (long{head[2]} << 8) |
                        long{head[3]};
    if (length > 0x7FFFFFFFL || std::fseek(file.get(), length + 4, SEEK_CUR) != 0) return false;
  }
  return false;
}

ReadStatus ScanPng(const std::string& path, int32_t& width, int32_t& height) {
  width = height = 0;
  PngRows rows;
  if (!rows.Open(path)) {
    // An interlaced file cannot be decoded row by row: it is read whole.
    Picture picture;
    const ReadStatus status = ReadPng(path, picture);
    width = picture.width;
    height = picture.height;
    return status;
  }
  std::vector<uint8_t> row(rows.RowBytes());
  width = rows.Width();
  height = rows.Height();
  for (int32_t y = 0; y < height; ++y) {
    if (!rows.Next(row.data())) return ReadStatus::kPartial;
  }
  return rows.Finish() ? ReadStatus::kComplete : ReadStatus::kPartial;
}

bool SamePngPixels(const std::string& a, const std::string& b) {
  PngRows first;
  PngRows second;
  if (!first.Open(a) || !second.Open(b)) {
    // Interlaced files are compared whole, one after the other decoded.
    Picture pa;
    Picture pb;
    if (ReadPng(b, pb) != ReadStatus::kComplete || ReadPng(a, pa) != ReadStatus::kComplete) {
      return false;
    }
    if (pa.width != pb.width || pa.height != pb.height) return false;
    const size_t stepA = pa.bitsPerPixel / 8, stepB = pb.bitsPerPixel / 8;
    for (int32_t y = 0; y < pa.height; ++y) {
      const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(pa.width);
      if (!SameRow(pa.pixels.get() + offset * stepA, static_cast<int>(stepA),
                   pb.pixels.get() + offset * stepB, static_cast<int>(stepB), pa.width)) {
        return false;
      }
    }
    return true;
  }
  if (first.Width() != second.Width() || first.Height() != second.Height()) return false;
  std::vector<uint8_t> rowA(first.RowBytes());
  std::vector<uint8_t> rowB(second.RowBytes());
  for (int32_t y = 0; y < first.Height(); ++y) {
    if (!first.Next(rowA.data()) || !second.Next(rowB.data())) return false;
    if (!SameRow(rowA.data(), first.BytesPerPixel(), rowB.data(), second.BytesPerPixel(),
                 first.Width())) {
      return false;
    }
  }
  return first.Finish() && second.Finish();
}

}  // namespace velmora
