// Whole jobs with a printing density (--ppi) on both document forms: a picture shown
// small goes in at the size its frame needs, one used otherwise or shown nowhere keeps
// its pixels, and the summary says what was resampled. Without a density every picture
// keeps its size.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_compare.h"
#include "job/shrink_job.h"
#include "support/hwpml_builder.h"
#include "support/independent_decoder.h"
#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::TempDir;

// A JPEG photo of 800 × 600 pixels at 96 per inch, large enough that a smaller copy of
// it is always the smaller file.
std::string Photo() {
  testing::JpegLayout layout;
  layout.width = 800;
  layout.height = 600;
  layout.xDensity = layout.yDensity = 96;
  return testing::MakeJpeg(layout);
}

// An hp:pic as the word processor writes it, showing the whole of an item's picture of
// pixelsAcross × pixelsDown (75 units each) in a frame of width × height HWP units.
std::string HwpxPicture(const std::string& item, int width, int height, int pixelsAcross,
                        int pixelsDown) {
  const std::string across = std::to_string(pixelsAcross * 75);
  const std::string down = std::to_string(pixelsDown * 75);
  const std::string size =
      "width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\"";
  return "<hp:pic><hp:orgSz " + size + "/><hc:img binaryItemIDRef=\"" + item +
         "\"/><hp:imgClip left=\"0\" right=\"" + across + "\" top=\"0\" bottom=\"" + down +
         "\"/><hp:imgDim dimwidth=\"" + across + "\" dimheight=\"" + down + "\"/><hp:sz " + size +
         "/></hp:pic>";
}

// A package with a photo shown 2 × 1.5 inches, a PNG shown as large but also used as a
// fill, and a bitmap that nothing shows. With a second item, image4 names the photo's
// entry too and shows it 4 × 3 inches.
void WritePackage(const std::string& path, bool secondItem) {
  std::vector<testing::HwpxPicture> pictures = {
      {"image1", "BinData/image1.jpg", "image/jpg", Photo()},
      {"image2", "BinData/image2.png", "image/png", testing::GradientPng(400, 300, 0)},
      {"image3", "BinData/image3.bmp", "image/bmp", testing::GradientBmp(400, 300)},
  };
  // No bytes: the entry is image1's.
  if (secondItem) pictures.push_back({"image4", "BinData/image1.jpg", "image/jpg", ""});
  std::vector<testing::ZipItem> items = testing::MakeHwpxItems(pictures);
  for (testing::ZipItem& item : items) {
    if (item.name == "Contents/section0.xml") {
      item.bytes = "<?xml version=\"1.0\"?><hs:sec xmlns:hs=\"s\" xmlns:hp=\"p\" "
                   "xmlns:hc=\"c\"><hp:p><hp:run>" +
                   HwpxPicture("image1", 14400, 10800, 800, 600) +
                   HwpxPicture("image2", 14400, 10800, 400, 300) +
                   (secondItem ? HwpxPicture("image4", 28800, 21600, 800, 600) : "") +
                   "</hp:run></hp:p></hs:sec>";
    }
    if (item.name == "Contents/header.xml") {
      item.bytes = "<?xml version=\"1.0\"?><hh:head xmlns:hh=\"h\" xmlns:hc=\"c\"><hc:fillBrush>"
                   "<hc:imgBrush><hc:img binaryItemIDRef=\"image2\"/></hc:imgBrush>"
                   "</hc:fillBrush></hh:head>";
    }
  }
  testing::WriteZip(path, items);
}

struct JobRow {
  const char* name;
  int ppi;
  std::vector<std::string> sizes;  // of the target's pictures
  bool resampledLine;              // the summary reports resampled pictures
  bool secondItem = false;         // another item names the photo's entry
};

void PrintTo(const JobRow& row, std::ostream* os) { *os << row.name; }

class PackageJob : public ::testing::TestWithParam<JobRow> {};

// At 150 ppi 2 inches need 300 pixels: the photo goes to 300 × 225; the PNG is a fill
// too and the bitmap is shown nowhere, so both keep their 400 × 300 (the bitmap as PNG).
TEST_P(PackageJob, PicturesGoInAtTheSizeTheirFramesNeed) {
  TempDir dir;
  WritePackage(dir.File("doc.hwpx"), GetParam().secondItem);
  ShrinkOptions options;
  options.extraOptimisers = false;
  options.ppi = GetParam().ppi;
  testing::RecordingHost host;
  ASSERT_TRUE(RunShrinkJob(dir.File("doc.hwpx"), dir.File("out.hwpx"), options, host));
  EXPECT_EQ(testing::PackagePictureSizes(dir.File("out.hwpx"), dir), GetParam().sizes);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.find("그림 1개를 150ppi에 맞춰 줄임: ") != std::string::npos,
            GetParam().resampledLine)
      << host.messages[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Densities, PackageJob,
    ::testing::Values(
        JobRow{"Default", 0,
               {"BinData/image1.jpg 800x600", "BinData/image2.png 400x300",
                "BinData/image3.png 400x300"},
               false},
        JobRow{"Screen", 150,
               {"BinData/image1.jpg 300x225", "BinData/image2.png 400x300",
                "BinData/image3.png 400x300"},
               true},
        // The entry's one picture serves both items: the larger frame's need wins.
        JobRow{"ScreenTwoItemsOneEntry", 150,
               {"BinData/image1.jpg 600x450", "BinData/image2.png 400x300",
                "BinData/image3.png 400x300"},
               true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// An HWPML document with the photo in a PICTURE of 2 × 1.5 inches.
std::string HmlWithPhoto() {
  testing::HmlDocument document;
  document.items = {testing::ItemTag(1, "jpg")};
  document.middle =
      "<FACENAMELIST/></MAPPINGTABLE></HEAD>\r\n<BODY><SECTION Id=\"0\"><P><TEXT><PICTURE>"
      "<SHAPEOBJECT><SIZE Width=\"14400\" WidthRelTo=\"Absolute\" Height=\"10800\" "
      "HeightRelTo=\"Absolute\"/></SHAPEOBJECT><SHAPECOMPONENT OriWidth=\"14400\" "
      "OriHeight=\"10800\" CurWidth=\"14400\" CurHeight=\"10800\"/><IMAGECLIP Left=\"0\" "
      "Right=\"60000\" Top=\"0\" Bottom=\"45000\"/><IMAGE BinItem=\"1\"/></PICTURE></TEXT></P>"
      "</SECTION></BODY>\r\n<TAIL>";
  document.data = {testing::DataElement(1, Photo(), true)};
  return document.Build();
}

TEST(HwpmlJob, PictureGoesInAtTheSizeItsFrameNeedsOnlyWithADensity) {
  for (const int ppi : {0, 150}) {
    TempDir dir;
    testing::WriteFile(dir.File("doc.hml"), HmlWithPhoto());
    ShrinkOptions options;
    options.extraOptimisers = false;
    options.ppi = ppi;
    testing::RecordingHost host;
    ASSERT_TRUE(RunShrinkJob(dir.File("doc.hml"), dir.File("out.hml"), options, host)) << ppi;
    const auto parsed = testing::ParseHmlForTest(testing::ReadFile(dir.File("out.hml")));
    ASSERT_TRUE(parsed && parsed->data.size() == 1) << ppi;
    // The rewritten data is stored uncompressed or compressed as the original was.
    std::optional<std::string> bytes = parsed->data[0].bytes;
    const std::optional<std::string> compress = testing::AttributeOf(parsed->data[0].openTag,
                                                                     "Compress");
    if (compress == "true") bytes = testing::InflateRawForTest(*bytes);
    ASSERT_TRUE(bytes) << ppi;
    testing::WriteFile(dir.File("picture.jpg"), *bytes);
    const auto decoded = testing::DecodeWithPil(dir.File("picture.jpg"));
    ASSERT_TRUE(decoded) << ppi;
    EXPECT_EQ(decoded->width, ppi == 0 ? 800 : 300);
    EXPECT_EQ(decoded->height, ppi == 0 ? 600 : 225);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text.find("그림 1개를 150ppi에 맞춰 줄임: ") != std::string::npos,
              ppi != 0)
        << host.messages[0].text;
  }
}

}  // namespace
}  // namespace velmora
