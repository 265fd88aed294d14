// Picture processing with a printing density (--ppi): what is resampled decodes at
// the size its frames need with its density scaled, what is not says why, and
// verification holds a resampled picture to the computed size.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "picture/picture_processing.h"
#include "picture/processing_fixture.h"
#include "picture/verification.h"
#include "support/exif_fixtures.h"
#include "support/gif_writer.h"
#include "support/independent_decoder.h"
#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/png_builder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::PictureProcessing;

// One frame of the given inches showing the whole picture.
PictureUses ShownAt(double widthInches, double heightInches) {
  PictureUses uses;
  uses.frames.push_back({widthInches * kHwpUnitsPerInch, heightInches * kHwpUnitsPerInch,
                         std::nullopt, std::nullopt});
  return uses;
}

std::string Jpeg(bool jfif, std::vector<std::pair<int, std::string>> markers = {}) {
  testing::JpegLayout layout;
  layout.width = 96;
  layout.height = 64;
  layout.jfif = jfif;
  layout.xDensity = layout.yDensity = 300;
  layout.markers = std::move(markers);
  return testing::MakeJpeg(layout);
}

// A camera's block: a density of 200 per inch (inches by the unit entry, or by default
// without one), an orientation and the pixel dimensions.
std::string CameraExif(bool unit = true, uint32_t orientation = 1) {
  testing::ExifSpec exif;
  exif.ifd0 = {testing::RationalValue(0x011A, 200, 1), testing::RationalValue(0x011B, 200, 1),
               testing::Short(0x0112, orientation)};
  if (unit) exif.ifd0.push_back(testing::Short(0x0128, 2));
  exif.exif = {testing::Long(0xA002, 96), testing::Long(0xA003, 64)};
  return testing::BuildExif(exif);
}

std::string PngAt300PerInch() {
  testing::PngLayout png;
  png.width = 96;
  png.height = 64;
  for (uint32_t y = 0; y < png.height; ++y) {
    for (uint32_t x = 0; x < png.width; ++x) {
      const uint32_t colour = testing::NoiseColour(static_cast<int>(x), static_cast<int>(y));
      png.samples.push_back(static_cast<uint16_t>(colour >> 16));
      png.samples.push_back(static_cast<uint16_t>((colour >> 8) & 0xFF));
      png.samples.push_back(static_cast<uint16_t>(colour & 0xFF));
    }
  }
  // 11811 pixels per metre: 300 per inch.
  png.chunks.push_back({"pHYs", testing::BigEndian32(11811) + testing::BigEndian32(11811) + '\x01'});
  return testing::EncodePng(png);
}

// The density a written file states, per inch: JFIF for JPEG, pHYs for PNG.
double StatedDensity(const std::string& path, PictureKind kind) {
  if (kind == PictureKind::kJpeg) {
    const std::optional<testing::JpegHeader> header = testing::ReadJpegHeader(path);
    return header && header->densityUnit == 1 ? header->xDensity : 0;
  }
  const std::string bytes = testing::ReadFile(path);
  const size_t at = bytes.find("pHYs");
  if (at == std::string::npos || at + 12 > bytes.size()) return 0;
  uint32_t perMetre = 0;
  for (int i = 0; i < 4; ++i) perMetre = (perMetre << 8) | static_cast<uint8_t>(bytes[at + 4 + i]);
  return perMetre * 0.0254;
}

// The lines about the picture's resolution, of all its log lines.
std::vector<std::string> ResolutionLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind("resampling ", 0) == 0 || line.rfind("resolution ", 0) == 0) {
      found.push_back(line);
    }
  }
  return found;
}

struct ResampleRow {
  const char* name;
  std::string bytes;
  ConversionRule rule;
  PictureKind kind;   // of the rewritten file
  int width;          // of the rewritten file
  int height;
  double density;     // stated by it, per inch (within one)
  const char* line;   // the resolution line of the log
};

void PrintTo(const ResampleRow& row, std::ostream* os) { *os << row.name; }

// Every picture is shown 0.1 × 0.1 inch at 300 ppi: 30 pixels on its shorter side.
std::vector<ResampleRow> ResampleRows() {
  return {
      {"JpegWithJfifDensity", Jpeg(true), ConversionRule::kBmpToPng, PictureKind::kJpeg, 45, 30,
       140.6, "resampling 96x64 to 45x30 for 300 ppi"},
      {"JpegWithCameraDensity", Jpeg(false, {{0xE1, CameraExif()}}), ConversionRule::kBmpToPng,
       PictureKind::kJpeg, 45, 30, 93.75, "resampling 96x64 to 45x30 for 300 ppi"},
      {"PngWithPhys", PngAt300PerInch(), ConversionRule::kBmpToPng, PictureKind::kPng, 45, 30,
       140.6, "resampling 96x64 to 45x30 for 300 ppi"},
      // A bitmap states no density: it is measured at 96 per inch.
      {"BmpAsPng", testing::NoiseBmp(96, 64, 24), ConversionRule::kBmpToPng, PictureKind::kPng,
       45, 30, 45, "resampling 96x64 to 45x30 for 300 ppi"},
      {"BmpAsJpeg", testing::GradientBmp(96, 64, 24), ConversionRule::kBmpToJpeg,
       PictureKind::kJpeg, 45, 30, 45, "resampling 96x64 to 45x30 for 300 ppi"},
      {"PaletteBmp", testing::NoiseBmp(96, 64, 8), ConversionRule::kBmpToPng, PictureKind::kPng,
       45, 30, 45, "resampling 96x64 to 45x30 for 300 ppi"},
  };
}

class ResampledPicture : public PictureProcessing,
                         public ::testing::WithParamInterface<ResampleRow> {};

TEST_P(ResampledPicture, DecodesAtTheComputedSizeWithItsDensityScaled) {
  const ResampleRow& row = GetParam();
  options_.conversionRule = row.rule;
  options_.extraOptimisers = false;
  options_.ppi = 300;
  uses_ = ShownAt(0.1, 0.1);
  ASSERT_EQ(Process(row.bytes), row.kind);
  EXPECT_TRUE(outcome_.resampled);
  EXPECT_EQ(ResolutionLines(Lines()), std::vector<std::string>{row.line});

  const std::optional<testing::DecodedPicture> decoded =
      testing::DecodeWithPil(outcome_.rewrittenPath);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, row.width);
  EXPECT_EQ(decoded->height, row.height);
  EXPECT_NEAR(StatedDensity(outcome_.rewrittenPath, row.kind), row.density, 1);
  const ResampledFor resampled{uses_, 300};
  EXPECT_TRUE(
      VerifyRewrittenPicture(picture_.sourcePath, outcome_.rewrittenPath, row.kind, &resampled)
          .passed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResampledPicture, ::testing::ValuesIn(ResampleRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PictureProcessing, CameraPixelDimensionsAndResolutionFollowTheResampling) {
  options_.ppi = 300;
  uses_ = ShownAt(0.1, 0.1);
  for (const bool unit : {true, false}) {
    ASSERT_EQ(Process(Jpeg(false, {{0xE1, CameraExif(unit)}})), PictureKind::kJpeg) << unit;
    const std::optional<std::string> payload =
        testing::ExifPayload(testing::ReadFile(outcome_.rewrittenPath));
    ASSERT_TRUE(payload) << unit;
    const testing::TiffDump dump = testing::DumpExif(*payload);
    EXPECT_EQ(dump.Number("Exif:A002"), 45u) << unit;
    EXPECT_EQ(dump.Number("Exif:A003"), 30u) << unit;
    for (const char* key : {"IFD0:011A", "IFD0:011B"}) {
      EXPECT_DOUBLE_EQ(static_cast<double>(dump.Number(key, 0)) / dump.Number(key, 1), 93.75)
          << key << " " << unit;
    }
  }
}

struct KeptRow {
  const char* name;
  std::string bytes;
  PictureUses uses;
  const char* line;  // the resolution line of the log, or "" for none
};

void PrintTo(const KeptRow& row, std::ostream* os) { *os << row.name; }

std::vector<KeptRow> KeptRows() {
  PictureUses fill = ShownAt(0.1, 0.1);
  fill.problem = KeepReason::kOtherUse;
  fill.detail = "hc:imgBrush";
  return {
      {"AnimatedGif", testing::MovingSquareGif(96, 64, 3), ShownAt(0.1, 0.1),
       "resolution 96x64 kept for 300 ppi: it is animated"},
      {"UsedAsAFill", Jpeg(true), fill,
       "resolution 96x64 kept for 300 ppi: it is also used by <hc:imgBrush>, whose printed size "
       "is not read"},
      {"ShownLargerThanItsPixels", Jpeg(true), ShownAt(1, 1),
       "resolution 96x64 kept for 300 ppi: its largest frame needs 300x300"},
      {"NotShown", testing::GradientPng(96, 64, 9), PictureUses{},
       "resolution 96x64 kept for 300 ppi: no picture frame shows it"},
      // Shown 0.2 × 0.1 inch it would need 60 × 40; turned by its EXIF block the frame's
      // 60 pixels may lie along its 64, which leaves too little to save.
      {"QuarterTurnedCamera", Jpeg(false, {{0xE1, CameraExif(true, 6)}}), ShownAt(0.2, 0.1),
       "resolution 96x64 kept for 300 ppi: 90x60 would save less than 20% of its pixels"},
  };
}

class KeptResolution : public PictureProcessing,
                       public ::testing::WithParamInterface<KeptRow> {};

TEST_P(KeptResolution, SaysWhyAndKeepsTheSize) {
  const KeptRow& row = GetParam();
  options_.extraOptimisers = false;
  options_.ppi = 300;
  uses_ = row.uses;
  Process(row.bytes);
  EXPECT_FALSE(outcome_.resampled);
  EXPECT_EQ(ResolutionLines(Lines()), std::vector<std::string>{row.line});
  if (outcome_.Replaces()) {
    const PictureShape shape = ReadPictureShape(outcome_.rewrittenPath, *outcome_.replacement);
    EXPECT_EQ(shape.width, 96);
    EXPECT_EQ(shape.height, 64);
  }
}

INSTANTIATE_TEST_SUITE_P(Reasons, KeptResolution, ::testing::ValuesIn(KeptRows()),
                         [](const auto& info) { return std::string(info.param.name); });

// Black and white blocks of 4 × 4 pixels at random: two colours at its own size, many
// greys once reduced by a quarter, whose file then comes out larger. The picture keeps
// its size, and the log says why. (A long text chunk makes the original the largest.)
TEST_F(PictureProcessing, LosslessPictureThatGrowsWhenReducedKeepsItsSize) {
  testing::PngLayout png;
  png.width = png.height = 400;
  png.colourType = 0;
  std::mt19937 random(16);
  std::vector<uint16_t> blocks(100 * 100);
  for (uint16_t& block : blocks) block = (random() & 1) != 0 ? 255 : 0;
  for (uint32_t y = 0; y < png.height; ++y) {
    for (uint32_t x = 0; x < png.width; ++x) png.samples.push_back(blocks[(y / 4) * 100 + x / 4]);
  }
  png.chunks.push_back({"tEXt", std::string("Comment") + '\0' + std::string(1 << 20, 'x')});
  options_.extraOptimisers = false;
  options_.ppi = 100;
  uses_ = ShownAt(3, 3);
  ASSERT_EQ(Process(testing::EncodePng(png)), PictureKind::kPng);
  EXPECT_FALSE(outcome_.resampled);
  const std::vector<std::string> lines = ResolutionLines(Lines());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "resampling 400x400 to 300x300 for 100 ppi");
  EXPECT_EQ(lines[1].rfind("resolution 400x400 kept for 100 ppi: resampled it is larger (", 0), 0u)
      << lines[1];
  const PictureShape shape = ReadPictureShape(outcome_.rewrittenPath, PictureKind::kPng);
  EXPECT_EQ(shape.width, 400);
  EXPECT_EQ(shape.height, 400);
  EXPECT_TRUE(VerifyRewrittenPicture(picture_.sourcePath, outcome_.rewrittenPath,
                                     PictureKind::kPng)
                  .passed);
}

TEST_F(PictureProcessing, WithoutAPrintingDensityNothingIsResampledOrSaid) {
  options_.extraOptimisers = false;
  uses_ = ShownAt(0.1, 0.1);
  ASSERT_EQ(Process(Jpeg(true)), PictureKind::kJpeg);
  EXPECT_FALSE(outcome_.resampled);
  for (const std::string& line : Lines()) {
    EXPECT_EQ(line.find("ppi"), std::string::npos) << line;
  }
  EXPECT_EQ(ReadPictureShape(outcome_.rewrittenPath, PictureKind::kJpeg).width, 96);
}

// A step that claims to have resampled is held to the size computed from the original,
// whatever it wrote.
TEST_F(PictureProcessing, ResampledPictureOfAnotherSizeFailsVerification) {
  struct Case {
    const char* name;
    PictureUses uses;
    int width, height;  // of the written picture
    const char* reason;
  } cases[] = {
      {"OriginalSize", ShownAt(0.1, 0.1), 96, 64, "JPEG is 96x64, computed 45x30"},
      {"OffByOne", ShownAt(0.1, 0.1), 45, 31, "JPEG is 45x31, computed 45x30"},
      {"NoNeedToResample", ShownAt(1, 1), 45, 30, "resampled, but its size needs no change"},
  };
  const std::string original = dir_.File("original.jpg");
  testing::WriteFile(original, Jpeg(true));
  for (const Case& c : cases) {
    testing::JpegLayout layout;
    layout.width = c.width;
    layout.height = c.height;
    layout.quality = 10;
    const std::string written = dir_.File("written.jpg");
    testing::WriteFile(written, testing::MakeJpeg(layout));
    const ResampledFor resampled{c.uses, 300};
    const Verification result =
        VerifyRewrittenPicture(original, written, PictureKind::kJpeg, &resampled);
    EXPECT_FALSE(result.passed) << c.name;
    EXPECT_EQ(result.reason, c.reason) << c.name;
  }
}

// The summary counts what went into the document reduced: resampled replacements that
// pass the size rule, with the bytes they saved.
TEST(CountingResampled, CountsResampledReplacementsThatPassTheSizeRule) {
  struct Case {
    bool replaces;
    bool resampled;
    int32_t written;  // bytes of the rewritten file; the original has 1000
  } cases[] = {
      {true, true, 400},    // counted, 600 saved
      {true, true, 1000},   // not smaller
      {true, false, 300},   // replaced at its own resolution
      {false, true, 200},   // kept after all (a failed verification)
      {true, true, 900},    // counted, 100 saved
  };
  testing::TempDir dir;
  TempFiles temp(true, dir.path());
  ProcessLog log;
  ResampleCounter counter;
  for (const Case& c : cases) {
    const std::string written = dir.File("written");
    testing::WriteFile(written, std::string(static_cast<size_t>(c.written), 'x'));
    PictureOutcome made =
        c.replaces ? PictureOutcome::Replace(PictureKind::kPng, written)
                   : PictureOutcome::Keep(PictureDecision::kVerificationFailed, written);
    made.resampled = c.resampled;
    const PictureProcessor counting = CountingResampled(
        [&made](const EmbeddedPicture&, const ShrinkOptions&, LogLines&, TempFiles&) {
          return made;
        },
        counter);
    EmbeddedPicture picture;
    picture.originalSize = 1000;
    const PictureOutcome outcome = counting(picture, ShrinkOptions{}, log, temp);
    EXPECT_EQ(outcome.Replaces(), c.replaces);
    EXPECT_EQ(outcome.resampled, c.resampled);
  }
  EXPECT_EQ(counter.Pictures(), 2);
  EXPECT_EQ(counter.SavedBytes(), 700);
}

}  // namespace
}  // namespace velmora
