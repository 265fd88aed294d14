#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "picture/picture_processing.h"
#include "image/exif_block.h"
#include "support/bmp_writer.h"
#include "support/exif_fixtures.h"
#include "support/jpeg_fixtures.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"
#include "picture/processing_fixture.h"

namespace velmora {
namespace {

using testing::JpegLayout;
using testing::MakeJpeg;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

using testing::PictureProcessing;

// A picture that loses a lot at quality 90: fine noise stored at quality 100.
std::string LargeJpeg(const std::vector<std::pair<int, std::string>>& markers = {}) {
  JpegLayout layout;
  layout.width = 96;
  layout.height = 96;
  layout.quality = 100;
  layout.markers = markers;
  for (uint64_t i = 0; i < 96 * 96; ++i) {
    layout.samples += static_cast<char>((i * 7919) % 251);
    layout.samples += static_cast<char>((i * 104729) % 241);
    layout.samples += static_cast<char>((i * 1299709) % 239);
  }
  return MakeJpeg(layout);
}

std::string CameraExif() {
  testing::ExifSpec layout;
  layout.ifd0 = {testing::Ascii(0x010F, "Maker"), testing::Ascii(0x0132, "2010:01:02 03:04:05")};
  layout.exif = {testing::Short(0xA002, 1), testing::Short(0xA003, 1)};
  return testing::BuildExif(layout);
}

TEST_F(PictureProcessing, ShrunkJpegIsTakenWithEveryLineInOrder) {
  EXPECT_EQ(Process(LargeJpeg({{0xE1, CameraExif()}}), 4), PictureKind::kJpeg);
  EXPECT_EQ(outcome_.rewrittenPath.substr(outcome_.rewrittenPath.size() - 4), ".jpg");
  EXPECT_EQ(temp_.Registered().back(), outcome_.rewrittenPath);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 5 is JPEG", "modifing exif...", Finished(),
                                               "rewritten file is to be written"}));
  auto exif = testing::ExifPayload(ReadFile(outcome_.rewrittenPath));
  ASSERT_TRUE(exif);
  const testing::TiffDump dump = testing::DumpExif(*exif);
  EXPECT_EQ(dump.Text("IFD0:010F"), "Maker");
  EXPECT_EQ(dump.Text("IFD0:0131"), "Velm");
  EXPECT_EQ(dump.Number("Exif:A002"), 96u);
}

TEST_F(PictureProcessing, JpegWithoutExifGetsANewBlock) {
  EXPECT_EQ(Process(LargeJpeg()), PictureKind::kJpeg);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 1 is JPEG", "creating exif...", Finished(),
                                               "rewritten file is to be written"}));
  auto exif = testing::ExifPayload(ReadFile(outcome_.rewrittenPath));
  ASSERT_TRUE(exif);
  EXPECT_EQ(testing::DumpExif(*exif).Text("IFD0:0131"), "Velm");
}

// A bitmap has no EXIF block of its own: its JPEG gets a new one, and the bitmap's
// resolution in the JPEG's header.
TEST_F(PictureProcessing, BitmapBecomingJpegGetsANewExifBlock) {
  options_.conversionRule = ConversionRule::kBmpToJpeg;
  testing::BmpLayout layout;
  layout.width = 96;
  layout.height = 64;
  layout.xPelsPerMetre = 11811;  // 300 dots per inch
  layout.yPelsPerMetre = 11811;
  std::vector<std::vector<uint32_t>> rows(64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 96; ++x) rows[y].push_back(testing::GradientColour(x, y));
  }
  layout.data = testing::PackRows(rows, 24, false);
  ASSERT_EQ(Process(testing::BuildBmp(layout)), PictureKind::kJpeg);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 1 is BMP", "converting to JPEG...",
                                               Finished(), "rewritten file is to be written"}));
  auto exif = testing::ExifPayload(ReadFile(outcome_.rewrittenPath));
  ASSERT_TRUE(exif);
  const testing::TiffDump dump = testing::DumpExif(*exif);
  EXPECT_EQ(dump.Text("IFD0:0131"), "Velm");
  EXPECT_EQ(dump.Text("IFD0:0132").size(), 19u);
  EXPECT_EQ(dump.Text("Exif:9003"), dump.Text("IFD0:0132"));
  EXPECT_EQ(dump.Text("Exif:9004"), dump.Text("IFD0:0132"));
  const auto header = testing::ReadJpegHeader(outcome_.rewrittenPath);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->densityUnit, 1);
  EXPECT_EQ(header->xDensity, 300);
}

TEST_F(PictureProcessing, JpegThatGrowsKeepsTheOriginal) {
  JpegLayout small;
  small.quality = 20;
  EXPECT_EQ(Process(MakeJpeg(small)), std::nullopt);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 1 is JPEG", "creating exif...", Finished(),
                                               "original file is to be written"}));
}

TEST_F(PictureProcessing, OutputOfExactlyTheOriginalSizeKeepsTheOriginal) {
  const std::string source = LargeJpeg();
  ASSERT_EQ(Process(source), PictureKind::kJpeg);
  const int32_t rewritten = GetFileSize32(outcome_.rewrittenPath);
  ASSERT_GT(rewritten, 0);
  EXPECT_EQ(Process(source, 0, rewritten), std::nullopt);
  EXPECT_EQ(Lines().back(), "original file is to be written");
  EXPECT_EQ(GetFileSize32(outcome_.rewrittenPath), rewritten);
  EXPECT_EQ(Process(source, 0, rewritten + 1), PictureKind::kJpeg);
}

TEST(PictureSizeRule, OnlyANonEmptyStrictlySmallerFileIsTaken) {
  struct Case {
    int32_t rewritten, original;
    bool taken;
  } cases[] = {{99, 100, true}, {100, 100, false}, {101, 100, false}, {0, 100, false},
               {-1, 100, false}, {1, 2, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(IsSmallerThanOriginal(c.rewritten, c.original), c.taken) << c.rewritten;
  }
}

TEST_F(PictureProcessing, PartlyDecodedJpegKeepsItsBytes) {
  const std::string whole = LargeJpeg();
  EXPECT_EQ(Process(whole.substr(0, whole.size() / 2)), std::nullopt);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "embedded 1 is JPEG",
                         "reading embedded failed. original file is to be written"}));
  EXPECT_EQ(outcome_.rewrittenPath, "");
}

TEST_F(PictureProcessing, CmykJpegKeepsItsBytes) {
  JpegLayout cmyk;
  cmyk.components = 4;
  cmyk.jfif = false;
  EXPECT_EQ(Process(MakeJpeg(cmyk)), std::nullopt);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "embedded 1 is JPEG",
                         "reading embedded failed. original file is to be written"}));
}

TEST_F(PictureProcessing, UnknownContentIsKeptWithoutALine) {
  EXPECT_EQ(Process(std::string(200, 'u')), std::nullopt);
  EXPECT_EQ(Lines(), std::vector<std::string>{});
  EXPECT_EQ(outcome_.rewrittenPath, "");
}

TEST(PictureKind, JpegIsDetectedAndOtherContentIsNot) {
  TempDir dir;
  WriteFile(dir.File("p.jpg"), MakeJpeg(JpegLayout{}));
  EXPECT_EQ(DetectPictureKind(dir.File("p.jpg")), PictureKind::kJpeg);
  WriteFile(dir.File("x"), std::string(300, 'x'));
  EXPECT_EQ(DetectPictureKind(dir.File("x")), std::nullopt);
  EXPECT_EQ(DetectPictureKind(dir.File("missing")), std::nullopt);
}

// A full disk while the encoder writes: the partial file is smaller than the original
// and must not be taken for the rewritten picture.
TEST_F(PictureProcessing, FailedEncoderWriteKeepsTheOriginal) {
  const std::string source = LargeJpeg();
  ASSERT_GT(source.size(), 16384u);
  WriteFile(dir_.File("source"), source);
  picture_.number = 0;
  picture_.sourcePath = dir_.File("source");
  picture_.originalSize = GetFileSize32(picture_.sourcePath);

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  outcome_ = ProcessPicture(picture_, options_, log_, temp_);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(outcome_.Replaces());
  EXPECT_LE(GetFileSize32(outcome_.rewrittenPath), 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 1 is JPEG", "creating exif...",
                                               "original file is to be written"}));
}

TEST_F(PictureProcessing, ExifThatOutgrowsOneSegmentIsLeftOutAndLogged) {
  testing::ExifSpec layout;
  layout.ifd0 = {testing::Ascii(0x010F, "Maker")};
  layout.exif = {testing::Undefined(0x927C, "")};
  const size_t overhead = testing::BuildExif(layout).size();
  // The source's block fills its segment; the Software and DateTime entries added to
  // it do not fit any more.
  layout.exif = {testing::Undefined(0x927C, std::string(ExifBlock::kMaxSegmentPayload - 1 - overhead, 'M'))};
  const std::string block = testing::BuildExif(layout);
  ASSERT_LE(block.size(), ExifBlock::kMaxSegmentPayload);
  ASSERT_GT(block.size() + 18, ExifBlock::kMaxSegmentPayload);

  EXPECT_EQ(Process(LargeJpeg({{0xE1, block}})), PictureKind::kJpeg);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"embedded 1 is JPEG", "modifing exif...",
                                               "exif block too large, left out", Finished(),
                                               "rewritten file is to be written"}));
  for (const auto& segment : testing::JpegSegments(ReadFile(outcome_.rewrittenPath))) {
    EXPECT_NE(segment.first, 0xE1);
  }
}

}  // namespace
}  // namespace velmora
