#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "image/png_codec.h"
#include "image/png_libpng.h"
#include "platform/platform.h"

namespace velmora {

using namespace png_detail;

namespace {

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
  if (job->chunks != nullptr) SetAcceptedChunks(png, info, *job->chunks, *job->record);
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

bool WritePng(const std::string& output, const Picture& picture, const std::string& source,
              int zlibLevel) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (!picture.pixels || !PictureSizeAllowed(picture.width, picture.height) ||
      (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32)) {
    return false;
  }
  const bool alpha = picture.bitsPerPixel == 32;
  WriteJob job;
  job.width = static_cast<png_uint_32>(picture.width);
  job.height = static_cast<png_uint_32>(picture.height);
  job.colourType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  job.zlibLevel = zlibLevel;
  job.sbit = true;
  job.alpha = alpha;
  SetResolution(picture.xResolution, picture.yResolution, job);
  job.rows = picture.pixels.get();
  job.stride = static_cast<size_t>(picture.width) * (picture.bitsPerPixel / 8);
  if (!WritePngFile(output, source, job)) return false;
  remover.Keep();
  return true;
}

bool WriteQuantisedPng(const std::string& output, const Picture& picture,
                       const std::string& source, int zlibLevel,
                       const QuantiseSettings& settings) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (!picture.pixels || !PictureSizeAllowed(picture.width, picture.height)) return false;
  QuantisedPicture quantised;
  {
    // RGBA pixels go to the quantiser as they are; only RGB ones need an RGBA copy.
    PixelBuffer rgba;
    if (picture.bitsPerPixel != 32) {
      rgba = ExpandToRgba(picture.pixels.get(), picture.PixelCount(), picture.bitsPerPixel);
      if (!rgba) return false;
    }
    const uint8_t* pixels = rgba ? rgba.get() : picture.pixels.get();
    if (!QuantiseRgba(pixels, picture.width, picture.height, settings, quantised)) return false;
  }
  PaletteImage image;
  image.indices = quantised.indices.get();
  image.width = picture.width;
  image.height = picture.height;
  image.paletteCount = quantised.paletteCount;
  image.triples = quantised.triples;
  image.alpha = quantised.transparent ? quantised.alpha : nullptr;
  image.xResolution = picture.xResolution;
  image.yResolution = picture.yResolution;
  if (!WritePalettePng(output, image, source, zlibLevel)) return false;
  remover.Keep();
  return true;
}

bool WritePalettePng(const std::string& output, const PaletteImage& image,
                     const std::string& source, int zlibLevel) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (image.indices == nullptr || image.triples == nullptr ||
      !PictureSizeAllowed(image.width, image.height) || image.paletteCount < 1 ||
      image.paletteCount > 256) {
    return false;
  }
  png_color palette[256];
  for (int i = 0; i < image.paletteCount; ++i) {
    palette[i].red = image.triples[i * 3];
    palette[i].green = image.triples[i * 3 + 1];
    palette[i].blue = image.triples[i * 3 + 2];
  }
  WriteJob job;
  job.width = static_cast<png_uint_32>(image.width);
  job.height = static_cast<png_uint_32>(image.height);
  job.colourType = PNG_COLOR_TYPE_PALETTE;
  job.zlibLevel = zlibLevel;
  job.palette = palette;
  job.paletteCount = image.paletteCount;
  job.paletteAlpha = image.alpha;
  SetResolution(image.xResolution, image.yResolution, job);
  job.rows = image.indices;
  job.stride = static_cast<size_t>(image.width);
  if (!WritePngFile(output, source, job)) return false;
  remover.Keep();
  return true;
}

uint32_t CountColours(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel) {
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

PixelBuffer ExpandToRgba(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel) {
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
