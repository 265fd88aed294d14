// Where real documents show their pictures, and the pixels each picture then needs.
// The expected sizes are worked out by hand from the documents' own numbers (quoted
// in the comments), not by the code under test.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/picture_frames.h"
#include "document/xml_scanner.h"
#include "document/zip_archive.h"
#include "support/test_support.h"

namespace velmora {
namespace {

// The uses of one item of a corpus document; nothing when the document cannot be read.
std::optional<PictureUses> UsesIn(const std::string& document, const std::string& item) {
  const std::string path = testing::CorpusDir() + "/" + document;
  if (document.size() > 4 && document.substr(document.size() - 4) == ".hml") {
    XmlScanner xml;
    if (!xml.Open(path)) return std::nullopt;
    return ReadHwpmlFrames(xml).UsesOf(item);
  }
  ZipArchive zip;
  if (!zip.Open(path)) return std::nullopt;
  const std::optional<ZipEntry> manifest = zip.Find("Contents/content.hpf", false);
  const std::optional<std::vector<StoredEntry>> entries = zip.Entries();
  if (!manifest || !entries) return std::nullopt;
  const std::optional<std::string> text = zip.ReadWhole(*manifest, 1 << 20);
  if (!text) return std::nullopt;
  return ReadHwpxFrames(zip, *entries, *text).UsesOf(item);
}

struct NeedRow {
  const char* name;
  const char* document;
  const char* item;
  int32_t width, height;  // the picture's pixels
  int ppi;
  KeepReason reason;      // kNone: resampled to newWidth × newHeight
  int32_t newWidth, newHeight;
  const char* detail;     // for the document's own reasons
};

void PrintTo(const NeedRow& row, std::ostream* os) { *os << row.name; }

const NeedRow kNeedRows[] = {
    // Shown twice with one crop: 23400 × 29588 units and scaled to 12083 × 15278. The
    // larger needs 3.25 in × 96 = 312 pixels across, 688 × 312/544 → 395 down.
    {"RepeatedUseTakesTheLarger", "hwpx/hwpmcp_pic2_photos.hwpx", "image1", 544, 688, 96,
     KeepReason::kNone, 312, 395, ""},
    // At 150 ppi the same frame needs 488 × 617, which keeps 80.4 % of the pixels.
    {"TwentyPercentRule", "hwpx/hwpmcp_pic2_photos.hwpx", "image1", 544, 688, 150,
     KeepReason::kSavesTooLittle, 0, 0, ""},
    // A crop of 147774 of 189360 units across, 66207 of 76980 down, shown 10660 × 2558:
    // 10660/7200 × 150 ÷ 0.78039 = 284.6 across for the whole picture decides.
    {"CropOnBothAxes", "hwpx/hwpxlib_mot.hwpx", "image2", 2525, 1026, 150, KeepReason::kNone,
     285, 116, ""},
    // Cropped across only (143874 of 161580), shown 11052 × 2750: the height decides,
    // 2750/7200 × 150 = 57.3 → 58, and 2154 × 57.29/477 → 259 across.
    {"CropOnOneAxis", "hwpx/hwpxlib_mot.hwpx", "image1", 2154, 477, 150, KeepReason::kNone,
     259, 58, ""},
    // In a group of 17372 × 3250 units: the group bounds the picture, 17372/75 = 231.6
    // pixels across.
    {"PictureInAGroup", "hwpx/hwpxlib_SimpleContainer.hwpx", "image1", 360, 188, 96,
     KeepReason::kNone, 232, 121, ""},
    {"BorderFill", "hwpx/hwpjs_borderfill.hwpx", "image1", 1000, 1000, 96, KeepReason::kOtherUse,
     0, 0, "hc:imgBrush/hc:img"},
    {"TableCellFill", "hwpx/hwpforge_table_image_fill_tile.hwpx", "image1", 1000, 1000, 96,
     KeepReason::kOtherUse, 0, 0, "hc:imgBrush/hc:img"},
    {"VideoPoster", "hwpx/hwpxlib_SimpleVideo.hwpx", "image2", 480, 270, 96,
     KeepReason::kOtherUse, 0, 0, "hp:run/hp:video"},
    // SIZE 15361 × 12137, OriWidth 35160 × 0.43689: 12137.08/7200 × 150 = 252.9 down
    // decides, 469 × 252.86/370 → 321 across.
    {"HmlPicture", "hml/mathetf_gangnam_exam_compressed_bmp.hml", "1", 469, 370, 150,
     KeepReason::kNone, 321, 253, ""},
    // At 220 ppi it needs 469.3 × 370.9 pixels: more than it has.
    {"HmlPictureSmallerThanItsNeed", "hml/mathetf_gangnam_exam_compressed_bmp.hml", "1", 469,
     370, 220, KeepReason::kSmallerThanNeed, 0, 0, ""},
};

class CorpusNeeds : public ::testing::TestWithParam<NeedRow> {};

TEST_P(CorpusNeeds, FollowFromTheDocumentsFrames) {
  VELMORA_REQUIRE_CORPUS();
  const NeedRow& row = GetParam();
  const std::optional<PictureUses> uses = UsesIn(row.document, row.item);
  ASSERT_TRUE(uses) << row.document;
  EXPECT_EQ(uses->detail, row.detail);
  const ResolutionPlan plan = PlanResolution(*uses, row.width, row.height, row.ppi);
  EXPECT_EQ(plan.reason, row.reason);
  EXPECT_EQ(plan.resample, row.reason == KeepReason::kNone);
  if (plan.resample) {
    EXPECT_EQ(plan.width, row.newWidth);
    EXPECT_EQ(plan.height, row.newHeight);
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, CorpusNeeds, ::testing::ValuesIn(kNeedRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Every document of the corpus that opens has a layout the reader understands: a
// reading that gave up would keep every picture of the document at its resolution. The
// one exception is markup an HTML parser has been through, which is no XML any more.
class CorpusLayouts : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusLayouts, ReadWhole) {
  VELMORA_REQUIRE_CORPUS();
  const std::string& path = GetParam();
  if (path.size() > 4 && path.substr(path.size() - 4) == ".hml") {
    XmlScanner xml;
    ASSERT_TRUE(xml.Open(path));
    const PictureFrames frames = ReadHwpmlFrames(xml);
    if (path.find("htmltohml_sample_lowercase_tags") != std::string::npos) {
      EXPECT_EQ(frames.UsesOf("1").detail, "document: mismatched tag at line 100");
    } else {
      EXPECT_FALSE(frames.Unread()) << frames.UsesOf("").detail;
    }
    return;
  }
  ZipArchive zip;
  if (!zip.Open(path)) GTEST_SKIP() << "no zip archive";
  const std::optional<std::vector<StoredEntry>> entries = zip.Entries();
  if (!entries) GTEST_SKIP() << "no readable directory";
  const std::optional<ZipEntry> manifest = zip.Find("Contents/content.hpf", false);
  const std::optional<std::string> text =
      manifest ? zip.ReadWhole(*manifest, 1 << 20) : std::optional<std::string>("");
  ASSERT_TRUE(text);
  const PictureFrames frames = ReadHwpxFrames(zip, *entries, *text);
  EXPECT_FALSE(frames.Unread()) << frames.UsesOf("").detail;
}

INSTANTIATE_TEST_SUITE_P(Documents, CorpusLayouts,
                         ::testing::ValuesIn(testing::CorpusCases({{"hwpx", {".hwpx"}},
                                                                   {"hml", {".hml"}}})),
                         testing::CorpusCaseName);

}  // namespace
}  // namespace velmora
