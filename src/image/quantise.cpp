#include "image/quantise.h"

#include <libimagequant.h>

#include <cstddef>
#include <memory>

namespace velmora {

namespace {

struct AttrDeleter {
  void operator()(liq_attr* attr) const noexcept { liq_attr_destroy(attr); }
};
struct ImageDeleter {
  void operator()(liq_image* image) const noexcept { liq_image_destroy(image); }
};
struct ResultDeleter {
  void operator()(liq_result* result) const noexcept { liq_result_destroy(result); }
};
using UniqueAttr = std::unique_ptr<liq_attr, AttrDeleter>;
using UniqueImage = std::unique_ptr<liq_image, ImageDeleter>;
using UniqueResult = std::unique_ptr<liq_result, ResultDeleter>;

}  // namespace

bool QuantiseRgba(const uint8_t* rgba, int32_t width, int32_t height,
                  const QuantiseSettings& settings, QuantisedPicture& out) {
  out = QuantisedPicture();
  if (rgba == nullptr || !PictureSizeAllowed(width, height)) return false;

  UniqueAttr attr(liq_attr_create());
  if (!attr) return false;
  if (liq_set_max_colors(attr.get(), settings.maxColours) != LIQ_OK ||
      liq_set_speed(attr.get(), settings.speed) != LIQ_OK ||
      liq_set_quality(attr.get(), settings.minQuality, settings.maxQuality) != LIQ_OK) {
    return false;
  }
  // Gamma 0 lets the library assume its default (sRGB-like) gamma.
  UniqueImage image(liq_image_create_rgba(attr.get(), rgba, width, height, 0));
  if (!image) return false;
  liq_result* rawResult = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK || rawResult == nullptr) {
    return false;
  }
  UniqueResult result(rawResult);
  if (liq_set_dithering_level(result.get(), settings.dithering) != LIQ_OK) return false;

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  PixelBuffer indices = AllocatePixels(width, height, 1);
  if (!indices) return false;
  if (liq_write_remapped_image(result.get(), image.get(), indices.get(), count) != LIQ_OK) {
    return false;
  }
  // The palette is only final after remapping, which may refine it.
  const liq_palette* palette = liq_get_palette(result.get());
  if (palette == nullptr || palette->count < 1 || palette->count > 256) return false;

  out.paletteCount = static_cast<int>(palette->count);
  for (unsigned i = 0; i < palette->count; ++i) {
    const liq_color& colour = palette->entries[i];
    out.triples[i * 3] = colour.r;
    out.triples[i * 3 + 1] = colour.g;
    out.triples[i * 3 + 2] = colour.b;
    out.alpha[i] = colour.a;
    if (colour.a < 255) out.transparent = true;
  }
  // An index outside the palette would make libpng refuse the picture or a decoder
  // show garbage; the library never produces one, but its output is checked anyway.
  for (size_t i = 0; i < count; ++i) {
    if (indices[i] >= palette->count) return false;
  }
  out.indices = std::move(indices);
  return true;
}

}  // namespace velmora
