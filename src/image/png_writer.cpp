#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "image/png_codec.h"
#include "image/png_encoder.h"
#include "image/png_libpng.h"
#include "platform/platform.h"

namespace velmora {

using namespace png_detail;

namespace {

// Removes a writer's output file unless the write completed. The caller judges a
// rewritten picture by its file size alone, so a partly written file must not stay.
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

// What the header chunks need; plain values and pointers only (see WriteHeaderGuarded).
struct HeaderJob {
  const PngImage* image = nullptr;
  const ColourChunks* chunks = nullptr;  // null: copy nothing
  const ChunkCopyRecord* record = nullptr;
  bool phys = false;
  png_uint_32 xPerMetre = 0, yPerMetre = 0;
  std::string* bytes = nullptr;  // where libpng's output goes
};

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  auto* bytes = static_cast<std::string*>(png_get_io_ptr(png));
  bytes->append(reinterpret_cast<const char*>(data), length);
}

void FlushNothing(png_structp) {}

// libpng writes the signature and every chunk in front of the image data (IHDR, PLTE,
// tRNS, the colour-space chunks it accepts, pHYs); the image data is compressed here.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool WriteHeaderGuarded(png_structp png, png_infop info, const HeaderJob* job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, job->bytes, AppendToString, FlushNothing);
  const PngImage& image = *job->image;
  png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job->chunks != nullptr) SetAcceptedChunks(png, info, *job->chunks, *job->record);
  if (image.colourType == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[256];
    const int count = static_cast<int>(image.palette.size() / 3);
    for (int i = 0; i < count; ++i) {
      palette[i].red = image.palette[static_cast<size_t>(i) * 3];
      palette[i].green = image.palette[static_cast<size_t>(i) * 3 + 1];
      palette[i].blue = image.palette[static_cast<size_t>(i) * 3 + 2];
    }
    png_set_PLTE(png, info, palette, count);
    if (!image.paletteAlpha.empty()) {
      png_set_tRNS(png, info, image.paletteAlpha.data(),
                   static_cast<int>(image.paletteAlpha.size()), nullptr);
    }
  }
  if (job->phys) png_set_pHYs(png, info, job->xPerMetre, job->yPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  return true;
}

void AppendBigEndian32(std::string& out, uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>(value >> 16);
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

void AppendChunk(std::string& out, const char* type, std::string_view data) {
  AppendBigEndian32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out.append(data);
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start),
                          static_cast<uInt>(4 + data.size()));
  AppendBigEndian32(out, static_cast<uint32_t>(crc));
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

// Writing a file onto its own source would truncate the source before its chunks
// are read.
bool IsOwnSource(const std::string& output, const std::string& source) {
  return !source.empty() && platform::SameFile(output, source);
}

// Writes the smallest of the forms with the colour-space chunks the probe accepted
// from the source. The caller's OutputRemover takes the file away when this fails.
bool WriteForms(const std::string& output, const std::string& source,
                const std::vector<PngImage>& forms, float xDpi, float yDpi, int level) {
  if (forms.empty()) return false;
  const std::optional<CompressedImage> compressed = CompressSmallest(forms, level);
  if (!compressed) return false;
  ChunkCopyRecord record;
  ColourChunks chunks;
  HeaderJob job;
  job.image = &forms[compressed->form];
  if (PrepareChunkCopy(output, source, record, chunks)) {
    job.chunks = &chunks;
    job.record = &record;
  }
  job.phys = PerMetre(xDpi, job.xPerMetre) && PerMetre(yDpi, job.yPerMetre);
  std::string bytes;
  job.bytes = &bytes;
  {
    PngWriteHandle handle;
    if (!handle.ok() || !WriteHeaderGuarded(handle.png(), handle.info(), &job)) return false;
  }
  platform::UniqueFile file = platform::OpenFile(output, "wb");
  if (!file) return false;
  auto put = [&file](const std::string& piece) {
    return std::fwrite(piece.data(), 1, piece.size(), file.get()) == piece.size();
  };
  if (!put(bytes)) return false;
  // The image data leaves in chunks of a mebibyte, as zlib's buffer in libpng made them,
  // each written as it is made: the file is never held whole in memory beside the
  // compressed data.
  const std::string_view data(compressed->data);
  for (size_t at = 0; at < data.size(); at += kCompressionBufferBytes) {
    bytes.clear();
    AppendChunk(bytes, "IDAT", data.substr(at, kCompressionBufferBytes));
    if (!put(bytes)) return false;
  }
  bytes.clear();
  AppendChunk(bytes, "IEND", {});
  if (!put(bytes)) return false;
  // Data still buffered in the stream can fail to reach the disk as well.
  return std::fclose(file.release()) == 0;
}

// Grey forms store no colour: a colour profile (iCCP) of the source would no longer
// describe them, and libpng refuses to write one beside them.
bool SourceHasColourProfile(const std::string& source) {
  ColourChunks chunks;
  return !source.empty() && IsPngFile(source) && ReadColourChunks(source, chunks) &&
         chunks.hasIccp;
}

}  // namespace

bool WritePng(const std::string& output, const Picture& picture, const std::string& source,
              int level) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (!picture.pixels || !PictureSizeAllowed(picture.width, picture.height) ||
      (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32)) {
    return false;
  }
  const std::vector<PngImage> forms = LosslessForms(picture, !SourceHasColourProfile(source));
  if (!WriteForms(output, source, forms, picture.xResolution, picture.yResolution, level)) {
    return false;
  }
  remover.Keep();
  return true;
}

bool WriteQuantisedPng(const std::string& output, const Picture& picture,
                       const std::string& source, int level, const QuantiseSettings& settings) {
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
  if (!WritePalettePng(output, image, source, level)) return false;
  remover.Keep();
  return true;
}

bool WritePalettePng(const std::string& output, const PaletteImage& image,
                     const std::string& source, int level) {
  if (IsOwnSource(output, source)) return false;
  OutputRemover remover(output);
  if (image.indices == nullptr || image.triples == nullptr ||
      !PictureSizeAllowed(image.width, image.height) || image.paletteCount < 1 ||
      image.paletteCount > 256) {
    return false;
  }
  std::vector<PngImage> forms;
  try {
    forms.push_back(PaletteForm(image.indices, static_cast<uint32_t>(image.width),
                                static_cast<uint32_t>(image.height), image.paletteCount,
                                image.triples, image.alpha));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!WriteForms(output, source, forms, image.xResolution, image.yResolution, level)) {
    return false;
  }
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
