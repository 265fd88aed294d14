#include "image/png_encoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/deflate.h"
#include "image/png_codec.h"
#include "support/independent_decoder.h"
#include "support/png_builder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

// A picture whose pixel i is colour(i) as 0xRRGGBBAA.
Picture MakePicture(int width, int height, bool alpha,
                    const std::function<uint32_t(int x, int y)>& colour) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.bitsPerPixel = alpha ? 32 : 24;
  picture.pixels = AllocatePixels(width, height, alpha ? 4 : 3);
  const int step = alpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t rgba = colour(x, y);
      uint8_t* p = picture.pixels.get() + (static_cast<size_t>(y) * width + x) * step;
      p[0] = static_cast<uint8_t>(rgba >> 24);
      p[1] = static_cast<uint8_t>(rgba >> 16);
      p[2] = static_cast<uint8_t>(rgba >> 8);
      if (alpha) p[3] = static_cast<uint8_t>(rgba);
    }
  }
  return picture;
}

std::string Rgba(const Picture& picture) {
  std::string out;
  const int step = picture.bitsPerPixel / 8;
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const uint8_t* p = picture.pixels.get() + i * step;
    out.append(reinterpret_cast<const char*>(p), 3);
    out += static_cast<char>(step == 4 ? p[3] : 255);
  }
  return out;
}

// A PNG file of one stored form and filter, assembled here (not by the writer), so that
// every form and filter is seen by the independent decoder.
std::string FileOf(const PngImage& image, FilterChoice filter) {
  std::string header = testing::BigEndian32(image.width) + testing::BigEndian32(image.height);
  header += static_cast<char>(image.bitDepth);
  header += static_cast<char>(image.colourType);
  header += std::string(3, '\0');
  std::string file = std::string("\x89PNG\r\n\x1A\n", 8) + testing::EncodeChunk("IHDR", header);
  if (image.colourType == 3) {
    file += testing::EncodeChunk("PLTE", std::string(image.palette.begin(), image.palette.end()));
    if (!image.paletteAlpha.empty()) {
      file += testing::EncodeChunk(
          "tRNS", std::string(image.paletteAlpha.begin(), image.paletteAlpha.end()));
    }
  }
  file += testing::EncodeChunk("IDAT", *Deflate(FilterRows(image, filter), 9, DeflateFormat::kZlib));
  return file + testing::EncodeChunk("IEND", "");
}

struct FormCase {
  const char* name;
  Picture (*make)();
  // The stored forms expected, most compact first, as colour type and bit depth.
  std::vector<std::pair<int, int>> forms;
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

const FormCase kFormCases[] = {
    {"TwoColoursBecomeOneBitPalette",
     [] { return MakePicture(19, 5, false, [](int x, int y) { return (x + y) % 2 ? 0xFF0000FFu : 0x0000FFFFu; }); },
     {{3, 1}, {2, 8}}},
    {"OpaqueAlphaIsDropped",
     [] { return MakePicture(40, 9, true, [](int x, int y) { return (uint32_t(x % 10 * 20) << 24) | (uint32_t(y * 20) << 16) | 0x3300FFu; }); },
     {{3, 8}, {2, 8}}},
    {"BlackAndWhiteGreyIsOneBit",
     [] { return MakePicture(21, 4, false, [](int x, int) { return x % 3 ? 0xFFFFFFFFu : 0x000000FFu; }); },
     {{3, 1}, {0, 1}, {2, 8}}},
    {"SixteenGreyLevelsAreFourBit",
     [] { return MakePicture(16, 16, false, [](int x, int) { const uint32_t v = uint32_t(x) * 17; return (v << 24) | (v << 16) | (v << 8) | 0xFF; }); },
     {{3, 4}, {0, 4}, {2, 8}}},
    {"ManyGreyLevelsWithAlphaAreGreyAlpha",
     [] { return MakePicture(30, 30, true, [](int x, int y) { const uint32_t v = uint32_t(x * 30 + y) % 251; return (v << 24) | (v << 16) | (v << 8) | uint32_t(y * 8); }); },
     {{4, 8}, {6, 8}}},
    {"TransparentFewColoursKeepTheirAlphaInTheirPalette",
     [] { return MakePicture(9, 9, true, [](int x, int) { return x < 3 ? 0x11223300u : x < 6 ? 0x44556680u : 0x778899FFu; }); },
     {{3, 2}, {6, 8}}},
    {"ManyColoursStayTrueColour",
     [] { return MakePicture(64, 64, false, [](int x, int y) { return (uint32_t(x * 4) << 24) | (uint32_t(y * 4) << 16) | (uint32_t(x ^ y) << 8) | 0xFF; }); },
     {{2, 8}}},
};

class PngForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(PngForms, EveryFormAndFilterDecodesToTheSamePixels) {
  const Picture picture = GetParam().make();
  const std::vector<PngImage> forms = LosslessForms(picture, true);
  std::vector<std::pair<int, int>> shapes;
  for (const PngImage& form : forms) shapes.emplace_back(form.colourType, form.bitDepth);
  EXPECT_EQ(shapes, GetParam().forms);

  testing::TempDir dir;
  for (const PngImage& form : forms) {
    for (FilterChoice filter : {FilterChoice::kNone, FilterChoice::kSub, FilterChoice::kUp,
                                FilterChoice::kPaeth, FilterChoice::kAdaptive}) {
      const std::string filtered = FilterRows(form, filter);
      EXPECT_EQ(UnfilterRows(filtered, form), form.rows);
      const std::string path = dir.File("form.png");
      testing::WriteFile(path, FileOf(form, filter));
      const auto decoded = testing::DecodeWithPil(path);
      ASSERT_TRUE(decoded) << form.colourType << "/" << form.bitDepth;
      EXPECT_EQ(decoded->rgba, Rgba(picture))
          << form.colourType << "/" << form.bitDepth << " filter " << static_cast<int>(filter);
    }
  }

  // The writer keeps the smallest of them, with its palette counted, and its file
  // reads back to the same pixels.
  const std::string written = dir.File("written.png");
  ASSERT_TRUE(WritePng(written, picture, "", kStrongestDeflate));
  Picture again;
  ASSERT_EQ(ReadPng(written, again), ReadStatus::kComplete);
  EXPECT_EQ(Rgba(again), Rgba(picture));
  for (const PngImage& form : forms) {
    EXPECT_LE(testing::ReadFile(written).size(), FileOf(form, FilterChoice::kNone).size())
        << form.colourType << "/" << form.bitDepth;
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngForms, ::testing::ValuesIn(kFormCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The smallest form and filter at the quick trial level (5) wins; a large winner is
// compressed again at the level asked for and keeps the stronger bytes only where they
// are smaller, a small one is tried at that level at once.
struct CompressionCase {
  const char* name;
  int width, height;
  bool noise;
  int level;
  int trialLevel;
};

void PrintTo(const CompressionCase& c, std::ostream* os) { *os << c.name; }

class SmallestCompression : public ::testing::TestWithParam<CompressionCase> {};

TEST_P(SmallestCompression, KeepsTheTrialsWinnerAtItsBestLevel) {
  const CompressionCase& c = GetParam();
  uint32_t seed = 12345;
  const Picture picture = MakePicture(c.width, c.height, true, [&](int x, int y) {
    seed = seed * 1103515245u + 12345u;
    return c.noise ? seed : (uint32_t(x) << 24) | (uint32_t(y) << 16) | (uint32_t(x * y) << 8) | 0x80;
  });
  const std::vector<PngImage> forms = LosslessForms(picture, true);
  const std::optional<CompressedImage> best = CompressSmallest(forms, c.level);
  ASSERT_TRUE(best);
  auto trial = [&](size_t form, FilterChoice filter) {
    return Deflate(FilterRows(forms[form], filter), c.trialLevel, DeflateFormat::kZlib)->size() +
           forms[form].ChunkBytes();
  };
  const size_t won = trial(best->form, best->filter);
  for (size_t form = 0; form < forms.size(); ++form) {
    for (FilterChoice filter : {FilterChoice::kNone, FilterChoice::kSub, FilterChoice::kUp,
                                FilterChoice::kPaeth, FilterChoice::kAdaptive}) {
      EXPECT_LE(won, trial(form, filter)) << form << " " << static_cast<int>(filter);
    }
  }
  const std::string filtered = FilterRows(forms[best->form], best->filter);
  const std::string atTrial = *Deflate(filtered, c.trialLevel, DeflateFormat::kZlib);
  const std::string atLevel = *Deflate(filtered, c.level, DeflateFormat::kZlib);
  EXPECT_EQ(best->data, atLevel.size() < atTrial.size() ? atLevel : atTrial);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, SmallestCompression,
    ::testing::Values(CompressionCase{"LargeSmoothAgainAtLevel12", 200, 120, false, 12, 5},
                      CompressionCase{"LargeNoiseAgainAtLevel12", 200, 120, true, 12, 5},
                      CompressionCase{"SmallTriedAtItsLevel", 60, 40, false, 12, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PngForms, AColourProfileKeepsColourForms) {
  const Picture grey = MakePicture(8, 8, false, [](int x, int) { return x % 2 ? 0xFFFFFFFFu : 0x000000FFu; });
  for (const PngImage& form : LosslessForms(grey, false)) {
    EXPECT_NE(form.colourType, 0);
    EXPECT_NE(form.colourType, 4);
  }
}

}  // namespace
}  // namespace velmora
