#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "image/resample.h"
#include "support/picture_fixtures.h"

namespace velmora {
namespace {

// A picture whose pixel (x, y) has the channels that fill gives it.
Picture MakePicture(int32_t width, int32_t height, int bitsPerPixel,
                    const std::function<void(int x, int y, uint8_t* pixel)>& fill) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.bitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
  picture.sourceBitsPerPixel = picture.bitsPerPixel;
  picture.pixels = AllocatePixels(width, height, bitsPerPixel / 8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      fill(x, y, picture.pixels.get() + (static_cast<size_t>(y) * width + x) * (bitsPerPixel / 8));
    }
  }
  return picture;
}

const uint8_t* PixelAt(const Picture& picture, int x, int y) {
  return picture.pixels.get() +
         (static_cast<size_t>(y) * picture.width + x) * (picture.bitsPerPixel / 8);
}

double Light(double code) {
  const double v = code / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

int Code(double light) {
  const double v = light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

// What each new pixel must come to: one source picture, the new size, and the channels
// every new pixel has (within one code).
struct UniformCase {
  const char* name;
  Picture (*source)();
  int32_t width;
  int32_t height;
  std::vector<int> channels;
};

void PrintTo(const UniformCase& c, std::ostream* os) { *os << c.name; }

std::vector<UniformCase> UniformCases() {
  return {
      // Black and white pixels average to half the light, which is code 188; an
      // average of the codes would give 128, a darker grey than the eye sees.
      {"CheckerboardIsHalfTheLight",
       [] {
         return MakePicture(64, 48, 24, [](int x, int y, uint8_t* p) {
           p[0] = p[1] = p[2] = (x + y) % 2 == 0 ? 255 : 0;
         });
       },
       32, 24, {188, 188, 188}},
      {"FlatColourStaysAtAnyReduction",
       [] {
         return MakePicture(97, 61, 24, [](int, int, uint8_t* p) {
           p[0] = 200;
           p[1] = 100;
           p[2] = 30;
         });
       },
       26, 17, {200, 100, 30}},
      // Codes 60 and 120 average to code 96 in light.
      {"GreyStaysGrey",
       [] { return MakePicture(40, 40, 8, [](int x, int, uint8_t* p) { p[0] = x % 2 ? 60 : 120; }); },
       20, 13, {96}},
      // Colour is weighted by coverage: a transparent pixel, whatever its colour,
      // gives no colour, only transparency.
      {"TransparentPixelsLendNoColour",
       [] {
         return MakePicture(2, 2, 32, [](int x, int, uint8_t* p) {
           p[0] = p[1] = p[2] = x == 0 ? 255 : 0;
           p[3] = x == 0 ? 255 : 0;
         });
       },
       1, 1, {255, 255, 255, 128}},
  };
}

class DownscaleUniform : public ::testing::TestWithParam<UniformCase> {};

TEST_P(DownscaleUniform, EveryNewPixelIsTheAreaMean) {
  const UniformCase& c = GetParam();
  const Picture source = c.source();
  Picture result;
  ASSERT_EQ(Downscale(source, c.width, c.height, result), ResampleStatus::kDone);
  ASSERT_EQ(result.width, c.width);
  ASSERT_EQ(result.height, c.height);
  ASSERT_EQ(result.bitsPerPixel, source.bitsPerPixel);
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      for (size_t k = 0; k < c.channels.size(); ++k) {
        ASSERT_NEAR(PixelAt(result, x, y)[k], c.channels[k], 1) << x << "," << y << " #" << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DownscaleUniform, ::testing::ValuesIn(UniformCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The exact area average in linear light, written independently of the filter: each
// source pixel weighs as much as it overlaps the new pixel's area.
std::vector<std::pair<int, double>> Overlaps(int index, double reduction, int limit) {
  std::vector<std::pair<int, double>> weights;
  const double from = index * reduction;
  const double to = (index + 1) * reduction;
  for (int i = static_cast<int>(std::floor(from)); i < std::ceil(to) && i < limit; ++i) {
    const double overlap = std::min<double>(i + 1, to) - std::max<double>(i, from);
    if (overlap > 0) weights.emplace_back(i, overlap);
  }
  return weights;
}

TEST(Downscale, MatchesAnExactAreaAverageAcrossBandsAndStrips) {
  // Large enough that the picture is worked in several strips and bands.
  const int32_t width = 5000, height = 260, newWidth = 4500, newHeight = 120;
  const Picture source = MakePicture(width, height, 24, [](int x, int y, uint8_t* p) {
    const uint32_t colour = testing::GradientColour(x % 701, y);
    p[0] = static_cast<uint8_t>(colour >> 16);
    p[1] = static_cast<uint8_t>(colour >> 8);
    p[2] = static_cast<uint8_t>(colour);
  });
  Picture result;
  ASSERT_EQ(Downscale(source, newWidth, newHeight, result), ResampleStatus::kDone);
  const double rx = static_cast<double>(width) / newWidth;
  const double ry = static_cast<double>(height) / newHeight;
  double worstLight = 0;
  double codeErrors = 0;
  for (int y = 0; y < newHeight; ++y) {
    const auto rows = Overlaps(y, ry, height);
    for (int x = 0; x < newWidth; ++x) {
      const auto columns = Overlaps(x, rx, width);
      for (int k = 0; k < 3; ++k) {
        double sum = 0, total = 0;
        for (const auto& [j, wy] : rows) {
          for (const auto& [i, wx] : columns) {
            sum += Light(PixelAt(source, i, j)[k]) * wx * wy;
            total += wx * wy;
          }
        }
        const int got = PixelAt(result, x, y)[k];
        worstLight = std::max(worstLight, std::abs(Light(got) - sum / total));
        codeErrors += std::abs(got - Code(sum / total));
      }
    }
  }
  // Half a code step at the bright end is 0.0045 of full light; the filter's own
  // rounding (area edges to 1/4096 of a pixel, sums to 2^-16) adds little to it.
  EXPECT_LE(worstLight, 0.006);
  EXPECT_LE(codeErrors / (3.0 * newWidth * newHeight), 0.05);
}

TEST(Downscale, ScalesTheDensityWithThePixels) {
  Picture source = MakePicture(400, 300, 24, [](int, int, uint8_t* p) { p[0] = p[1] = p[2] = 7; });
  source.xResolution = 300;
  source.yResolution = 200;
  Picture result;
  ASSERT_EQ(Downscale(source, 100, 150, result), ResampleStatus::kDone);
  EXPECT_FLOAT_EQ(result.xResolution, 75);
  EXPECT_FLOAT_EQ(result.yResolution, 100);

  source.xResolution = source.yResolution = 0;
  ASSERT_EQ(Downscale(source, 100, 150, result), ResampleStatus::kDone);
  EXPECT_EQ(result.xResolution, 0);
  EXPECT_EQ(result.yResolution, 0);
}

struct RefusalCase {
  const char* name;
  int32_t sourceWidth;
  int32_t sourceHeight;
  int bitsPerPixel;
  int32_t width;
  int32_t height;
  ResampleStatus status;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class DownscaleRefuses : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(DownscaleRefuses, AndLeavesTheResultAlone) {
  const RefusalCase& c = GetParam();
  Picture source = MakePicture(c.sourceWidth, c.sourceHeight, 24, [](int, int, uint8_t*) {});
  source.bitsPerPixel = static_cast<uint8_t>(c.bitsPerPixel);
  Picture result;
  EXPECT_EQ(Downscale(source, c.width, c.height, result), c.status);
  EXPECT_EQ(result.pixels, nullptr);
  EXPECT_EQ(result.width, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownscaleRefuses,
    ::testing::Values(
        RefusalCase{"SameSize", 20, 10, 24, 20, 10, ResampleStatus::kInvalid},
        RefusalCase{"Wider", 20, 10, 24, 21, 5, ResampleStatus::kInvalid},
        RefusalCase{"NoWidth", 20, 10, 24, 0, 5, ResampleStatus::kInvalid},
        RefusalCase{"SixteenBits", 20, 10, 16, 10, 5, ResampleStatus::kInvalid},
        RefusalCase{"BeyondFixedPoint", kMaxResampleSide + 1, 1, 24, 1000, 1,
                    ResampleStatus::kTooLarge},
        RefusalCase{"ReducedTooFar", kMaxReduction * 2 + 2, 4, 24, 2, 4,
                    ResampleStatus::kTooLarge}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
