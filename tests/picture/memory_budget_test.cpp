// What a picture is reckoned to need before anything of it is decoded: the budget a
// picture is held to must count what processing it holds at its peak.

#include "picture/memory_budget.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

struct NeedCase {
  const char* name;
  std::string (*make)();
  PictureKind kind;
  bool known;  // false: the headers do not say, and nothing is reckoned
  int32_t width, height;
  uint64_t bytes;
};

void PrintTo(const NeedCase& c, std::ostream* os) { *os << c.name; }

// Pictures that become PNG hold their pixels, the writer's forms side by side, one
// filtered and one compressed copy: 19 bytes a pixel. A JPEG holds its samples and
// twice as much again for the encoder's coefficients.
const NeedCase kNeedCases[] = {
    {"Png", [] { return testing::GradientPng(64, 48, 0); }, PictureKind::kPng, true, 64, 48,
     64 * 48 * 19},
    {"Bmp", [] { return testing::GradientBmp(30, 20, 24); }, PictureKind::kBmp, true, 30, 20,
     30 * 20 * 19},
    {"GifScreen", [] { return testing::StripedGif(40, 10); }, PictureKind::kGif, true, 40, 10,
     40 * 10 * 19},
    {"ColourJpeg",
     [] {
       testing::JpegLayout layout;
       layout.width = 32;
       layout.height = 16;
       return testing::MakeJpeg(layout);
     },
     PictureKind::kJpeg, true, 32, 16, 32 * 16 * 3 * 3},
    {"GreyJpeg",
     [] {
       testing::JpegLayout layout;
       layout.width = 32;
       layout.height = 16;
       layout.components = 1;
       return testing::MakeJpeg(layout);
     },
     PictureKind::kJpeg, true, 32, 16, 32 * 16 * 1 * 3},
    {"OtherKindThanAsked", [] { return testing::GradientPng(64, 48, 0); }, PictureKind::kBmp,
     false, 0, 0, 0},
    {"NoPicture", [] { return std::string(200, 'x'); }, PictureKind::kPng, false, 0, 0, 0},
};

class MemoryNeeds : public ::testing::TestWithParam<NeedCase> {};

TEST_P(MemoryNeeds, AreToldFromTheHeaders) {
  const NeedCase& c = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("picture");
  testing::WriteFile(path, c.make());
  const std::optional<MemoryNeed> need = PictureMemoryNeed(path, c.kind);
  ASSERT_EQ(need.has_value(), c.known);
  if (!need) return;
  EXPECT_EQ(need->width, c.width);
  EXPECT_EQ(need->height, c.height);
  EXPECT_EQ(need->bytes, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Pictures, MemoryNeeds, ::testing::ValuesIn(kNeedCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Lines : public LogLines {
 public:
  void Write(std::string_view text, bool) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

// With a printing density a picture bound for PNG holds its reduced copy beside its
// decoded pixels: 224 × 224 pixels fit 1 MiB at 19 bytes a pixel, not at 23. A JPEG
// gives its samples up before the reduced ones are encoded and needs nothing more.
TEST(MemoryBudget, CountsTheReducedCopyOfAPngBoundPicture) {
  testing::JpegLayout layout;
  layout.width = layout.height = 224;
  const struct Row {
    const char* name;
    std::string bytes;
    PictureKind kind;
    int ppi;
    bool within;
  } rows[] = {
      {"PngAtItsSize", testing::GradientPng(224, 224, 0), PictureKind::kPng, 0, true},
      {"PngReduced", testing::GradientPng(224, 224, 0), PictureKind::kPng, 150, false},
      {"JpegReduced", testing::MakeJpeg(layout), PictureKind::kJpeg, 150, true},
  };
  testing::TempDir dir;
  for (const Row& row : rows) {
    const std::string path = dir.File("picture");
    testing::WriteFile(path, row.bytes);
    ShrinkOptions options;
    options.memoryBudgetMiB = 1;
    options.ppi = row.ppi;
    Lines log;
    EXPECT_EQ(WithinMemoryBudget(path, row.kind, options, log), row.within) << row.name;
    EXPECT_EQ(log.lines.size(), row.within ? 0u : 1u) << row.name;
  }
}

}  // namespace
}  // namespace velmora
