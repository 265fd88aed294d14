#include "image/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>
#include <vector>

#include "build_config.h"
#include "image/jpeg_library.h"
#include "platform/platform.h"

namespace velmora {

using namespace jpeg_detail;

namespace {

// Each Guarded... function below holds the one setjmp of its library calls. A fatal
// library error longjmps back here, past the library's frames and ours, so: every
// object with a destructor is declared by the caller before the call, nothing with a
// destructor is created in these functions, and nothing they changed after setjmp is
// read after the jump. They return false after a fatal error.

bool GuardedReadHeader(Decompressor& d, std::FILE* file, bool saveIcc, long memoryLimit) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_create_decompress(&d.info);
  if (memoryLimit > 0) d.info.mem->max_memory_to_use = memoryLimit;
  d.info.progress = &d.progress;
  jpeg_stdio_src(&d.info, file);
  if (saveIcc) jpeg_save_markers(&d.info, JPEG_APP0 + 2, 0xFFFF);
  return jpeg_read_header(&d.info, TRUE) == JPEG_HEADER_OK;
}

bool GuardedStartDecompress(Decompressor& d) {
  if (setjmp(d.errors.jump) != 0) return false;
  return jpeg_start_decompress(&d.info) != FALSE;
}

// Reads the rows into the buffer; stopped is set when a row could not be read or the
// library has warned more than twice (the data is then too damaged to go on).
bool GuardedReadRows(Decompressor& d, uint8_t* buffer, size_t stride, bool& stopped) {
  if (setjmp(d.errors.jump) != 0) return false;
  while (d.info.output_scanline < d.info.output_height) {
    if (d.errors.pub.num_warnings > 2) {
      stopped = true;
      return true;
    }
    JSAMPROW row = buffer + static_cast<size_t>(d.info.output_scanline) * stride;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) {
      stopped = true;
      return true;
    }
  }
  return true;
}

bool GuardedFinishDecompress(Decompressor& d) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_finish_decompress(&d.info);
  return true;
}

struct EncodeSettings {
  int width;
  int height;
  int components;
  float xResolution;
  float yResolution;
  int quality;
};

// A JFIF density from dots per inch, rounded half up and kept within the 16 bits of
// the field (a huge resolution must not wrap around to a small one).
UINT16 DensityOf(float resolution) {
  const double rounded = static_cast<double>(resolution) + 0.5;
  if (rounded >= 65535.0) return 65535;
  if (rounded < 1.0) return 1;
  return static_cast<UINT16>(rounded);
}

bool GuardedStartCompress(Compressor& c, std::FILE* file, const EncodeSettings& settings,
                          std::string_view profile) {
  if (setjmp(c.errors.jump) != 0) return false;
  jpeg_create_compress(&c.info);
  jpeg_stdio_dest(&c.info, file);
  c.info.image_width = static_cast<JDIMENSION>(settings.width);
  c.info.image_height = static_cast<JDIMENSION>(settings.height);
  c.info.input_components = settings.components;
  c.info.in_color_space = settings.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c.info);
  if (settings.xResolution > 0 && settings.yResolution > 0) {
    c.info.density_unit = 1;  // dots per inch
    c.info.X_density = DensityOf(settings.xResolution);
    c.info.Y_density = DensityOf(settings.yResolution);
  }
#if VELMORA_HAVE_MOZJPEG
  jpeg_c_set_int_param(&c.info, JINT_COMPRESS_PROFILE, JCP_MAX_COMPRESSION);
#else
  // The plain library has no compression profiles; optimised Huffman tables and its
  // standard progressive scans are the strongest settings it offers.
  c.info.optimize_coding = TRUE;
  jpeg_simple_progression(&c.info);
#endif
  jpeg_set_quality(&c.info, settings.quality, TRUE);
  jpeg_start_compress(&c.info, TRUE);
  if (!profile.empty()) EmbedIccProfile(&c.info, profile);
  return true;
}

bool GuardedWriteRows(Compressor& c, const uint8_t* rows, size_t stride) {
  if (setjmp(c.errors.jump) != 0) return false;
  while (c.info.next_scanline < c.info.image_height) {
    // The library takes non-const rows but only reads them.
    JSAMPROW row = const_cast<uint8_t*>(rows) + static_cast<size_t>(c.info.next_scanline) * stride;
    if (jpeg_write_scanlines(&c.info, &row, 1) != 1) return false;
  }
  return true;
}

bool GuardedFinishCompress(Compressor& c) {
  if (setjmp(c.errors.jump) != 0) return false;
  jpeg_finish_compress(&c.info);
  return true;
}

constexpr char kIccSignature[] = "ICC_PROFILE";  // followed by a zero byte
constexpr size_t kIccHeader = 14;                // signature, zero, sequence, count
constexpr size_t kIccChunk = 65519;              // 65533 bytes of marker data at most

// Puts the profile together from the saved APP2 markers; empty when there is none or
// the chunks contradict each other (a wrong count, a number twice, one missing).
std::string GatherIccChunks(jpeg_saved_marker_ptr marker) {
  std::vector<const jpeg_marker_struct*> chunks;
  int count = 0;
  for (; marker != nullptr; marker = marker->next) {
    if (marker->marker != JPEG_APP0 + 2 || marker->data_length < kIccHeader) continue;
    if (std::memcmp(marker->data, kIccSignature, sizeof kIccSignature) != 0) continue;
    const int sequence = marker->data[12];
    const int total = marker->data[13];
    if (count == 0) {
      count = total;
      chunks.assign(static_cast<size_t>(count) + 1, nullptr);
    }
    if (total != count || sequence == 0 || sequence > count || chunks[sequence] != nullptr) {
      return {};
    }
    chunks[sequence] = marker;
  }
  std::string profile;
  for (int sequence = 1; sequence <= count; ++sequence) {
    if (chunks[sequence] == nullptr) return {};
    profile.append(reinterpret_cast<const char*>(chunks[sequence]->data) + kIccHeader,
                   chunks[sequence]->data_length - kIccHeader);
  }
  return profile;
}

}  // namespace

int ClampJpegQuality(unsigned quality) {
  return quality > 100 ? 100 : static_cast<int>(quality);
}

bool IsJpegFile(const std::string& path) {
  if (path.empty()) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  unsigned char head[24];
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
  return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

ReadStatus ReadJpeg(const std::string& path, Picture& picture) {
  return ReadJpegWithin(path, picture, kMaxLibraryMemory);
}

bool ReadJpegHeader(const std::string& path, JpegHeader& header) {
  header = JpegHeader();
  if (!IsJpegFile(path)) return false;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  Decompressor d;
  if (!GuardedReadHeader(d, file.get(), false, kMaxLibraryMemory)) return false;
  header.width = d.info.image_width;
  header.height = d.info.image_height;
  header.components = d.info.num_components;
  header.progressive = d.info.progressive_mode != FALSE;
  return true;
}

ReadStatus ReadJpegWithin(const std::string& path, Picture& picture, uint64_t memoryLimit) {
  picture = Picture();
  if (!IsJpegFile(path)) return ReadStatus::kUnreadable;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return ReadStatus::kUnreadable;
  Decompressor d;
  const long limit = static_cast<long>(std::min<uint64_t>(memoryLimit, kMaxLibraryMemory));
  if (!GuardedReadHeader(d, file.get(), false, limit)) return ReadStatus::kUnreadable;

  const int components = d.info.num_components;
  const bool rgb = components == 3 && d.info.out_color_space == JCS_RGB;
  const bool grey = components == 1 && d.info.out_color_space == JCS_GRAYSCALE;
  if (!rgb && !grey) return ReadStatus::kUnsupported;
  // Refused before the library sets up its buffers for the picture: a header of a few
  // bytes must not make it allocate gigabytes.
  if (!PictureSizeAllowed(d.info.image_width, d.info.image_height)) {
    return ReadStatus::kUnreadable;
  }

  // Dots per centimetre become dots per inch; every other unit (0 is "aspect ratio
  // only") is taken as dots per inch.
  const double toInch = d.info.density_unit == 2 ? 2.54 : 1.0;
  const auto x = static_cast<float>(d.info.X_density * toInch);
  const auto y = static_cast<float>(d.info.Y_density * toInch);

  if (!GuardedStartDecompress(d)) return ReadStatus::kUnreadable;
  const int outputComponents = d.info.output_components;
  PixelBuffer buffer = AllocatePixels(d.info.output_width, d.info.output_height, outputComponents);
  if (!buffer) return ReadStatus::kUnreadable;
  const size_t stride = static_cast<size_t>(d.info.output_width) * outputComponents;
  bool stopped = false;
  if (!GuardedReadRows(d, buffer.get(), stride, stopped)) return ReadStatus::kUnreadable;
  // The pixels are all in; an error while the library reads up to the end marker
  // leaves them as they are but says that the file is not sound.
  const bool finished = stopped || GuardedFinishDecompress(d);

  picture.width = static_cast<int32_t>(d.info.output_width);
  picture.height = static_cast<int32_t>(d.info.output_height);
  picture.bitsPerPixel = static_cast<uint8_t>(components * 8);
  picture.sourceBitsPerPixel = picture.bitsPerPixel;
  picture.pixels = std::move(buffer);
  picture.xResolution = x;
  picture.yResolution = y;
  const bool damaged = stopped || !finished || d.errors.damaged;
  return damaged ? ReadStatus::kPartial : ReadStatus::kComplete;
}

bool WriteJpeg(const std::string& output, const Picture& picture, unsigned quality,
               const std::string& sourcePath) {
  if (!picture.pixels || (picture.bitsPerPixel != 8 && picture.bitsPerPixel != 24)) return false;
  if (!PictureSizeAllowed(picture.width, picture.height)) return false;
  const size_t count = picture.PixelCount();

  PixelBuffer grey;
  if (picture.bitsPerPixel == 24 && IsNearlyGrey(picture.pixels.get(), count)) {
    grey = MakeGreyPlane(picture.pixels.get(), count);
    if (!grey) return false;
  }
  const bool oneComponent = picture.bitsPerPixel == 8 || grey != nullptr;
  const uint8_t* rows = grey ? grey.get() : picture.pixels.get();
  const size_t stride = static_cast<size_t>(picture.width) * (oneComponent ? 1 : 3);
  const std::string profile = sourcePath.empty() ? std::string() : LoadIccProfile(sourcePath);
  const EncodeSettings settings{picture.width,       picture.height,
                                oneComponent ? 1 : 3, picture.xResolution,
                                picture.yResolution, ClampJpegQuality(quality)};

  platform::UniqueFile file = platform::OpenFile(output, "wb");
  if (!file) return false;
  bool written = false;
  {
    Compressor c;
    written = GuardedStartCompress(c, file.get(), settings, profile) &&
              GuardedWriteRows(c, rows, stride) && GuardedFinishCompress(c);
  }
  // A close that fails may have lost buffered bytes.
  written = std::fclose(file.release()) == 0 && written;
  if (!written) platform::RemoveFile(output);
  return written;
}

std::string LoadIccProfile(const std::string& path) {
  if (!IsJpegFile(path)) return {};
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return {};
  Decompressor d;
  if (!GuardedReadHeader(d, file.get(), true, 0)) return {};
  return GatherIccChunks(d.info.marker_list);
}

bool EmbedIccProfile(jpeg_compress_struct* encoder, std::string_view profile) {
  const size_t chunks = (profile.size() + kIccChunk - 1) / kIccChunk;
  if (chunks == 0 || chunks > 255) return false;
  for (size_t i = 0; i < chunks; ++i) {
    const std::string_view chunk = profile.substr(i * kIccChunk, kIccChunk);
    jpeg_write_m_header(encoder, JPEG_APP0 + 2, static_cast<unsigned>(chunk.size() + kIccHeader));
    for (char c : std::string_view(kIccSignature, sizeof kIccSignature)) {
      jpeg_write_m_byte(encoder, c);
    }
    jpeg_write_m_byte(encoder, static_cast<int>(i + 1));
    jpeg_write_m_byte(encoder, static_cast<int>(chunks));
    for (char c : chunk) jpeg_write_m_byte(encoder, static_cast<unsigned char>(c));
  }
  return true;
}

bool IsNearlyGrey(const uint8_t* rgb, size_t pixelCount) {
  // The differences are taken as signed numbers: wrapped into a byte, pure green
  // (0 - 255 = 1) would pass for grey.
  auto close = [](int a, int b) { return a - b >= -3 && a - b <= 3; };
  for (size_t i = 0; i < pixelCount; ++i) {
    const int r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
    if (!close(r, g) || !close(r, b) || !close(g, b)) return false;
  }
  return true;
}

PixelBuffer MakeGreyPlane(const uint8_t* rgb, size_t pixelCount) {
  PixelBuffer grey(new (std::nothrow) uint8_t[pixelCount == 0 ? 1 : pixelCount]);
  if (!grey) return nullptr;
  for (size_t i = 0; i < pixelCount; ++i) {
    grey[i] = static_cast<uint8_t>((rgb[i * 3] + rgb[i * 3 + 1] + rgb[i * 3 + 2]) / 3);
  }
  return grey;
}

std::string JpegLibraryText() {
#if VELMORA_HAVE_MOZJPEG
  return "mozjpeg";
#elif defined(LIBJPEG_TURBO_VERSION)
#define VELMORA_STRINGIFY2(x) #x
#define VELMORA_STRINGIFY(x) VELMORA_STRINGIFY2(x)
  return "libjpeg-turbo " VELMORA_STRINGIFY(LIBJPEG_TURBO_VERSION);
#else
  return "libjpeg " + std::to_string(JPEG_LIB_VERSION);
#endif
}

}  // namespace velmora
