// Every BMP, GIF and PNG picture of the shared corpus through picture processing under
// each rule: what is taken is smaller, complete and of the source's size, lossless
// output shows the source's pixels, and what does not decode whole, or moves, keeps
// its bytes.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "image/bmp_reader.h"
#include "picture/picture_processing.h"
#include "image/gif_reader.h"
#include "image/png_codec.h"
#include "picture/processing_fixture.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

// A source as this program's own reader decodes it, as RGBA.
struct Decoded {
  bool read = false;
  int status = 2;
  int width = 0, height = 0;
  int frames = 1;
  std::string rgba;
};

Decoded DecodeSource(const std::string& path, PictureKind kind) {
  Picture picture;
  Decoded decoded;
  const ReadStatus status = ReadPictureAs(path, kind, picture);
  decoded.read = HasPicture(status);
  decoded.status = static_cast<int>(status);
  if (!decoded.read) return decoded;
  decoded.width = picture.width;
  decoded.height = picture.height;
  decoded.frames = picture.frames;
  const size_t step = picture.bitsPerPixel / 8;
  for (size_t i = 0; i < picture.PixelCount(); ++i) {
    const uint8_t* p = picture.pixels.get() + i * step;
    decoded.rgba.append(reinterpret_cast<const char*>(p), 3);
    decoded.rgba += static_cast<char>(step == 4 ? p[3] : 255);
  }
  return decoded;
}

// Colours under alpha 0 are invisible; decoders and writers may leave any value there.
std::string VisibleRgba(std::string rgba) {
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    if (rgba[i + 3] == 0) rgba.replace(i, 3, 3, '\0');
  }
  return rgba;
}

class CorpusPicture : public testing::PictureProcessing,
                      public ::testing::WithParamInterface<std::string> {};

TEST_P(CorpusPicture, EveryRuleGivesASoundResult) {
  VELMORA_REQUIRE_CORPUS();
  const std::string bytes = testing::ReadFile(GetParam());
  testing::WriteFile(dir_.File("probe"), bytes);
  const std::optional<PictureKind> detected = DetectPictureKind(dir_.File("probe"));
  if (!detected) {
    EXPECT_EQ(Process(bytes), std::nullopt);
    EXPECT_EQ(Lines(), std::vector<std::string>{});
    return;
  }
  const Decoded source = DecodeSource(dir_.File("probe"), *detected);
  options_.extraOptimisers = false;
  for (ConversionRule rule :
       {ConversionRule::kBmpToPng, ConversionRule::kBmpToJpeg, ConversionRule::kPngQuant}) {
    SCOPED_TRACE(static_cast<int>(rule));
    options_.conversionRule = rule;
    const std::optional<PictureKind> kind = Process(bytes);
    if (!source.read || source.status != 0 || source.frames > 1) {
      EXPECT_EQ(kind, std::nullopt);
      continue;
    }
    if (kind == std::nullopt) continue;
    const int32_t size = GetFileSize32(outcome_.rewrittenPath);
    EXPECT_TRUE(IsSmallerThanOriginal(size, picture_.originalSize)) << size;
    auto output = testing::DecodeWithPil(outcome_.rewrittenPath);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->width, source.width);
    EXPECT_EQ(output->height, source.height);
    if (kind == PictureKind::kJpeg) {
      EXPECT_EQ(detected, PictureKind::kBmp) << "only bitmaps become JPEG";
      EXPECT_TRUE(rule == ConversionRule::kBmpToJpeg);
      continue;
    }
    ASSERT_EQ(kind, PictureKind::kPng);
    if (output->mode == "P") {
      std::set<std::string> colours;
      for (size_t i = 0; i + 3 < output->rgba.size(); i += 4) {
        colours.insert(output->rgba.substr(i, 4));
      }
      EXPECT_LE(colours.size(), 256u);
    } else {
      EXPECT_TRUE(rule != ConversionRule::kPngQuant) << "the rule asks for a palette";
      EXPECT_TRUE(VisibleRgba(output->rgba) == VisibleRgba(source.rgba))
          << "lossless output differs";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusPicture, ::testing::ValuesIn(testing::CorpusCases({{"img/bmp", {".bmp"}}, {"img/gif", {".gif"}}, {"img/png", {".png"}}})),
                         testing::CorpusCaseName);

}  // namespace
}  // namespace velmora
