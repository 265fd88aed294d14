#pragma once
// What the PNG reader, writer and chunk copier share: libpng's handles with their
// error handling, and the colour-space chunks copied from a source PNG. Only the PNG
// files of this folder include it; everything else uses png_codec.h.

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/png_codec.h"

namespace velmora::png_detail {

inline constexpr size_t kKindTestBytes = 112;
// Signature, IHDR, IDAT and IEND: no PNG is shorter.
inline constexpr size_t kMinimumPngBytes = 8 + 25 + 12 + 12;
inline constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// zlib gets one large buffer, so that a picture's data leaves in few IDAT chunks.
inline constexpr size_t kCompressionBufferBytes = 1048576;
inline constexpr double kInchesPerMetre = 39.37008;
inline constexpr double kMetresPerInch = 0.0254;
// Each failing pass of the chunk probe settles one of the four items for good, so
// five passes always suffice; the bound only guards against a libpng that changes
// its answers between passes (nothing is copied then).
inline constexpr int kMaxProbePasses = 5;

// A damaged picture is an expected input whose outcome the caller judges, so libpng
// says nothing on the console. Errors return to the active setjmp point.
inline void SilentWarning(png_structp, png_const_charp) {}
inline void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

class PngReadHandle {
 public:
  PngReadHandle()
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, SilentWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {}
  ~PngReadHandle() {
    if (png_ != nullptr) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReadHandle(const PngReadHandle&) = delete;
  PngReadHandle& operator=(const PngReadHandle&) = delete;
  bool ok() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

class PngWriteHandle {
 public:
  PngWriteHandle()
      : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, SilentWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {}
  ~PngWriteHandle() {
    if (png_ != nullptr) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriteHandle(const PngWriteHandle&) = delete;
  PngWriteHandle& operator=(const PngWriteHandle&) = delete;
  bool ok() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

// The colour-space chunks of a source PNG, copied out of libpng's structures.
struct ColourChunks {
  bool hasChrm = false;
  png_fixed_point chrm[8] = {};  // white x, y; red x, y; green x, y; blue x, y
  bool hasGama = false;
  png_fixed_point gama = 0;
  bool hasIccp = false;
  std::string iccpName;
  int iccpCompression = 0;
  std::vector<png_byte> iccpProfile;
  bool hasSrgb = false;
  int srgbIntent = 0;
};

// Reads the source's chunks up to its image data. False when the source cannot be
// read that far: then none of its chunks can be trusted.
bool ReadColourChunks(const std::string& source, ColourChunks& chunks);

// Runs probing passes until one completes and reads the chunks to copy. False when
// nothing is to be copied.
bool PrepareChunkCopy(const std::string& output, const std::string& source,
                      ChunkCopyRecord& record, ColourChunks& chunks);

// Hands the chunks the record accepted to the write side. May raise a libpng error,
// so it is called only from a guarded function.
void SetAcceptedChunks(png_structp png, png_infop info, const ColourChunks& chunks,
                       const ChunkCopyRecord& record);

}  // namespace velmora::png_detail
