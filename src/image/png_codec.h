#pragma once
// PNG pictures: reading into the shared picture form, and writing it either
// losslessly (true colour) or as a palette of at most 256 colours. The writers carry
// the colour-space chunks (cHRM, gAMA, iCCP, sRGB) of a source PNG over, but only
// those that libpng accepts on its write side, which a probe finds out first.

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/picture.h"
#include "image/quantise.h"

namespace velmora {

// True when the file has at least 112 bytes, starts with the PNG signature and its
// first chunk is IHDR. Shorter files are not taken, although valid PNGs can be.
bool IsPngFile(const std::string& path);

// Decodes the file, of any length: 24 or 32 bits per pixel (grey is widened to RGB,
// palettes expanded, tRNS becomes alpha), 8-bit samples.
// kPartial: damaged, and the rows that could not be decoded are cleared to zero.
ReadStatus ReadPng(const std::string& path, Picture& picture);

// True when the file is an animated PNG: an acTL chunk stands before the image data.
// Readers of still pictures see only its first frame.
bool IsAnimatedPng(const std::string& path);

// Decodes every row as ReadPng does and with its status, but keeps one row at a time
// (an interlaced file is decoded whole), so that a check holds no picture in memory.
ReadStatus ScanPng(const std::string& path, int32_t& width, int32_t& height);

// True when both files decode completely (as ReadPng) to the same colours and alpha,
// alpha taken as opaque where a picture has none; read row by row side by side.
bool SamePngPixels(const std::string& a, const std::string& b);

// Lossless PNG of a 24- or 32-bit picture, stored in the smallest form that keeps every
// pixel (palette, grey, lower bit depth, no opaque alpha; see png_encoder.h) and
// compressed at the deflate level (1..12, 12 the strongest). Colour-space chunks come
// from source when it is a PNG. On any failure the output file is removed, so that no
// partial file can pass for a result.
bool WritePng(const std::string& output, const Picture& picture, const std::string& source,
              int level);
// Palette PNG through the quantiser. On any failure the output file is removed.
bool WriteQuantisedPng(const std::string& output, const Picture& picture,
                       const std::string& source, int level,
                       const QuantiseSettings& settings = QuantiseSettings());

// A palette picture: width × height indices, paletteCount RGB triples and, when
// alpha is not null, one alpha byte per palette entry (written as tRNS).
struct PaletteImage {
  const uint8_t* indices = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int paletteCount = 0;
  const uint8_t* triples = nullptr;
  const uint8_t* alpha = nullptr;
  float xResolution = 0;  // dots per inch; written as pHYs when both are usable
  float yResolution = 0;
};
// On any failure the output file is removed.
bool WritePalettePng(const std::string& output, const PaletteImage& image,
                     const std::string& source, int level);

// Which colour-space chunks of a source may be copied. Filled by repeated probing
// passes; the writers copy only items in state kAccepted.
struct ChunkCopyRecord {
  enum State : int32_t { kUntried = 0, kTrying = 1, kFailed = 2, kAccepted = 3 };
  // kAccepted when the probe could open the output and create libpng's write
  // structures, kFailed when it could not.
  int32_t probe = kUntried;
  int32_t cHRM = kUntried;
  int32_t gAMA = kUntried;
  int32_t iCCP = kUntried;
  int32_t sRGB = kUntried;
};

// One probing pass: tries, on a throw-away write structure over the (left empty)
// output file, each colour-space chunk of the source that is not yet decided.
// False when libpng refused the item being tried; call again until true.
bool ProbeCopyableChunks(const std::string& output, const std::string& source,
                         ChunkCopyRecord& record);

// Number of distinct red-green-blue values; alpha is ignored. bitsPerPixel is 24 or
// 32. Returns UINT32_MAX when the count could not be made (no memory).
uint32_t CountColours(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel);

// A new RGBA copy of 24- or 32-bit pixels (opaque alpha added to 24-bit ones); null
// for other bit counts or when memory is short.
PixelBuffer ExpandToRgba(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel);

}  // namespace velmora
