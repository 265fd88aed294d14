#pragma once
// PNG pictures: reading into the shared pixel form, and writing the pixel form either
// losslessly (true colour) or as a palette of at most 256 colours. Both writers carry
// the colour-space chunks (cHRM, gAMA, iCCP, sRGB) of a source PNG over, but only
// those that libpng accepts on its write side, which a probe finds out first.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/temp_files.h"
#include "image/pixel_buffer.h"
#include "image/quantise.h"

namespace velmora {

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

class CMyPNG {
 public:
  CMyPNG() = default;
  virtual ~CMyPNG() = default;
  CMyPNG(const CMyPNG&) = delete;
  CMyPNG& operator=(const CMyPNG&) = delete;

  // The picture. Other picture classes move their decoded buffers into these fields
  // to have them written as PNG.
  int32_t width = 0, height = 0;
  PixelBuffer pixels;
  // 24 or 32 after Read; the writers look at bitsPerPixel. sourceBitsPerPixel is what
  // libpng delivered before grey pictures were widened (8, 16, 24 or 32).
  uint8_t bitsPerPixel = 0, sourceBitsPerPixel = 0;
  // Dots per inch; 0 when unknown.
  float xResolution = 0, yResolution = 0;

  // True when the file has at least 112 bytes, starts with the PNG signature and its
  // first chunk is IHDR. Shorter files are not taken, although valid PNGs can be.
  static bool IsPNG(const std::string& path);

  // Decodes the file into the fields. Status: 0 complete, 1 damaged (the rows that
  // could not be decoded are cleared to zero), 2 unreadable (returns false).
  bool Read(const std::string& path, int& status);

  // The PNG output step: a palette PNG when forced or when the picture has at most
  // kMaxPaletteCandidateColours colours, else a lossless true-colour PNG. With the
  // external optimiser wanted and usable, writes fast and lets the optimiser
  // recompress. Colour-space chunks come from source when it is a PNG.
  bool SavePNG(const std::string& output, const std::string& source, bool extraOptimisers,
               CTempFiles& temp, bool forceQuantisation);

  // Lossless RGB or RGBA PNG of the picture. On any failure the output file is
  // removed, so that no partial file can pass for a result.
  bool WritePNG(const std::string& output, const std::string& source, int zlibLevel);
  // Palette PNG through the quantiser. On any failure the output file is removed.
  bool WritePNGquant(const std::string& output, const std::string& source, int zlibLevel,
                     const QuantiseSettings& settings = QuantiseSettings());

  // Palette PNG from an index buffer of width × height bytes, paletteCount RGB
  // triples and, when alpha is not null, one alpha byte per palette entry (written as
  // tRNS), with this picture's resolution. On any failure the output file is removed.
  bool WritePalettePNG(const std::string& output, const uint8_t* indices, int32_t indexWidth,
                       int32_t indexHeight, int paletteCount, const uint8_t* triples,
                       const uint8_t* alpha, const std::string& source, int zlibLevel);

  // One probing pass: tries, on a throw-away write structure over the (left empty)
  // output file, each colour-space chunk of the source that is not yet decided.
  // False when libpng refused the item being tried; call again until true.
  static bool ProbeCopyableChunks(const std::string& output, const std::string& source,
                                  ChunkCopyRecord& record);

  // Number of distinct red-green-blue values; alpha is ignored. bitsPerPixel is 24 or
  // 32. Returns UINT32_MAX when the count could not be made (no memory).
  static uint32_t CountColours(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel);

  // A new RGBA copy of 24- or 32-bit pixels (opaque alpha added to 24-bit ones); null
  // for other bit counts or when memory is short.
  static PixelBuffer ExpandToRGBA(const uint8_t* pixels, size_t pixelCount, int bitsPerPixel);
};

// Pictures with at most this many colours are written as palette PNGs even when
// quantisation is not forced: the palette result is usually far smaller.
constexpr uint32_t kMaxPaletteCandidateColours = 299;

}  // namespace velmora
