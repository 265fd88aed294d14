// The lossless pass after the classic rules: which kept pictures it takes, what it
// logs, and that it never flattens an animation or passes the memory budget.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "picture/picture_processing.h"
#include "processing_fixture.h"
#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/png_builder.h"

namespace velmora {
namespace {

using testing::PictureProcessing;

// A JPEG with the encoder's standard tables: the re-encoding at quality 100 is larger,
// and the lossless transcode with optimised tables is smaller.
std::string PlainJpeg() {
  testing::JpegLayout layout;
  layout.width = 64;
  layout.height = 48;
  layout.quality = 80;
  return testing::MakeJpeg(layout);
}

struct PassRow {
  const char* name;
  std::string bytes;
  bool classic;
  unsigned memoryBudgetMiB;
  std::optional<PictureKind> kind;
  PictureDecision decision;
  const char* lastLine;  // a prefix of the picture's last log line, said once
  int passLines;         // lines of the lossless pass
};

void PrintTo(const PassRow& row, std::ostream* os) { *os << row.name; }

std::vector<PassRow> PassRows() {
  const unsigned budget = ShrinkOptions::kDefaultMemoryBudgetMiB;
  return {
      {"JpegKeptBySizeRule", PlainJpeg(), false, budget, PictureKind::kJpeg,
       PictureDecision::kRewritten, "lossless JPEG: ", 1},
      {"ClassicRulesOnly", PlainJpeg(), true, budget, std::nullopt, PictureDecision::kNotSmaller,
       "original file is to be written", 0},
      // Kept for what the picture is: the pass is not tried, and nothing is said twice.
      {"AnimatedPng", testing::AnimatedPng(32, 24), false, budget, std::nullopt,
       PictureDecision::kAnimationKept, "animated PNG (acTL)", 0},
      {"OverBudget", PlainJpeg(), false, 0, std::nullopt, PictureDecision::kOverMemoryBudget,
       "picture of 64x48 needs about", 0},
  };
}

class LosslessAfterClassic : public PictureProcessing,
                             public ::testing::WithParamInterface<PassRow> {};

TEST_P(LosslessAfterClassic, TakesOnlyPicturesKeptForTheirSize) {
  const PassRow& row = GetParam();
  options_.classic = row.classic;
  options_.extraOptimisers = false;
  options_.jpegQuality = 100;
  options_.memoryBudgetMiB = row.memoryBudgetMiB;
  const std::string source = dir_.File("source");
  testing::WriteFile(source, row.bytes);
  picture_.sourcePath = source;
  picture_.originalSize = GetFileSize32(source);
  outcome_ = StandardPictureProcessor()(picture_, options_, log_, temp_);
  EXPECT_EQ(outcome_.replacement, row.kind);
  EXPECT_EQ(outcome_.decision, row.decision);
  const std::vector<std::string> lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind(row.lastLine, 0), 0u) << lines.back();
  int passLines = 0;
  for (const std::string& line : lines) passLines += line.rfind("lossless ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(passLines, row.passLines);
  int lastLines = 0;
  for (const std::string& line : lines) lastLines += line.rfind(row.lastLine, 0) == 0 ? 1 : 0;
  EXPECT_EQ(lastLines, 1);
  if (row.kind) {
    EXPECT_LT(GetFileSize32(outcome_.rewrittenPath), picture_.originalSize);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, LosslessAfterClassic, ::testing::ValuesIn(PassRows()),
                         [](const auto& info) { return std::string(info.param.name); });

// The package's other pictures (the preview) meet the lossless pass alone: a PNG
// deflated weakly comes out smaller, an animated one stays whole.
TEST_F(PictureProcessing, LosslessProcessorShrinksStillPngsAndKeepsAnimations) {
  options_.extraOptimisers = false;
  const PictureProcessor lossless = LosslessPictureProcessor();
  struct Row {
    std::string bytes;
    bool replaced;
  };
  const Row rows[] = {{testing::GradientPng(64, 48, 0), true},
                      {testing::AnimatedPng(32, 24), false}};
  for (const Row& row : rows) {
    const std::string source = dir_.File("source");
    testing::WriteFile(source, row.bytes);
    picture_.sourcePath = source;
    picture_.originalSize = GetFileSize32(source);
    const PictureOutcome outcome = lossless(picture_, options_, log_, temp_);
    EXPECT_EQ(outcome.Replaces(), row.replaced);
    if (!row.replaced) {
      EXPECT_EQ(outcome.decision, PictureDecision::kAnimationKept);
    }
  }
}

}  // namespace
}  // namespace velmora
