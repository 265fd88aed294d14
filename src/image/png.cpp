#include "image/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/platform.h"
#include "tools/optimisers.h"

namespace velmora {

namespace {

constexpr size_t kKindTestBytes = 112;
constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// zlib gets one large buffer, so that a picture's data leaves in few IDAT chunks.
constexpr size_t kCompressionBufferBytes = 1048576;
constexpr double kInchesPerMetre = 39.37008;
constexpr double kMetresPerInch = 0.0254;
// Each failing pass of the chunk probe settles one of the four items for good, so
// five passes always suffice; the bound only guards against a libpng that changes
// its answers between passes (nothing is copied then).
constexpr int kMaxProbePasses = 5;

// A damaged picture is an expected input whose outcome the caller judges, so libpng
// says nothing on the console. Errors return to the active setjmp point.
void SilentWarning(png_structp, png_const_charp) {}
void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

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

// Removes a writer's output file unless the write completed. The caller judges a
// rewritten picture by its file size alone, so a partly written file must not stay.
// Declared before the output's UniqueFile, so the file is closed before removal.
class OutputRemover {
 public:
  explicit OutputRemover(const std::string& path) : path_(path) {}
  ~OutputRemover() {
    if (!kept_) platform::RemoveFile(path_);
  }
  OutputRemover(const OutputRemover&) = delete;
  OutputRemover& operator=(const OutputRemover&) = delete;
  void Keep() { kept_ = true; }

 private:
  const std::string& path_;
  bool kept_ = false;
};

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

// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ReadInfoGuarded(png_structp png, png_infop info, std::FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  return true;
}

// Reads the source's chunks up to its image data. False when the source cannot be
// read that far: then none of its chunks can be trusted.
bool ReadColourChunks(const std::string& source, ColourChunks& chunks) {
  platform::UniqueFile file = platform::OpenFile(source, "rb");
  if (!file) return false;
  PngReadHandle handle;
  if (!handle.ok() || !ReadInfoGuarded(handle.png(), handle.info(), file.get())) return false;
  png_structp png = handle.png();
  png_infop info = handle.info();
  png_fixed_point* c = chunks.chrm;
  chunks.hasChrm =
      png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
  chunks.hasGama = png_get_gAMA_fixed(png, info, &chunks.gama) != 0;
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && name != nullptr &&
      profile != nullptr) {
    chunks.hasIccp = true;
    chunks.iccpName = name;
    chunks.iccpCompression = compression;
    chunks.iccpProfile.assign(profile, profile + length);
  }
  chunks.hasSrgb = png_get_sRGB(png, info, &chunks.srgbIntent) != 0;
  return true;
}

enum ChunkItem { kChrm, kGama, kIccp, kSrgb, kItemCount };

int32_t& ItemState(ChunkCopyRecord& record, int item) {
  switch (item) {
    case kChrm: return record.cHRM;
    case kGama: return record.gAMA;
    case kIccp: return record.iCCP;
    default: return record.sRGB;
  }
}

// Hands one item to the write side when the source has it; may raise a libpng error,
// so it is called only from guarded functions.
void SetChunk(png_structp png, png_infop info, const ColourChunks& chunks, int item) {
  switch (item) {
    case kChrm:
      if (chunks.hasChrm) {
        const png_fixed_point* c = chunks.chrm;
        png_set_cHRM_fixed(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
      }
      break;
    case kGama:
      if (chunks.hasGama) png_set_gAMA_fixed(png, info, chunks.gama);
      break;
    case kIccp:
      if (chunks.hasIccp) {
        png_set_iCCP(png, info, chunks.iccpName.c_str(), chunks.iccpCompression,
                     chunks.iccpProfile.data(),
                     static_cast<png_uint_32>(chunks.iccpProfile.size()));
      }
      break;
    case kSrgb:
      if (chunks.hasSrgb) png_set_sRGB(png, info, chunks.srgbIntent);
      break;
    default: break;
  }
}

// The record lives in the caller, so the item that was being tried when libpng
// refused it is still marked kTrying afterwards.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool TryChunksGuarded(png_structp png, png_infop info, const ColourChunks* chunks,
                      ChunkCopyRecord* record) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int item = 0; item < kItemCount; ++item) {
    int32_t& state = ItemState(*record, item);
    // An item that ended the previous pass failed. A failed item is not tried again:
    // it would only fail again, and each retry would double the passes. Accepted
    // items are set again, because a later item may be judged against them (sRGB
    // against cHRM and gAMA).
    if (state == ChunkCopyRecord::kTrying) state = ChunkCopyRecord::kFailed;
    if (state == ChunkCopyRecord::kFailed) continue;
    state = ChunkCopyRecord::kTrying;
    SetChunk(png, info, *chunks, item);
    state = ChunkCopyRecord::kAccepted;
  }
  return true;
}

// A 128 × 128 RGBA header: the colour type decides which profiles libpng accepts,
// and RGB, RGBA and palette are judged alike.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ProbeSetupGuarded(png_structp png, png_infop info, std::FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, 1);
  png_set_compression_buffer_size(png, kCompressionBufferBytes);
  png_init_io(png, file);
  png_set_IHDR(png, info, 128, 128, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  return true;
}

// Runs probing passes until one completes and reads the chunks to copy. False when
// nothing is to be copied.
bool PrepareChunkCopy(const std::string& output, const std::string& source, ChunkCopyRecord& record,
                      ColourChunks& chunks) {
  record = ChunkCopyRecord();
  int passes = 1;
  while (!CMyPNG::ProbeCopyableChunks(output, source, record)) {
    if (++passes > kMaxProbePasses) return false;
  }
  if (record.probe != ChunkCopyRecord::kAccepted || source.empty() || !CMyPNG::IsPNG(source)) {
    return false;
  }
  return ReadColourChunks(source, chunks);
}

// Everything one write needs; plain values and pointers only (see WriteGuarded).
struct WriteJob {
  png_uint_32 width = 0, height = 0;
  int colourType = 0;
  int zlibLevel = 9;
  const ColourChunks* chunks = nullptr;  // null: copy nothing
  const ChunkCopyRecord* record = nullptr;
  const png_color* palette = nullptr;
  int paletteCount = 0;
  const png_byte* paletteAlpha = nullptr;
  bool sbit = false;
  bool alpha = false;
  bool phys = false;
  png_uint_32 xPerMetre = 0, yPerMetre = 0;
  const uint8_t* rows = nullptr;
  size_t stride = 0;
};

// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool WriteGuarded(png_structp png, png_infop info, std::FILE* file, const WriteJob* job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, job->zlibLevel);
  png_set_compression_buffer_size(png, kCompressionBufferBytes);
  png_init_io(png, file);
  png_set_IHDR(png, info, job->width, job->height, 8, job->colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job->chunks != nullptr) {
    ChunkCopyRecord record = *job->record;
    for (int item = 0; item < kItemCount; ++item) {
      if (ItemState(record, item) == ChunkCopyRecord::kAccepted) {
        SetChunk(png, info, *job->chunks, item);
      }
    }
  }
  if (job->palette != nullptr) {
    png_set_PLTE(png, info, job->palette, job->paletteCount);
    if (job->paletteAlpha != nullptr) {
      png_set_tRNS(png, info, job->paletteAlpha, job->paletteCount, nullptr);
    }
  }
  if (job->sbit) {
    png_color_8 bits{};
    bits.red = bits.green = bits.blue = 8;
    bits.alpha = job->alpha ? 8 : 0;
    png_set_sBIT(png, info, &bits);
  }
  if (job->phys) png_set_pHYs(png, info, job->xPerMetre, job->yPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < job->height; ++y) {
    png_write_row(png, job->rows + static_cast<size_t>(y) * job->stride);
  }
  png_write_end(png, nullptr);
  return true;
}

// Writes the job to the output with the chunks the probe accepted from the source.
// The caller's OutputRemover takes the file away when this fails.
bool WritePngFile(const std::string& output, const std::string& source, WriteJob& job) {
  ChunkCopyRecord record;
  ColourChunks chunks;
  if (PrepareChunkCopy(output, source, record, chunks)) {
    job.chunks = &chunks;
    job.record = &record;
  }
  platform::UniqueFile file = platform::OpenFile(output, "wb");
  if (!file) return false;
  PngWriteHandle handle;
  if (!handle.ok() || !WriteGuarded(handle.png(), handle.info(), file.get(), &job)) return false;
  // Data still buffered in the stream can fail to reach the disk as well.
  return std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
}

// Pixels per metre for a resolution in dots per inch, rounded; false when there is
// no usable value (a PNG stores at most 2^31 - 1).
bool PerMetre(float dpi, png_uint_32& perMetre) {
  if (!(dpi > 0)) return false;
  const double value = static_cast<double>(dpi) * kInchesPerMetre + 0.5;
  if (!(value >= 1.0 && value < 2147483648.0)) return false;
  perMetre = static_cast<png_uint_32>(value);
  return true;
}

void SetResolution(float xDpi, float yDpi, WriteJob& job) {
  job.phys = PerMetre(xDpi, job.xPerMetre) && PerMetre(yDpi, job.yPerMetre);
}

// Writing a file onto its own source would truncate the source before its chunks
// are read.
bool IsOwnSource(const std::string& output, const std::string& source) {
  return !source.empty() && platform::SameFile(output, source);
}

}  // namespace

bool CMyPNG::IsPNG(const std::string& path) {
  if (path.empty()) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  uint8_t head[kKindTestBytes];
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
  return std::memcmp(head, kSignature, sizeof kSignature) == 0 &&
         std::memcmp(head + 12, "IHDR", 4) == 0;
}

bool CMyPNG::Read(const std::string& path, int& status) {
  status = 2;
  if (!IsPNG(path)) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  pixels.reset();
  width = height = 0;
  bitsPerPixel = sourceBitsPerPixel = 0;
  xResolution = yResolution = 0;

  PngReadHandle handle;
  if (!handle.ok()) return false;
  ReadHeader header;
  // Without a header there is no picture at all, whatever libpng complained about.
  if (!ReadHeaderGuarded(handle.png(), handle.info(), file.get(), &header)) return false;
  // Limits before allocation: a few header bytes must not make us allocate gigabytes.
  if (!PictureSizeAllowed(header.width, header.height) || header.bitDepth != 8 ||
      header.channels < 1 || header.channels > 4 ||
      header.rowBytes != static_cast<size_t>(header.width) * header.channels) {
    return false;
  }
  const auto w = static_cast<int32_t>(header.width);
  const auto h = static_cast<int32_t>(header.height);
  // Zero-filled: libpng hands over only whole decoded rows, so rows that an error
  // kept it from reaching stay cleared.
  PixelBuffer buffer = AllocatePixels(w, h, header.channels);
  if (!buffer) return false;
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
    if (!buffer) return false;
  }
  pixels = std::move(buffer);
  width = w;
  height = h;
  sourceBitsPerPixel = delivered;
  bitsPerPixel = header.channels <= 2 ? static_cast<uint8_t>(delivered + 16) : delivered;
  if (header.metricPhys) {
    xResolution = static_cast<float>(header.xPerMetre * kMetresPerInch);
    yResolution = static_cast<float>(header.yPerMetre * kMetresPerInch);
  }
  status = complete ? 0 : 1;
  return true;
}

bool CMyPNG::SavePNG(const std::string& output, const std::string& source, bool extraOptimisers,
                     CTempFiles& temp, bool forceQuantisation) {
  // The external optimiser recompresses anyway, so zlib then only needs to be fast.
  const bool optimise = extraOptimisers && IsExecutableFile(ZopflipngPath());
  const int zlibLevel = optimise ? 1 : 9;
  bool written = false;
  if (forceQuantisation) {
    written = WritePNGquant(output, source, zlibLevel);
  } else if (bitsPerPixel < 24) {
    written = WritePNG(output, source, zlibLevel);
  } else {
    const size_t count = static_cast<size_t>(width > 0 ? width : 0) * (height > 0 ? height : 0);
    if (CountColours(pixels.get(), count, bitsPerPixel) > kMaxPaletteCandidateColours) {
      written = WritePNG(output, source, zlibLevel);
    } else {
      written = WritePNGquant(output, source, zlibLevel);
    }
  }
  // A failed write has removed its output; there is nothing to optimise then.
  if (optimise && written) OptimisePng(output, temp);
  return written;
}

bool CMyPNG::WritePNG(const std::string& output, const std::string& source, int zlibLevel) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (!pixels || !PictureSizeAllowed(width, height) || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
    return false;
  }
  WriteJob job;
  job.width = static_cast<png_uint_32>(width);
  job.height = static_cast<png_uint_32>(height);
  job.colourType = bitsPerPixel == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  job.zlibLevel = zlibLevel;
  job.sbit = true;
  job.alpha = bitsPerPixel == 32;
  SetResolution(xResolution, yResolution, job);
  job.rows = pixels.get();
  job.stride = static_cast<size_t>(width) * (bitsPerPixel / 8);
  if (!WritePngFile(output, source, job)) return false;
  remover.Keep();
  return true;
}

bool CMyPNG::WritePNGquant(const std::string& output, const std::string& source, int zlibLevel,
                           const QuantiseSettings& settings) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (!pixels || !PictureSizeAllowed(width, height)) return false;
  QuantisedPicture quantised;
  {
    PixelBuffer rgba =
        ExpandToRGBA(pixels.get(), static_cast<size_t>(width) * height, bitsPerPixel);
    if (!rgba || !QuantiseRgba(rgba.get(), width, height, settings, quantised)) return false;
  }
  if (!WritePalettePNG(output, quantised.indices.get(), width, height, quantised.paletteCount,
                       quantised.triples, quantised.transparent ? quantised.alpha : nullptr, source,
                       zlibLevel)) {
    return false;
  }
  remover.Keep();
  return true;
}

bool CMyPNG::WritePalettePNG(const std::string& output, const uint8_t* indices, int32_t indexWidth,
                             int32_t indexHeight, int paletteCount, const uint8_t* triples,
                             const uint8_t* alpha, const std::string& source, int zlibLevel) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (indices == nullptr || triples == nullptr || !PictureSizeAllowed(indexWidth, indexHeight) ||
      paletteCount < 1 || paletteCount > 256) {
    return false;
  }
  png_color palette[256];
  for (int i = 0; i < paletteCount; ++i) {
    palette[i].red = triples[i * 3];
    palette[i].green = triples[i * 3 + 1];
    palette[i].blue = triples[i * 3 + 2];
  }
  WriteJob job;
  job.width = static_cast<png_uint_32>(indexWidth);
  job.height = static_cast<png_uint_32>(indexHeight);
  job.colourType = PNG_COLOR_TYPE_PALETTE;
  job.zlibLevel = zlibLevel;
  job.palette = palette;
  job.paletteCount = paletteCount;
  job.paletteAlpha = alpha;
  SetResolution(xResolution, yResolution, job);
  job.rows = indices;
  job.stride = static_cast<size_t>(indexWidth);
  if (!WritePngFile(output, source, job)) return false;
  remover.Keep();
  return true;
}

bool CMyPNG::ProbeCopyableChunks(const std::string& output, const std::string& source,
                                 ChunkCopyRecord& record) {
  platform::UniqueFile file = platform::OpenFile(output, "wb");
  if (!file) {
    record.probe = ChunkCopyRecord::kFailed;
    return true;
  }
  record.probe = ChunkCopyRecord::kAccepted;
  PngWriteHandle handle;
  if (!handle.ok() || !ProbeSetupGuarded(handle.png(), handle.info(), file.get())) {
    record.probe = ChunkCopyRecord::kFailed;
    return true;
  }
  if (source.empty() || !IsPNG(source)) return true;
  ColourChunks chunks;
  if (!ReadColourChunks(source, chunks)) {
    // A source that libpng cannot read up to its image data gives no chunks at all.
    for (int item = 0; item < kItemCount; ++item) {
      ItemState(record, item) = ChunkCopyRecord::kFailed;
    }
    return true;
  }
  return TryChunksGuarded(handle.png(), handle.info(), &chunks, &record);
}

uint32_t CMyPNG::CountColours(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel) {
  if (pixels == nullptr || pixelCount == 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return 0;
  // One mark per possible RGB value: one pass over the pixels, whatever their colours.
  std::unique_ptr<uint8_t[]> marks(new (std::nothrow) uint8_t[size_t{1} << 24]());
  if (!marks) return UINT32_MAX;
  const size_t step = static_cast<size_t>(bitsPerPixel / 8);
  uint32_t colours = 0;
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint8_t* p = pixels + i * step;
    const uint32_t key = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    if (marks[key] == 0) {
      marks[key] = 1;
      ++colours;
    }
  }
  return colours;
}

PixelBuffer CMyPNG::ExpandToRGBA(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel) {
  // The count bound keeps pixelCount × 4 from overflowing.
  if (pixels == nullptr || pixelCount == 0 || pixelCount > static_cast<size_t>(kMaxPicturePixels) ||
      (bitsPerPixel != 24 && bitsPerPixel != 32)) {
    return nullptr;
  }
  PixelBuffer rgba(new (std::nothrow) uint8_t[pixelCount * 4]);
  if (!rgba) return nullptr;
  if (bitsPerPixel == 32) {
    std::memcpy(rgba.get(), pixels, pixelCount * 4);
    return rgba;
  }
  for (size_t i = 0; i < pixelCount; ++i) {
    std::memcpy(rgba.get() + i * 4, pixels + i * 3, 3);
    rgba[i * 4 + 3] = 255;
  }
  return rgba;
}

}  // namespace velmora
