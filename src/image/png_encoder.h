#pragma once
// How a picture's pixels are stored in a PNG, chosen for the smallest file without
// changing a single pixel: an alpha channel that is opaque everywhere is dropped, grey
// pictures become grey images, pictures of 256 colours or fewer become palette
// images, and bit depth goes as low as the pixels allow. Each stored form is tried
// with the row filters that matter, and the smallest compressed result is kept.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/picture.h"

namespace velmora {

// The pixels in one stored form: rows packed at the bit depth, without filter bytes.
struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int colourType = 2;  // PNG numbering: 0 grey, 2 RGB, 3 palette, 4 grey-alpha, 6 RGBA
  int bitDepth = 8;    // 1, 2, 4 or 8
  std::vector<uint8_t> palette;       // RGB triples of a palette image
  std::vector<uint8_t> paletteAlpha;  // tRNS of a palette image, may be shorter
  std::vector<uint8_t> rows;

  size_t Stride() const;
  // The bytes this form adds to the file besides its image data: PLTE and tRNS.
  size_t ChunkBytes() const;
  // Bytes between a sample and the one it is predicted from (at least 1).
  size_t FilterDistance() const;
};

// The forms a 24- or 32-bit picture can be stored in without loss, most compact
// first; allowGrey false leaves out grey forms (a colour profile forbids them).
// Nothing when memory is short or the picture has no pixels.
std::vector<PngImage> LosslessForms(const Picture& picture, bool allowGrey);

// A palette image from width × height indices, with the bit depth as low as the
// palette allows.
PngImage PaletteForm(const uint8_t* indices, uint32_t width, uint32_t height, int paletteCount,
                     const uint8_t* triples, const uint8_t* alpha);

// The row filters tried: one filter for every row, or the adaptive choice per row.
enum class FilterChoice { kNone, kSub, kUp, kPaeth, kAdaptive };

// The rows with their filter bytes, as they are compressed.
std::string FilterRows(const PngImage& image, FilterChoice choice);
// The inverse, for checking: the packed rows back, or nothing for damaged data.
std::optional<std::vector<uint8_t>> UnfilterRows(const std::string& filtered,
                                                 const PngImage& shape);

// The smallest form and filter, its palette counted: every combination is compressed
// at a quick level, the best one again at level (libdeflate's 1..12). The result is
// the zlib stream of the image data; form says which form won (index into forms).
struct CompressedImage {
  size_t form = 0;
  FilterChoice filter = FilterChoice::kNone;
  std::string data;
};
std::optional<CompressedImage> CompressSmallest(const std::vector<PngImage>& forms, int level);

}  // namespace velmora
