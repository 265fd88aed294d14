#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/resolution.h"

namespace velmora {
namespace {

constexpr double kInch = kHwpUnitsPerInch;

PictureFrame Frame(double widthInches, double heightInches) {
  return PictureFrame{widthInches * kInch, heightInches * kInch, std::nullopt, std::nullopt};
}

PictureFrame Cropped(double widthInches, double heightInches, ClipRect clip,
                     std::optional<NaturalSize> natural) {
  return PictureFrame{widthInches * kInch, heightInches * kInch, clip, natural};
}

PictureUses Shown(std::vector<PictureFrame> frames) {
  PictureUses uses;
  uses.frames = std::move(frames);
  return uses;
}

PictureUses Problem(KeepReason reason, const char* detail) {
  PictureUses uses = Shown({Frame(1, 1)});
  uses.problem = reason;
  uses.detail = detail;
  return uses;
}

struct PlanCase {
  const char* name;
  PictureUses uses;
  int32_t width;
  int32_t height;
  int ppi;
  bool resample;
  KeepReason reason;
  int32_t newWidth;  // when resampled
  int32_t newHeight;
  bool quarterTurned = false;
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

std::vector<PlanCase> PlanCases() {
  const double cm = 1 / 2.54;
  return {
      // A phone photo shown 8 cm wide needs about 690 pixels across at 220 ppi.
      {"PhonePhotoInEightCentimetres", Shown({Frame(8 * cm, 6 * cm)}), 4032, 3024, 220, true,
       KeepReason::kNone, 693, 520},
      // A stretched frame: the axis that needs more decides for both.
      {"LargerAxisScaleWins", Shown({Frame(1, 2)}), 1000, 1000, 100, true, KeepReason::kNone, 200, 200},
      {"LargestOfRepeatedUses", Shown({Frame(2, 1), Frame(4, 2), Frame(1, 0.5)}), 2000, 1000, 100, true,
       KeepReason::kNone, 400, 200},
      {"NeverUpscaled", Shown({Frame(5, 5)}), 300, 200, 150, false, KeepReason::kSmallerThanNeed, 0, 0},
      {"NineTenthsSavesTooLittle", Shown({Frame(9, 9)}), 1000, 1000, 100, false,
       KeepReason::kSavesTooLittle, 900, 900},
      {"TwentyPercentIsEnough", Shown({Frame(8.94, 8.94)}), 1000, 1000, 100, true, KeepReason::kNone,
       894, 894},
      // Half the picture shown 1 inch wide: the whole picture needs 2 inches' worth.
      {"CropAgainstItsStatedPixels",
       Shown({Cropped(1, 1, {0, 75000, 0, 75000}, NaturalSize{150000, 75000})}), 2000, 1000, 100, true,
       KeepReason::kNone, 200, 100},
      {"WholeClipOfARoundedStatedSize",
       Shown({Cropped(1, 1, {0, 66360, 0, 38400}, NaturalSize{66360, 38400})}), 885, 512, 100, true,
       KeepReason::kNone, 173, 100},
      {"WholeClipWithoutStatedSize", Shown({Cropped(1, 1, {0, 90000, 0, 11460}, std::nullopt)}), 1200,
       153, 100, true, KeepReason::kNone, 785, 100},
      // A stated size that belongs to other pixels: a whole clip still shows the whole
      // picture, a part of it shows an unknown share.
      {"WholeClipAgainstAForeignSize",
       Shown({Cropped(1, 1, {0, 15000, 0, 15000}, NaturalSize{15000, 15000})}), 1000, 1000, 100, true,
       KeepReason::kNone, 100, 100},
      {"CropAgainstAForeignSize",
       Shown({Cropped(1, 1, {0, 7500, 0, 15000}, NaturalSize{15000, 15000})}), 1000, 1000, 100, false,
       KeepReason::kCropNotMapped, 0, 0},
      {"CropWithoutStatedSize", Shown({Cropped(1, 1, {0, 37500, 0, 75000}, std::nullopt)}), 1000, 1000,
       100, false, KeepReason::kCropNotMapped, 0, 0},
      {"CropBeyondThePicture",
       Shown({Cropped(1, 1, {0, 90000, 0, 75000}, NaturalSize{75000, 75000})}), 1000, 1000, 100, false,
       KeepReason::kCropNotMapped, 0, 0},
      {"NotShown", {}, 1000, 1000, 100, false, KeepReason::kNotShown, 0, 0},
      {"DocumentReasonFirst", Problem(KeepReason::kOtherUse, "hc:img"), 1000, 1000, 100,
       false, KeepReason::kOtherUse, 0, 0},
      {"ReducedNoFurtherThanTheFilterGoes", Shown({Frame(0.01, 0.01)}), 30000, 300, 96, true,
       KeepReason::kNone, 118, 2},
      {"WiderThanTheFilterAddresses", Shown({Frame(1, 1)}), 40000, 400, 100, false,
       KeepReason::kTooLarge, 10000, 100},
      // Pixels shown turned may lie either way in the frame: its longer side counts on
      // both axes (2 inches, 200 pixels at 100 ppi, on the shorter axis of the picture).
      {"QuarterTurnedCountsTheLongerSide", Shown({Frame(2, 1)}), 1000, 500, 100, true,
       KeepReason::kNone, 400, 200, true},
      // ... and its smaller visible share: a quarter across, all of it down.
      {"QuarterTurnedCountsTheSmallerShare",
       Shown({Cropped(1, 1, {0, 18750, 0, 37500}, NaturalSize{75000, 37500})}), 1000, 500, 100,
       true, KeepReason::kNone, 800, 400, true},
  };
}

class PlanResolutionCases : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanResolutionCases, GivesTheNeededSizeOrWhyNot) {
  const PlanCase& c = GetParam();
  const ResolutionPlan plan = PlanResolution(c.uses, c.width, c.height, c.ppi, c.quarterTurned);
  EXPECT_EQ(plan.resample, c.resample);
  EXPECT_EQ(plan.reason, c.reason);
  if (c.newWidth != 0) {
    EXPECT_EQ(plan.width, c.newWidth);
    EXPECT_EQ(plan.height, c.newHeight);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanResolutionCases, ::testing::ValuesIn(PlanCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class Lines : public LogLines {
 public:
  void Write(std::string_view text, bool) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

Picture Grey(int32_t width, int32_t height, float xResolution, float yResolution) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.bitsPerPixel = picture.sourceBitsPerPixel = 8;
  picture.pixels = AllocatePixels(width, height, 1);
  picture.xResolution = xResolution;
  picture.yResolution = yResolution;
  return picture;
}

struct DensityCase {
  const char* name;
  float fileX, fileY;        // in the decoded picture
  float statedX, statedY;    // elsewhere in the file
  float expectedX, expectedY;  // after halving the pixels
};

void PrintTo(const DensityCase& c, std::ostream* os) { *os << c.name; }

class ReducedDensity : public ::testing::TestWithParam<DensityCase> {};

TEST_P(ReducedDensity, KeepsThePrintedSize) {
  const DensityCase& c = GetParam();
  const Picture picture = Grey(400, 200, c.fileX, c.fileY);
  Picture reduced;
  Lines log;
  ASSERT_TRUE(ReduceToPrintSize(Shown({Frame(2, 1)}), 100, picture, reduced, log,
                                FileFacts{c.statedX, c.statedY}));
  EXPECT_EQ(reduced.width, 200);
  EXPECT_EQ(reduced.height, 100);
  EXPECT_NE(reduced.pixels, nullptr);
  EXPECT_FLOAT_EQ(reduced.xResolution, c.expectedX);
  EXPECT_FLOAT_EQ(reduced.yResolution, c.expectedY);
  // The decoded picture stays as it was, for encoding at its own size.
  EXPECT_EQ(picture.width, 400);
  EXPECT_NE(picture.pixels, nullptr);
  EXPECT_FLOAT_EQ(picture.xResolution, c.fileX);
  EXPECT_EQ(log.lines, std::vector<std::string>{"resampling 400x200 to 200x100 for 100 ppi"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReducedDensity,
    ::testing::Values(DensityCase{"FileDensity", 300, 200, 72, 72, 150, 100},
                      DensityCase{"DensityElsewhereInTheFile", 0, 0, 180, 180, 90, 90},
                      DensityCase{"AspectRatioOnly", 1, 1, 0, 0, 48, 48},
                      DensityCase{"NoDensityAtAll", 0, 0, 0, 0, 48, 48}),
    [](const auto& info) { return std::string(info.param.name); });

// An animation, or a picture the filter refuses, is kept, and the log says why.
TEST(ReduceToPrintSize, KeepsWhatItCannotReduceAndSaysWhy) {
  struct Row {
    int frames;
    int bitsPerPixel;  // 0: the grey picture's own
    const char* line;
  };
  const Row rows[] = {
      {3, 0, "resolution 400x200 kept for 100 ppi: it is animated"},
      {1, 16, "resolution 400x200 kept for 100 ppi: resampling failed (status 1)"},
  };
  for (const Row& row : rows) {
    Picture picture = Grey(400, 200, 0, 0);
    picture.frames = row.frames;
    if (row.bitsPerPixel != 0) picture.bitsPerPixel = row.bitsPerPixel;
    Picture reduced;
    Lines log;
    EXPECT_FALSE(ReduceToPrintSize(Shown({Frame(1, 1)}), 100, picture, reduced, log));
    EXPECT_EQ(reduced.pixels, nullptr);
    EXPECT_EQ(log.lines, std::vector<std::string>{row.line});
  }
}

}  // namespace
}  // namespace velmora
