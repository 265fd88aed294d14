#include "image/resample.h"

#include <pixman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace velmora {

namespace {

// Owners of pixman's handles; every call into the library is in this file.
struct ImageUnref {
  void operator()(pixman_image_t* image) const noexcept {
    if (image != nullptr) pixman_image_unref(image);
  }
};
using UniqueImage = std::unique_ptr<pixman_image_t, ImageUnref>;

struct ParamsFree {
  void operator()(pixman_fixed_t* params) const noexcept { std::free(params); }
};
using UniqueParams = std::unique_ptr<pixman_fixed_t, ParamsFree>;

// One pixel of pixman's 128-bit floating-point format, in its memory order.
struct FloatPixel {
  float r, g, b, a;
};
static_assert(sizeof(FloatPixel) == 16, "pixman's float pixels are four packed floats");

// Working memory for the decoded source rows of one step of the horizontal pass; the
// picture is worked in bands of new rows, each from its own reduced source rows.
constexpr size_t kStripBytes = size_t{4} << 20;
// pixman steps from one new pixel to the next by the reduction as a 16.16 fixed-point
// number, so a long run of new pixels drifts by up to its length × 2^-17 source pixels.
// Runs of at most 64 new pixels, each placed afresh, keep the drift below 1/2000.
constexpr int32_t kRunPixels = 64;
// Source rows beyond a band's own that its vertical taps may reach (see Run).
constexpr int32_t kBandMargin = 3;
// Filter phases per source pixel (2^bits) and the most filter values kept; the
// phases place each new pixel's area to 1/4096 of a source pixel.
constexpr int kPhaseBits = 12;
constexpr int64_t kMaxFilterValues = int64_t{1} << 20;

// A 16.16 fixed-point number, rounded (pixman's own conversion cuts toward zero).
pixman_fixed_t Fixed(double value) {
  return static_cast<pixman_fixed_t>(std::lround(value * pixman_fixed_1));
}

double SrgbToLinear(double encoded) {
  return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

struct LightTables {
  std::array<float, 256> linear{};       // the light of each 8-bit sRGB code
  std::array<float, 255> thresholds{};   // the light halfway (in code) between i and i + 1
};

const LightTables& Tables() {
  static const LightTables tables = [] {
    LightTables made;
    for (int i = 0; i < 256; ++i) made.linear[i] = static_cast<float>(SrgbToLinear(i / 255.0));
    for (int i = 0; i < 255; ++i) {
      made.thresholds[i] = static_cast<float>(SrgbToLinear((i + 0.5) / 255.0));
    }
    return made;
  }();
  return tables;
}

// The 8-bit sRGB code nearest to the light in the encoded scale: how many halfway
// points lie at or below it.
uint8_t ToCode(float light, const LightTables& tables) {
  const auto above =
      std::upper_bound(tables.thresholds.begin(), tables.thresholds.end(), light);
  return static_cast<uint8_t>(above - tables.thresholds.begin());
}

// A separable filter that averages areas along one axis and keeps the other: the
// source pixels as boxes, integrated over a box as wide as the reduction, which weighs
// each source pixel by the share of it the new pixel covers. The weights are never
// negative, and must not be: pixman's floating-point path sums them in unsigned
// integers, where the negative lobes of a Lanczos kernel would wrap around.
UniqueParams AreaFilter(double reduction, bool horizontal, int& count) {
  int bits = kPhaseBits;
  const auto taps = static_cast<int64_t>(std::ceil(reduction)) + 2;
  while (bits > 0 && (taps << bits) > kMaxFilterValues) --bits;
  const pixman_fixed_t along = Fixed(reduction);
  pixman_fixed_t* params =
      horizontal ? pixman_filter_create_separable_convolution(
                       &count, along, pixman_fixed_1, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_IMPULSE,
                       PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, bits, 0)
                 : pixman_filter_create_separable_convolution(
                       &count, pixman_fixed_1, along, PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_BOX,
                       PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 0, bits);
  return UniqueParams(params);
}

UniqueImage FloatImage(int32_t width, int32_t height, FloatPixel* pixels) {
  return UniqueImage(pixman_image_create_bits(PIXMAN_rgba_float, width, height,
                                              reinterpret_cast<uint32_t*>(pixels),
                                              width * static_cast<int>(sizeof(FloatPixel))));
}

// A source image for one pass: the filter, and edge pixels repeated outward, as the
// picture's own edge continues beyond it.
bool PrepareSource(pixman_image_t* image, const UniqueParams& filter, int count) {
  pixman_image_set_repeat(image, PIXMAN_REPEAT_PAD);
  return pixman_image_set_filter(image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, filter.get(),
                                 count);
}

// One downscale: a horizontal pass into bands of reduced rows, then a vertical pass
// from each band into the new rows, both in premultiplied linear light.
class AreaResampler {
 public:
  AreaResampler(const Picture& source, int32_t width, int32_t height, uint8_t* out)
      : source_(source), width_(width), height_(height), out_(out),
        bytes_(source.bitsPerPixel / 8),
        reductionX_(static_cast<double>(source.width) / width),
        reductionY_(static_cast<double>(source.height) / height),
        tables_(Tables()) {}

  bool Run();

 private:
  bool Across(int32_t first, int32_t last, FloatPixel* band);
  bool Down(FloatPixel* band, int32_t first, int32_t last, int32_t row, int32_t rows,
            FloatPixel* into);
  void DecodeRows(int32_t first, int32_t count, FloatPixel* into) const;
  void EncodeRows(const FloatPixel* from, int32_t first, int32_t count);

  const Picture& source_;
  const int32_t width_;
  const int32_t height_;
  uint8_t* const out_;
  const int bytes_;
  const double reductionX_;
  const double reductionY_;
  const LightTables& tables_;
  UniqueParams filterX_;
  UniqueParams filterY_;
  int countX_ = 0;
  int countY_ = 0;
};

bool AreaResampler::Run() {
  filterX_ = AreaFilter(reductionX_, true, countX_);
  filterY_ = AreaFilter(reductionY_, false, countY_);
  if (!filterX_ || !filterY_) return false;
  std::vector<FloatPixel> band;
  std::vector<FloatPixel> rows;
  for (int32_t row = 0; row < height_; row += kRunPixels) {
    const int32_t count = std::min(kRunPixels, height_ - row);
    // The taps of new row r reach from about reduction × r - 1.5 to
    // reduction × (r + 1) + 0.5 in source rows; the margin covers pixman's rounding.
    const auto first = std::max<int32_t>(
        0, static_cast<int32_t>(std::floor(reductionY_ * row)) - kBandMargin);
    const auto last = std::min<int32_t>(
        source_.height,
        static_cast<int32_t>(std::ceil(reductionY_ * (row + count))) + kBandMargin);
    band.assign(static_cast<size_t>(width_) * static_cast<size_t>(last - first), FloatPixel{});
    rows.assign(static_cast<size_t>(width_) * static_cast<size_t>(count), FloatPixel{});
    if (!Across(first, last, band.data())) return false;
    if (!Down(band.data(), first, last, row, count, rows.data())) return false;
    EncodeRows(rows.data(), row, count);
  }
  return true;
}

bool AreaResampler::Across(int32_t first, int32_t last, FloatPixel* band) {
  const size_t rowBytes = static_cast<size_t>(source_.width) * sizeof(FloatPixel);
  const auto stripRows =
      static_cast<int32_t>(std::max<size_t>(1, std::min<size_t>(kStripBytes / rowBytes,
                                                                 static_cast<size_t>(last - first))));
  std::vector<FloatPixel> strip(static_cast<size_t>(source_.width) *
                                static_cast<size_t>(stripRows));
  UniqueImage into = FloatImage(width_, last - first, band);
  if (!into) return false;
  for (int32_t row = first; row < last; row += stripRows) {
    const int32_t count = std::min(stripRows, last - row);
    DecodeRows(row, count, strip.data());
    UniqueImage from = FloatImage(source_.width, count, strip.data());
    if (!from || !PrepareSource(from.get(), filterX_, countX_)) return false;
    // Each run of new columns starts at its exact place: column c0 + j samples
    // reduction × (c0 + j + 0.5), the offset given by the transform.
    for (int32_t column = 0; column < width_; column += kRunPixels) {
      pixman_transform_t transform;
      pixman_transform_init_identity(&transform);
      transform.matrix[0][0] = Fixed(reductionX_);
      transform.matrix[0][2] = Fixed(reductionX_ * column);
      if (!pixman_image_set_transform(from.get(), &transform)) return false;
      pixman_image_composite32(PIXMAN_OP_SRC, from.get(), nullptr, into.get(), 0, 0, 0, 0,
                               column, row - first, std::min(kRunPixels, width_ - column), count);
    }
  }
  return true;
}

bool AreaResampler::Down(FloatPixel* band, int32_t first, int32_t last, int32_t row,
                         int32_t rows, FloatPixel* into) {
  UniqueImage from = FloatImage(width_, last - first, band);
  UniqueImage to = FloatImage(width_, rows, into);
  if (!from || !to) return false;
  // New row row + j samples the band at reduction × (row + j + 0.5) - first: the
  // offset goes into the transform, so that its numbers stay within the band.
  pixman_transform_t transform;
  pixman_transform_init_identity(&transform);
  transform.matrix[1][1] = Fixed(reductionY_);
  transform.matrix[1][2] = Fixed(reductionY_ * row - first);
  if (!PrepareSource(from.get(), filterY_, countY_) ||
      !pixman_image_set_transform(from.get(), &transform)) {
    return false;
  }
  pixman_image_composite32(PIXMAN_OP_SRC, from.get(), nullptr, to.get(), 0, 0, 0, 0, 0, 0,
                           width_, rows);
  return true;
}

void AreaResampler::DecodeRows(int32_t first, int32_t count, FloatPixel* into) const {
  const size_t pixels = static_cast<size_t>(source_.width) * static_cast<size_t>(count);
  const uint8_t* p = source_.pixels.get() +
                     static_cast<size_t>(first) * static_cast<size_t>(source_.width) * bytes_;
  const auto& light = tables_.linear;
  for (size_t i = 0; i < pixels; ++i, p += bytes_) {
    if (bytes_ == 1) {
      into[i] = {light[p[0]], light[p[0]], light[p[0]], 1.0f};
    } else if (bytes_ == 3) {
      into[i] = {light[p[0]], light[p[1]], light[p[2]], 1.0f};
    } else {
      const float alpha = p[3] / 255.0f;
      into[i] = {light[p[0]] * alpha, light[p[1]] * alpha, light[p[2]] * alpha, alpha};
    }
  }
}

void AreaResampler::EncodeRows(const FloatPixel* from, int32_t first, int32_t count) {
  const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(count);
  uint8_t* p = out_ + static_cast<size_t>(first) * static_cast<size_t>(width_) * bytes_;
  for (size_t i = 0; i < pixels; ++i, p += bytes_) {
    const FloatPixel& v = from[i];
    if (bytes_ == 1) {
      p[0] = ToCode(v.r, tables_);
    } else if (bytes_ == 3) {
      // Opaque pictures stay opaque: the sums' rounding must not tint them.
      p[0] = ToCode(v.r, tables_);
      p[1] = ToCode(v.g, tables_);
      p[2] = ToCode(v.b, tables_);
    } else {
      const auto alpha = static_cast<uint8_t>(std::lround(std::clamp(v.a, 0.0f, 1.0f) * 255.0f));
      // A pixel that ends up fully transparent has no colour to speak of.
      const float unpremultiply = alpha == 0 ? 0.0f : 1.0f / v.a;
      p[0] = ToCode(v.r * unpremultiply, tables_);
      p[1] = ToCode(v.g * unpremultiply, tables_);
      p[2] = ToCode(v.b * unpremultiply, tables_);
      p[3] = alpha;
    }
  }
}

}  // namespace

ResampleStatus Downscale(const Picture& source, int32_t width, int32_t height, Picture& result) {
  const int bytes = source.bitsPerPixel / 8;
  if (!source.pixels || (source.bitsPerPixel != 8 && source.bitsPerPixel != 24 &&
                         source.bitsPerPixel != 32)) {
    return ResampleStatus::kInvalid;
  }
  if (width < 1 || height < 1 || width > source.width || height > source.height ||
      (width == source.width && height == source.height)) {
    return ResampleStatus::kInvalid;
  }
  if (source.width > kMaxResampleSide || source.height > kMaxResampleSide ||
      static_cast<double>(source.width) / width > kMaxReduction ||
      static_cast<double>(source.height) / height > kMaxReduction) {
    return ResampleStatus::kTooLarge;
  }
  PixelBuffer pixels = AllocatePixels(width, height, bytes);
  if (!pixels) return ResampleStatus::kNoMemory;
  try {
    AreaResampler resampler(source, width, height, pixels.get());
    if (!resampler.Run()) return ResampleStatus::kFailed;
  } catch (const std::bad_alloc&) {
    return ResampleStatus::kNoMemory;
  }
  result.width = width;
  result.height = height;
  result.bitsPerPixel = source.bitsPerPixel;
  result.sourceBitsPerPixel = source.sourceBitsPerPixel;
  result.pixels = std::move(pixels);
  result.frames = 1;
  // The same inches with fewer pixels: the density falls with the pixel count.
  result.xResolution = source.xResolution > 0
                           ? source.xResolution * static_cast<float>(width) / source.width
                           : source.xResolution;
  result.yResolution = source.yResolution > 0
                           ? source.yResolution * static_cast<float>(height) / source.height
                           : source.yResolution;
  return ResampleStatus::kDone;
}

}  // namespace velmora
