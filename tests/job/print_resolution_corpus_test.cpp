// Real documents through whole jobs with and without a printing density: every
// picture of the target decodes (independently) at the size its frames need, or at its
// own size when it keeps its resolution.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_compare.h"
#include "job/shrink_job.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::TempDir;

struct CorpusJobRow {
  const char* name;
  const char* document;
  int ppi;
  std::vector<std::string> sizes;  // "entry WxH", sorted
  int resampled;                   // as the summary reports
};

void PrintTo(const CorpusJobRow& row, std::ostream* os) { *os << row.name; }

const std::vector<std::string> kMotSizes = {
    "BinData/image1.jpg 2154x477", "BinData/image2.png 2525x1026", "BinData/image3.png 1196x399",
    "BinData/image4.png 1557x503", "BinData/image5.jpg 94x33",     "BinData/image6.jpg 808x326"};
const std::vector<std::string> kPhotoSizes = {
    "BinData/image1.jpg 544x688", "BinData/image2.jpg 549x800", "BinData/image3.jpg 1013x822"};

const CorpusJobRow kRows[] = {
    {"CroppedScreenshotsDefault", "hwpx/hwpxlib_mot.hwpx", 0, kMotSizes, 0},
    // Pictures of 1 to 2 inches cut from wide screenshots; image1 and image2 are the
    // crops worked out in the frames' corpus test, image5 is smaller than its need.
    {"CroppedScreenshotsAtScreenDensity", "hwpx/hwpxlib_mot.hwpx", 150,
     {"BinData/image1.jpg 259x58", "BinData/image2.png 285x116", "BinData/image3.png 300x100",
      "BinData/image4.png 250x81", "BinData/image5.jpg 94x33", "BinData/image6.jpg 187x76"},
     5},
    {"PhotosDefault", "hwpx/hwpmcp_pic2_photos.hwpx", 0, kPhotoSizes, 0},
    // image1 would keep 80.4 % of its pixels at its larger frame: it stays.
    {"PhotosAtScreenDensity", "hwpx/hwpmcp_pic2_photos.hwpx", 150,
     {"BinData/image1.jpg 544x688", "BinData/image2.jpg 342x498", "BinData/image3.jpg 490x398"},
     2},
};

class CorpusDensityJobs : public ::testing::TestWithParam<CorpusJobRow> {};

TEST_P(CorpusDensityJobs, TargetPicturesHaveTheNeededSizes) {
  VELMORA_REQUIRE_CORPUS();
  const CorpusJobRow& row = GetParam();
  TempDir dir;
  ShrinkOptions options;
  options.extraOptimisers = false;
  options.ppi = row.ppi;
  testing::RecordingHost host;
  ASSERT_TRUE(RunShrinkJob(testing::CorpusDir() + "/" + row.document, dir.File("out.hwpx"),
                           options, host));
  EXPECT_EQ(testing::PackagePictureSizes(dir.File("out.hwpx"), dir), row.sizes);
  ASSERT_EQ(host.messages.size(), 1u);
  const std::string line = "그림 " + std::to_string(row.resampled) + "개를 " +
                           std::to_string(row.ppi) + "ppi에 맞춰 줄임: ";
  if (row.resampled > 0) {
    EXPECT_NE(host.messages[0].text.find(line), std::string::npos) << host.messages[0].text;
  } else {
    EXPECT_EQ(host.messages[0].text.find("ppi"), std::string::npos) << host.messages[0].text;
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, CorpusDensityJobs, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
