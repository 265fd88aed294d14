#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/picture_processing.h"
#include "image/jpeg_codec.h"
#include "picture/processing_fixture.h"
#include "support/bmp_writer.h"
#include "support/gif_writer.h"
#include "support/independent_decoder.h"
#include "support/jpeg_fixtures.h"
#include "support/png_builder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::PictureProcessing;

// Stands for the "writing `...` finished" line, whose path only the run knows.
const char kFinished[] = "<finished>";

struct DecisionRow {
  const char* name;
  std::string bytes;
  ConversionRule rule;
  std::optional<PictureKind> kind;      // the replacement's kind, nothing when kept
  PictureDecision decision;             // as a report states it
  std::vector<std::string> lines;       // after the kind line
  const char* extension;                // of the output name; "" when none is taken
  unsigned memoryBudgetMiB = ShrinkOptions::kDefaultMemoryBudgetMiB;
};

std::string Jpeg64x48() {
  testing::JpegLayout layout;
  layout.width = 64;
  layout.height = 48;
  return testing::MakeJpeg(layout);
}

void PrintTo(const DecisionRow& row, std::ostream* os) { *os << row.name; }

std::vector<DecisionRow> DecisionRows() {
  using testing::GradientBmp;
  const std::string png = testing::GradientPng(64, 48, 0);
  const std::string bmp24 = GradientBmp(64, 48, 24);
  const std::string rewritten = "rewritten file is to be written";
  const std::string kept = "original file is to be written";
  const std::string animatedPng = "animated PNG (acTL), original file is to be written";
  const std::string overBudget =
      "picture of 64x48 needs about 1 MiB, over the memory budget of 0 MiB: original file is to "
      "be written";
  const PictureDecision used = PictureDecision::kRewritten;
  const PictureDecision overBudgetDecision = PictureDecision::kOverMemoryBudget;
  return {
      {"PngRule0", png, ConversionRule::kBmpToPng, PictureKind::kPng, used,
       {"writing PNG...", kFinished, rewritten}, "png"},
      {"PngRule1", png, ConversionRule::kBmpToJpeg, PictureKind::kPng, used,
       {"writing PNG...", kFinished, rewritten}, "png"},
      {"PngRule2", png, ConversionRule::kPngQuant, PictureKind::kPng, used,
       {"writing PNGquant...", kFinished, rewritten}, "png"},
      {"Bmp24Rule0", bmp24, ConversionRule::kBmpToPng, PictureKind::kPng, used,
       {"converting to PNG...", kFinished, rewritten}, "png"},
      {"Bmp24Rule1", bmp24, ConversionRule::kBmpToJpeg, PictureKind::kJpeg, used,
       {"converting to JPEG...", kFinished, rewritten}, "jpg"},
      {"Bmp24Rule2", bmp24, ConversionRule::kPngQuant, PictureKind::kPng, used,
       {"converting to PNGquant...", kFinished, rewritten}, "png"},
      {"Bmp32Rule1", GradientBmp(64, 48, 32), ConversionRule::kBmpToJpeg, PictureKind::kJpeg, used,
       {"converting to JPEG...", kFinished, rewritten}, "jpg"},
      // At most 8 bits: a palette PNG whatever the rule.
      {"Bmp8Rule1", testing::StripedBmp(64, 48, 8), ConversionRule::kBmpToJpeg, PictureKind::kPng,
       used, {"converting to PNGquant...", kFinished, rewritten}, "png"},
      {"Bmp4Rule0", testing::StripedBmp(64, 48, 4), ConversionRule::kBmpToPng, PictureKind::kPng,
       used, {"converting to PNGquant...", kFinished, rewritten}, "png"},
      // One pixel: any PNG is larger than the 58-byte bitmap.
      {"TinyBmpRule0", GradientBmp(1, 1, 24), ConversionRule::kBmpToPng, std::nullopt,
       PictureDecision::kNotSmaller, {"converting to PNG...", kFinished, kept}, "png"},
      {"StillGifRule0", testing::StripedGif(64, 48), ConversionRule::kBmpToPng, PictureKind::kPng,
       used, {"converting to PNGquant...", kFinished, rewritten}, "png"},
      {"StillGifRule1", testing::StripedGif(64, 48), ConversionRule::kBmpToJpeg, PictureKind::kPng,
       used, {"converting to PNGquant...", kFinished, rewritten}, "png"},
      {"AnimatedGifSwitchOff", testing::MovingSquareGif(32, 32, 3), ConversionRule::kBmpToPng,
       std::nullopt, PictureDecision::kAnimationKept,
       {"frame count > 1, original file is to be written"}, ""},
      // An animated PNG is never flattened into its first frame, whatever the rule.
      {"AnimatedPngRule0", testing::AnimatedPng(64, 48), ConversionRule::kBmpToPng, std::nullopt,
       PictureDecision::kAnimationKept, {animatedPng}, ""},
      {"AnimatedPngRule1", testing::AnimatedPng(64, 48), ConversionRule::kBmpToJpeg, std::nullopt,
       PictureDecision::kAnimationKept, {animatedPng}, ""},
      {"AnimatedPngRule2", testing::AnimatedPng(64, 48), ConversionRule::kPngQuant, std::nullopt,
       PictureDecision::kAnimationKept, {animatedPng}, ""},
      // A picture whose decoding would pass the memory budget keeps its bytes,
      // judged from its headers: 64 x 48 pixels need 24 KiB, said as 1 MiB.
      {"PngOverBudget", png, ConversionRule::kBmpToPng, std::nullopt, overBudgetDecision,
       {overBudget}, "", 0},
      {"BmpOverBudget", bmp24, ConversionRule::kBmpToJpeg, std::nullopt, overBudgetDecision,
       {overBudget}, "", 0},
      {"GifOverBudget", testing::StripedGif(64, 48), ConversionRule::kBmpToPng, std::nullopt,
       overBudgetDecision, {overBudget}, "", 0},
      {"JpegOverBudget", Jpeg64x48(), ConversionRule::kBmpToPng, std::nullopt, overBudgetDecision,
       {"picture of 64x48 needs about 1 MiB, over the memory budget of 0 MiB: original file is "
        "to be written"}, "", 0},
  };
}

// The optimiser switch is off here: these are the decisions of picture processing
// itself. The optimisers' part is tested with the tools.
class PictureBranch : public PictureProcessing,
                      public ::testing::WithParamInterface<DecisionRow> {};

TEST_P(PictureBranch, LogsItsBranchAndReturnsItsKindAndDecision) {
  const DecisionRow& row = GetParam();
  options_.conversionRule = row.rule;
  options_.extraOptimisers = false;
  options_.memoryBudgetMiB = row.memoryBudgetMiB;
  EXPECT_EQ(Process(row.bytes, 6), row.kind);
  EXPECT_EQ(outcome_.decision, row.decision);

  const std::optional<PictureKind> detected = DetectPictureKind(picture_.sourcePath);
  ASSERT_TRUE(detected);
  std::vector<std::string> expected = {std::string("embedded 7 is ") + NameOf(*detected)};
  for (const std::string& line : row.lines) {
    expected.push_back(line == kFinished ? Finished() : line);
  }
  EXPECT_EQ(Lines(), expected);

  const std::string extension = row.extension;
  if (extension.empty()) {
    EXPECT_EQ(outcome_.rewrittenPath, "");
  } else {
    ASSERT_GT(outcome_.rewrittenPath.size(), extension.size());
    EXPECT_EQ(outcome_.rewrittenPath.substr(outcome_.rewrittenPath.size() - extension.size()), extension);
    EXPECT_EQ(temp_.Registered().back(), outcome_.rewrittenPath);
  }
}

INSTANTIATE_TEST_SUITE_P(Branches, PictureBranch, ::testing::ValuesIn(DecisionRows()),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture that decodes only in part keeps its bytes, whatever its kind: a cut
// picture must not replace one that viewers show whole.
struct DamagedRow {
  const char* name;
  std::string bytes;
  const char* kindLine;
};

void PrintTo(const DamagedRow& row, std::ostream* os) { *os << row.name; }

std::vector<DamagedRow> DamagedRows() {
  const std::string bmp = testing::GradientBmp(64, 48, 24);
  const std::string gif = testing::StripedGif(64, 48);
  const std::string animated = testing::MovingSquareGif(32, 32, 3);
  const std::string png = testing::GradientPng(64, 48, 9);
  return {
      {"BmpWithoutItsLastRows", bmp.substr(0, bmp.size() - 600), "embedded 1 is BMP"},
      {"GifCutInItsData", gif.substr(0, gif.size() / 2), "embedded 1 is GIF"},
      {"AnimatedGifWithoutItsLastFrame", animated.substr(0, animated.size() - 40),
       "embedded 1 is GIF"},
      {"PngCutInItsData", png.substr(0, png.size() * 2 / 3), "embedded 1 is PNG"},
  };
}

class DamagedPicture : public PictureProcessing,
                       public ::testing::WithParamInterface<DamagedRow> {};

TEST_P(DamagedPicture, KeepsItsBytesUnderEveryRule) {
  for (ConversionRule rule :
       {ConversionRule::kBmpToPng, ConversionRule::kBmpToJpeg, ConversionRule::kPngQuant}) {
    options_.conversionRule = rule;
    options_.extraOptimisers = rule == ConversionRule::kBmpToPng;
    const size_t before = Lines().size();
    EXPECT_EQ(Process(GetParam().bytes), std::nullopt) << static_cast<int>(rule);
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{GetParam().kindLine,
                                        "reading embedded failed. original file is to be written"}))
        << static_cast<int>(rule);
    EXPECT_EQ(outcome_.rewrittenPath, "");
    EXPECT_EQ(outcome_.decision, PictureDecision::kUnreadable);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedPicture, ::testing::ValuesIn(DamagedRows()),
                         [](const auto& info) { return std::string(info.param.name); });

// A bitmap without its file header whose header-size field is made of another kind's
// signature: it passes both kind tests and is taken as the kind tested first.
std::string HeaderlessBmpBehind(const std::string& signature) {
  std::string bytes = signature;
  bytes.resize(4, '\0');
  auto put32 = [&bytes](uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put32(16);                          // width
  put32(1);                           // height
  bytes += std::string("\x01\0\x18\0", 4);  // planes 1, 24 bits
  put32(0);                           // no compression
  put32(1 << 20);                     // image size, covering the row
  bytes += std::string(16, '\0');     // resolutions, colour counts
  return bytes + std::string(64, '\x7F');
}

TEST_F(PictureProcessing, FileThatPassesTwoKindTestsIsTakenAsTheEarlierKind) {
  struct Case {
    std::string signature;
    PictureKind laterKind;
  } cases[] = {{"GIF8", PictureKind::kGif}, {"\xFF\xD8\xFF\x7F", PictureKind::kJpeg}};
  for (const Case& c : cases) {
    const std::string bytes = HeaderlessBmpBehind(c.signature);
    testing::WriteFile(dir_.File("alone"), bytes.substr(0, 4) + std::string(120, '\0'));
    ASSERT_EQ(DetectPictureKind(dir_.File("alone")), c.laterKind) << c.signature;
    testing::WriteFile(dir_.File("both"), bytes);
    EXPECT_EQ(DetectPictureKind(dir_.File("both")), PictureKind::kBmp) << c.signature;
    const size_t before = Lines().size();
    Process(bytes);
    const std::vector<std::string> lines = Lines();
    ASSERT_GT(lines.size(), before);
    EXPECT_EQ(lines[before], "embedded 1 is BMP") << c.signature;
  }
}

TEST(PictureKind, EachKindIsDetected) {
  testing::TempDir dir;
  const std::pair<std::string, PictureKind> cases[] = {
      {testing::GradientBmp(4, 4), PictureKind::kBmp},
      {testing::StripedGif(4, 4), PictureKind::kGif},
      {testing::GradientPng(4, 4, 9), PictureKind::kPng}};
  for (const auto& [bytes, kind] : cases) {
    testing::WriteFile(dir.File("p"), bytes);
    EXPECT_EQ(DetectPictureKind(dir.File("p")), kind);
  }
}

// What the JPEG encoder is given for a bitmap with alpha: transparent pixels take the
// background colour, a background text that is not six digits counts as white.
TEST_F(PictureProcessing, TransparentBitmapBecomesJpegOverTheBackgroundColour) {
  struct Case {
    const char* background;
    int red, green, blue;
  } cases[] = {{"0000FF", 0, 0, 255}, {"FF8000", 255, 128, 0}, {"12", 255, 255, 255}};
  options_.conversionRule = ConversionRule::kBmpToJpeg;
  options_.extraOptimisers = false;
  for (const Case& c : cases) {
    options_.backgroundText = c.background;
    ASSERT_EQ(Process(testing::GradientBmp(64, 48, 32)), PictureKind::kJpeg) << c.background;
    Picture jpeg;
    int status = -1;
    ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, outcome_.rewrittenPath, jpeg, status));
    ASSERT_EQ(jpeg.bitsPerPixel, 24);
    // The middle of the transparent right half, and of the opaque left half.
    const uint8_t* right = jpeg.pixels.get() + (24 * 64 + 48) * 3;
    EXPECT_NEAR(right[0], c.red, 3) << c.background;
    EXPECT_NEAR(right[1], c.green, 3) << c.background;
    EXPECT_NEAR(right[2], c.blue, 3) << c.background;
    const uint32_t colour = testing::GradientColour(16, 24);
    const uint8_t* left = jpeg.pixels.get() + (24 * 64 + 16) * 3;
    // Red and green are smooth there; blue's texture is what JPEG smooths away.
    EXPECT_NEAR(left[0], static_cast<int>(colour >> 16), 6);
    EXPECT_NEAR(left[1], static_cast<int>((colour >> 8) & 0xFF), 6);
  }
}

// Every rewritten PNG shows the source: losslessly for many colours, within the
// source's size and 256 colours for palette output.
TEST_F(PictureProcessing, RewrittenPngsShowTheSource) {
  options_.extraOptimisers = false;
  const std::string gradient = testing::GradientRgb(64, 48);
  struct Case {
    std::string bytes;
    ConversionRule rule;
    bool lossless;
  } cases[] = {{testing::GradientBmp(64, 48, 24), ConversionRule::kBmpToPng, true},
               {testing::GradientPng(64, 48, 0), ConversionRule::kBmpToPng, true},
               {testing::GradientPng(64, 48, 0), ConversionRule::kPngQuant, false},
               {testing::StripedGif(64, 48), ConversionRule::kBmpToPng, false}};
  for (const Case& c : cases) {
    options_.conversionRule = c.rule;
    ASSERT_EQ(Process(c.bytes), PictureKind::kPng);
    auto decoded = testing::DecodeWithPil(outcome_.rewrittenPath);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 64);
    EXPECT_EQ(decoded->height, 48);
    if (c.lossless) {
      for (size_t i = 0; i < 64 * 48; ++i) {
        ASSERT_EQ(decoded->rgba.substr(i * 4, 3), gradient.substr(i * 3, 3)) << i;
      }
    } else {
      EXPECT_EQ(decoded->mode, "P");
    }
  }
}

}  // namespace
}  // namespace velmora
