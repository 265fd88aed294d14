#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "image/exif_block.h"
#include "support/exif_fixtures.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::Ascii;
using testing::DumpExif;
using testing::ExifSpec;
using testing::JpegSegments;
using testing::JpegLayout;
using testing::Long;
using testing::RationalValue;
using testing::ReadFile;
using testing::Short;
using testing::TiffDump;
using testing::TempDir;
using testing::TiffValue;
using testing::WriteFile;

constexpr int64_t kTime = 1700000000;  // 2023-11-14, the time every test stamps

std::string Bytes(const ExifBlock& block) {
  return std::string(block.Data().begin(), block.Data().end());
}

// What a camera writes: IFD0 with strings, rationals and a Software string of its own,
// an Exif IFD, an Interoperability and a GPS IFD, IFD1 and a thumbnail.
ExifSpec CameraBlock(bool littleEndian) {
  ExifSpec layout;
  layout.littleEndian = littleEndian;
  layout.ifd0 = {Ascii(0x010F, "Canon"), Ascii(0x0110, "Canon EOS 5D Mark II"),
               Short(0x0112, 6), RationalValue(0x011A, 72, 1), RationalValue(0x011B, 72, 1),
               Short(0x0128, 2), Ascii(0x0131, "Firmware Version 2.1.3"),
               Ascii(0x0132, "2009:10:11 12:13:14"), Ascii(0x013B, "Photographer Name")};
  layout.exif = {RationalValue(0x829A, 1, 60), Ascii(0x9003, "2009:10:11 12:13:14"),
               Ascii(0x9004, "2009:10:11 12:13:15"),
               testing::Undefined(0x9286, std::string("ASCII\0\0\0", 8) + "a user comment"),
               Short(0xA002, 640), Short(0xA003, 480)};
  layout.interop = {Ascii(0x0001, "R98")};
  TiffValue latitude = RationalValue(0x0002, 37, 1);
  latitude.count = 3;
  latitude.numbers = {37, 1, 33, 1, 5012, 100};
  layout.gps = {{0x0000, 1, 4, {}, std::string("\x02\x02\x00\x00", 4), false, false},
              Ascii(0x0001, "N"), latitude};
  layout.ifd1 = {Short(0x0103, 6), RationalValue(0x011A, 72, 1), RationalValue(0x011B, 72, 1),
               Short(0x0128, 2)};
  layout.thumbnail = std::string("\xFF\xD8\xFF\xDB", 4) + std::string(300, 'T') + "\xFF\xD9";
  return layout;
}

// The order of use for a JPEG whose block parsed.
void EditAsForJpeg(ExifBlock& block, uint32_t width, uint32_t height, float dpi) {
  block.RemoveThumbnail();
  block.SetSoftware();
  block.StampDates(kTime);
  block.EnsureDateTime(kTime);
  block.SetWidth(width);
  block.SetHeight(height);
  block.SetResolution(dpi, dpi);
  block.Finish();
}

TEST(ExifCreate, BuildsTheNewBlockWithSoftwareFirst) {
  ExifBlock block;
  block.Create(kTime);
  const std::string date = ExifBlock::DateText(kTime);
  ASSERT_EQ(date.size(), 19u);
  // 134 bytes, plus 12 for the Software entry and 6 for "Velm" and two zero bytes.
  std::string expected("Exif\0\0II\x2A\0\x08\0\0\0", 14);
  expected += std::string("\x03\x00", 2);
  expected += std::string("\x31\x01\x02\x00\x06\x00\x00\x00\x46\x00\x00\x00", 12);  // @70
  expected += std::string("\x32\x01\x02\x00\x14\x00\x00\x00\x32\x00\x00\x00", 12);  // @50
  expected += std::string("\x69\x87\x04\x00\x01\x00\x00\x00\x4C\x00\x00\x00", 12);  // @76
  expected += std::string(4, '\0');
  expected += date + std::string(1, '\0');
  expected += std::string("Velm\0\0", 6);
  expected += std::string("\x02\x00", 2);
  expected += std::string("\x03\x90\x02\x00\x14\x00\x00\x00\x6A\x00\x00\x00", 12);  // @106
  expected += std::string("\x04\x90\x02\x00\x14\x00\x00\x00\x7E\x00\x00\x00", 12);  // @126
  expected += std::string(4, '\0');
  expected += date + std::string(1, '\0') + date + std::string(1, '\0');
  ASSERT_EQ(expected.size(), 152u);
  EXPECT_EQ(Bytes(block), expected);

  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_TRUE(dump.problems.empty());
  EXPECT_EQ(dump.Text("IFD0:0131"), "Velm");
  EXPECT_EQ(dump.Text("Exif:9004"), date);
}

// Byte order, and whether the camera wrote Software and DateTime (without them the
// block grows instead of shrinking).
class ExifCameraBlock : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(ExifCameraBlock, IsEditedInItsOwnByteOrderKeepingEverythingElse) {
  const auto [little, withSoftware] = GetParam();
  ExifSpec layout = CameraBlock(little);
  if (!withSoftware) layout.ifd0.erase(layout.ifd0.begin() + 6, layout.ifd0.begin() + 8);
  const std::string source = testing::BuildExif(layout);
  const TiffDump before = DumpExif(source);
  ASSERT_TRUE(before.problems.empty());
  ASSERT_TRUE(before.Has("IFD1:0201"));

  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  EditAsForJpeg(block, 800, 600, 72.5f);
  const std::string edited = Bytes(block);
  const TiffDump after = DumpExif(edited);

  EXPECT_EQ(edited.substr(6, 2), little ? "II" : "MM");
  EXPECT_TRUE(after.problems.empty()) << after.problems.front();
  // The thumbnail is gone with IFD1, and IFD0 no longer points at it.
  EXPECT_EQ(after.ifd0Next, 0u);
  EXPECT_FALSE(after.Has("IFD1:0201"));
  EXPECT_EQ(edited.find("\xFF\xD8"), std::string::npos);
  // The Software string is replaced, not added: one entry, in front.
  EXPECT_EQ(after.ifd0Tags.size(), before.ifd0Tags.size() + (withSoftware ? 0 : 2));
  // New entries go in front: Software, then a DateTime that the camera did not write.
  EXPECT_EQ(after.ifd0Tags[withSoftware ? 0 : 1], 0x0131);
  if (!withSoftware) {
    EXPECT_EQ(after.ifd0Tags[0], 0x0132);
  }
  EXPECT_EQ(after.Text("IFD0:0131"), "Velm");
  const std::string date = ExifBlock::DateText(kTime);
  for (const char* key : {"IFD0:0132", "Exif:9003", "Exif:9004"}) EXPECT_EQ(after.Text(key), date);
  EXPECT_EQ(after.entries.at("Exif:A002").type, 3);
  EXPECT_EQ(after.Number("Exif:A002"), 800u);
  EXPECT_EQ(after.Number("Exif:A003"), 600u);
  EXPECT_EQ(after.Number("IFD0:011A", 0), 145u);
  EXPECT_EQ(after.Number("IFD0:011A", 1), 2u);
  EXPECT_EQ(after.Number("IFD0:0128"), 2u);
  // Every other value still points at its own data.
  for (const char* key : {"IFD0:010F", "IFD0:0110", "IFD0:0112", "IFD0:013B", "Exif:829A",
                          "Exif:9286", "Interop:0001", "GPS:0000", "GPS:0001", "GPS:0002"}) {
    ASSERT_TRUE(after.Has(key)) << key;
    EXPECT_EQ(after.entries.at(key).value, before.entries.at(key).value) << key;
    EXPECT_EQ(after.entries.at(key).type, before.entries.at(key).type) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Blocks, ExifCameraBlock,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Little" : "Big") +
                                  (std::get<1>(info.param) ? "WithSoftware" : "WithoutSoftware");
                         });

TEST(ExifEnsureDateTime, DateOfAnotherLengthGetsASecondEntryInFront) {
  ExifSpec layout;
  layout.ifd0 = {Ascii(0x010F, "Maker"), Ascii(0x0132, "2009:10:11")};
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed);
  block.StampDates(kTime);
  ASSERT_TRUE(block.EnsureDateTime(kTime));
  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_TRUE(dump.problems.empty());
  ASSERT_EQ(dump.ifd0Tags.size(), 3u);
  EXPECT_EQ(dump.ifd0Tags[0], 0x0132);
  EXPECT_EQ(dump.Text("IFD0:0132"), ExifBlock::DateText(kTime));
  EXPECT_EQ(dump.Text("IFD0:0132#2"), "2009:10:11");
  EXPECT_EQ(dump.Text("IFD0:010F"), "Maker");
}

TEST(ExifPixelDimensions, KeepTheirType) {
  for (bool little : {true, false}) {
    ExifSpec layout;
    layout.littleEndian = little;
    layout.exif = {Short(0xA002, 10), Long(0xA003, 10)};
    ExifBlock block;
    ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed);
    block.SetWidth(4000);
    block.SetHeight(70000);
    const TiffDump dump = DumpExif(Bytes(block));
    EXPECT_EQ(dump.entries.at("Exif:A002").type, 3);
    EXPECT_EQ(dump.Number("Exif:A002"), 4000u);
    EXPECT_EQ(dump.entries.at("Exif:A003").type, 4);
    EXPECT_EQ(dump.Number("Exif:A003"), 70000u);
  }
}

struct RationalCase {
  double value;
  uint32_t numerator, denominator;
};

TEST(ExifRational, ResolutionsBecomeSmallFractions) {
  const RationalCase cases[] = {{300, 300, 1},        {72.5, 145, 2},  {0.5, 1, 2},
                                {299.72, 7493, 25},   {300.004, 300, 1}, {1, 1, 1},
                                {0, 0, 1},            {-5, 0, 1},      {NAN, 0, 1},
                                {1e12, 2147483647, 1}};
  for (const RationalCase& c : cases) {
    const ExifBlock::Rational r = ExifBlock::ToRational(c.value);
    EXPECT_EQ(r.numerator, c.numerator) << c.value;
    EXPECT_EQ(r.denominator, c.denominator) << c.value;
  }
}

TEST(ExifResolution, UnknownResolutionLeavesTheCamerasValues) {
  ExifSpec layout;
  layout.ifd0 = {RationalValue(0x011A, 180, 1), RationalValue(0x011B, 180, 1), Short(0x0128, 3)};
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed);
  block.SetResolution(0, 300);
  TiffDump dump = DumpExif(Bytes(block));
  EXPECT_EQ(dump.Number("IFD0:011A"), 180u);
  EXPECT_EQ(dump.Number("IFD0:0128"), 3u);
  block.SetResolution(300, 1);
  dump = DumpExif(Bytes(block));
  EXPECT_EQ(dump.Number("IFD0:011A", 0), 300u);
  EXPECT_EQ(dump.Number("IFD0:011B", 0), 1u);
  EXPECT_EQ(dump.Number("IFD0:011B", 1), 1u);
  EXPECT_EQ(dump.Number("IFD0:0128"), 2u);
}

TEST(ExifResolution, IsReadInDotsPerInch) {
  struct Case {
    std::vector<TiffValue> ifd0;
    bool stated;
    float x, y;
  };
  const Case cases[] = {
      {{RationalValue(0x011A, 300, 1), RationalValue(0x011B, 601, 2), Short(0x0128, 2)}, true, 300, 300.5f},
      {{RationalValue(0x011A, 300, 1), RationalValue(0x011B, 300, 1)}, true, 300, 300},
      {{RationalValue(0x011A, 100, 1), RationalValue(0x011B, 50, 1), Short(0x0128, 3)}, true, 254, 127},
      {{RationalValue(0x011A, 72, 1), RationalValue(0x011B, 72, 1), Short(0x0128, 1)}, false, 0, 0},
      {{RationalValue(0x011A, 72, 0), RationalValue(0x011B, 72, 1)}, false, 0, 0},
      {{RationalValue(0x011A, 72, 1)}, false, 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ExifSpec layout;
    layout.ifd0 = cases[i].ifd0;
    ExifBlock block;
    ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed) << i;
    float x = 0, y = 0;
    EXPECT_EQ(block.GetResolution(x, y), cases[i].stated) << i;
    EXPECT_FLOAT_EQ(x, cases[i].x) << i;
    EXPECT_FLOAT_EQ(y, cases[i].y) << i;
  }
}

// Pixels reduced by a factor take the stated resolution with them, in whatever unit it
// is written, and the unit stays; the orientation is read as written.
TEST(ExifResolution, ScalesWithThePixelsInItsOwnUnit) {
  struct Case {
    std::vector<TiffValue> ifd0;
    double x, y;                     // the factors
    uint32_t numeratorX, numeratorY;  // of the result, each over 1
    uint32_t unit;                    // 0 for none
    uint32_t orientation;
  };
  const Case cases[] = {
      {{RationalValue(0x011A, 300, 1), RationalValue(0x011B, 200, 1), Short(0x0128, 2),
        Short(0x0112, 6)},
       0.5, 0.25, 150, 50, 2, 6},
      // No unit entry (inches by default) and centimetres alike.
      {{RationalValue(0x011A, 720, 10), RationalValue(0x011B, 72, 1)}, 0.5, 0.5, 36, 36, 0, 0},
      {{RationalValue(0x011A, 118, 1), RationalValue(0x011B, 118, 1), Short(0x0128, 3),
        Short(0x0112, 1)},
       0.5, 0.5, 59, 59, 3, 1},
      // A factor that is no reduction leaves the block as it was.
      {{RationalValue(0x011A, 300, 1), RationalValue(0x011B, 300, 1)}, 0, 0.5, 300, 300, 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ExifSpec layout;
    layout.ifd0 = cases[i].ifd0;
    ExifBlock block;
    ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed) << i;
    EXPECT_EQ(block.Orientation(), cases[i].orientation) << i;
    block.ScaleResolution(cases[i].x, cases[i].y);
    const TiffDump dump = DumpExif(Bytes(block));
    EXPECT_EQ(dump.Number("IFD0:011A", 0), cases[i].numeratorX) << i;
    EXPECT_EQ(dump.Number("IFD0:011A", 1), 1u) << i;
    EXPECT_EQ(dump.Number("IFD0:011B", 0), cases[i].numeratorY) << i;
    EXPECT_EQ(dump.Number("IFD0:011B", 1), 1u) << i;
    EXPECT_EQ(dump.Has("IFD0:0128") ? dump.Number("IFD0:0128") : 0u, cases[i].unit) << i;
  }
}

TEST(ExifFinish, RemovesAnUnusedGapInFrontOfIfd0AndClearsTheThumbnailLink) {
  ExifSpec layout = CameraBlock(true);
  layout.gap = 16;
  const std::string source = testing::BuildExif(layout);
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  EditAsForJpeg(block, 800, 600, 300);
  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_TRUE(dump.problems.empty());
  EXPECT_EQ(dump.ifd0Offset, 8u);
  EXPECT_EQ(dump.ifd0Next, 0u);
  EXPECT_EQ(dump.Text("IFD0:013B"), "Photographer Name");
  EXPECT_EQ(dump.Text("Interop:0001"), "R98");
}

TEST(ExifFinish, KeepsAGapThatHoldsAValue) {
  ExifSpec layout;
  TiffValue artist = Ascii(0x013B, "Artist stored in front of IFD0");
  artist.inGap = true;
  layout.ifd0 = {Ascii(0x010F, "Maker"), artist};
  layout.gap = 32;
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed);
  block.SetSoftware();
  block.Finish();
  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_TRUE(dump.problems.empty());
  EXPECT_EQ(dump.ifd0Offset, 8u + 32u);
  EXPECT_EQ(dump.Text("IFD0:013B"), "Artist stored in front of IFD0");
  EXPECT_EQ(dump.Text("IFD0:010F"), "Maker");
}

TEST(ExifThumbnail, StaysWhenAValueLiesBehindIt) {
  ExifSpec layout = CameraBlock(true);
  TiffValue makerNote = testing::Undefined(0x927C, std::string(40, 'M'));
  makerNote.atEnd = true;
  layout.exif.push_back(makerNote);
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(testing::BuildExif(layout)), ExifStatus::kParsed);
  EXPECT_FALSE(block.RemoveThumbnail());
  EditAsForJpeg(block, 10, 10, 72);
  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_TRUE(dump.problems.empty());
  EXPECT_EQ(dump.entries.at("Exif:927C").value, std::string(40, 'M'));
  // IFD1 kept its place in step with the edits.
  EXPECT_TRUE(dump.Has("IFD1:0201"));
  const std::string block2 = Bytes(block);
  EXPECT_EQ(block2.substr(6 + dump.Number("IFD1:0201"), 4), std::string("\xFF\xD8\xFF\xDB", 4));
}

// A maker note keeps offsets in a layout only its maker knows (often counted from the
// TIFF header): it must stay exactly where it was, byte for byte.
TEST(ExifMakerNote, NeverMovesWhileTheBlockIsEdited) {
  std::string note("Mk\x01\x00", 4);
  for (int i = 0; i < 60; ++i) note += static_cast<char>(i * 3);
  for (bool withSoftware : {true, false}) {
    ExifSpec layout = CameraBlock(true);
    layout.exif.push_back(testing::Undefined(0x927C, note));
    if (!withSoftware) {
      layout.ifd0.erase(layout.ifd0.begin() + 6, layout.ifd0.begin() + 8);  // Software, DateTime
    }
    const std::string source = testing::BuildExif(layout);
    const TiffDump before = DumpExif(source);
    ASSERT_EQ(before.Has("IFD0:0131"), withSoftware);
    ExifBlock block;
    ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
    EditAsForJpeg(block, 800, 600, 300);
    const TiffDump after = DumpExif(Bytes(block));
    ASSERT_TRUE(after.problems.empty()) << after.problems.front();
    EXPECT_EQ(after.entries.at("Exif:927C").offset, before.entries.at("Exif:927C").offset);
    EXPECT_EQ(after.entries.at("Exif:927C").value, note);
    EXPECT_EQ(after.Text("IFD0:0131"), "Velm");
    EXPECT_EQ(after.Text("IFD0:0132"), ExifBlock::DateText(kTime));
    EXPECT_EQ(after.Number("Exif:A002"), 800u);
    for (const char* key : {"IFD0:010F", "IFD0:0110", "IFD0:013B", "Exif:829A", "Exif:9286",
                            "Interop:0001", "GPS:0002"}) {
      EXPECT_EQ(after.entries.at(key).value, before.entries.at(key).value) << key;
    }
  }
}

// Some writers put IFD0 behind the Exif IFD; inserting in front of it must move the
// header's IFD0 offset along.
TEST(ExifSoftware, Ifd0BehindItsSubDirectoryMovesAlong) {
  std::string block("Exif\0\0II\x2A\0\x2E\0\0\0", 14);                      // IFD0 at 46
  block += std::string("\x01\x00\x03\x90\x02\x00\x14\x00\x00\x00\x1A\x00\x00\x00", 14);  // Exif IFD
  block += std::string(4, '\0');
  block += std::string("2009:10:11 12:13:14\0", 20);                                    // @26
  block += std::string("\x02\x00\x0F\x01\x02\x00\x06\x00\x00\x00\x4C\x00\x00\x00", 14);  // Make @76
  block += std::string("\x69\x87\x04\x00\x01\x00\x00\x00\x08\x00\x00\x00", 12);
  block += std::string(4, '\0');
  block += std::string("Maker\0", 6);
  ASSERT_TRUE(DumpExif(block).problems.empty());
  ExifBlock exif;
  ASSERT_EQ(exif.LoadBlock(block), ExifStatus::kParsed);
  EditAsForJpeg(exif, 1, 1, 72);
  const TiffDump dump = DumpExif(Bytes(exif));
  ASSERT_TRUE(dump.problems.empty()) << dump.problems.front();
  EXPECT_EQ(dump.Text("IFD0:010F"), "Maker");
  EXPECT_EQ(dump.Text("IFD0:0131"), "Velm");
  EXPECT_EQ(dump.Text("Exif:9003"), ExifBlock::DateText(kTime));
}

struct LoadCase {
  const char* name;
  std::string file;
  ExifStatus status;
};

std::string JpegWithSegment(int marker, const std::string& payload) {
  JpegLayout layout;
  layout.markers = {{marker, payload}};
  return testing::MakeJpeg(layout);
}

TEST(ExifLoad, ReportsWhyABlockWasNotTaken) {
  ExifSpec good;
  good.ifd0 = {Ascii(0x010F, "Maker")};
  const std::string block = testing::BuildExif(good);
  std::string wrongOrder = block;
  wrongOrder[6] = 'X';
  std::string wrongMagic = block;
  wrongMagic[8] = 41;
  const std::string noFrame = std::string("\xFF\xD8\xFF\xE1\x00\x10", 6) + block.substr(0, 14) +
                              std::string("\xFF\xD9", 2);
  const LoadCase cases[] = {
      {"parsed", JpegWithSegment(0xE1, block), ExifStatus::kParsed},
      {"no jpeg", std::string(200, 'x'), ExifStatus::kNotJpeg},
      {"no frame", noFrame, ExifStatus::kNotJpeg},
      {"no exif", testing::MakeJpeg(JpegLayout{}), ExifStatus::kNotExif},
      {"xmp only", JpegWithSegment(0xE1, "http://ns.adobe.com/xap/1.0/"), ExifStatus::kNotExif},
      // Bytes that look like an EXIF segment inside another segment are not one.
      {"inside a comment", JpegWithSegment(0xFE, "\xFF\xE1\x01\x00" + block), ExifStatus::kNotExif},
      {"short segment", JpegWithSegment(0xE1, block.substr(0, 12)), ExifStatus::kDamaged},
      {"byte order", JpegWithSegment(0xE1, wrongOrder), ExifStatus::kUnknownByteOrder},
      {"magic", JpegWithSegment(0xE1, wrongMagic), ExifStatus::kDamaged},
  };
  TempDir dir;
  for (const LoadCase& c : cases) {
    WriteFile(dir.File("f.jpg"), c.file);
    ExifBlock exif;
    EXPECT_EQ(exif.LoadFromJpeg(dir.File("f.jpg")), c.status) << c.name;
    EXPECT_EQ(exif.Empty(), c.status != ExifStatus::kParsed) << c.name;
  }
}

TEST(ExifWrite, SegmentsFollowInTheirOrderAndOldExifIsDropped) {
  TempDir dir;
  const std::string old = testing::BuildExif(CameraBlock(false));
  const std::string photoshop = std::string("Photoshop 3.0\0", 14) + "8BIM";
  JpegLayout layout;
  layout.markers = {{0xE2, testing::IccChunk(1, 2, "first half")},
                  {0xFE, "a comment"},
                  {0xE1, old},
                  {0xED, photoshop},
                  {0xE2, testing::IccChunk(2, 2, "second half")}};
  const std::string original = testing::MakeJpeg(layout);
  WriteFile(dir.File("p.jpg"), original);

  ExifBlock block;
  block.Create(kTime);
  block.Finish();
  ASSERT_EQ(block.WriteIntoJpeg(dir.File("p.jpg")), ExifBlock::WriteResult::kWritten);
  const std::string written = ReadFile(dir.File("p.jpg"));
  const auto segments = JpegSegments(written);
  const std::vector<int> expected = {0xD8, 0xE1, 0xE0, 0xFE, 0xED, 0xE2, 0xE2, 0xDB};
  ASSERT_GE(segments.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(segments[i].first, expected[i]) << i;
  EXPECT_EQ(segments[1].second, Bytes(block));
  EXPECT_EQ(segments[3].second, "a comment");
  EXPECT_EQ(segments[5].second, testing::IccChunk(1, 2, "first half"));
  EXPECT_EQ(segments[6].second, testing::IccChunk(2, 2, "second half"));
  // Tables, frame, scans and end of image come over unchanged.
  const size_t tables = original.find(std::string("\xFF\xDB\x00\x43", 4));
  EXPECT_EQ(written.substr(written.size() - (original.size() - tables)), original.substr(tables));
  EXPECT_EQ(block.ExtraSegments().size(), 3u);  // JFIF, comment, Photoshop
}

TEST(ExifWrite, OddBlockGetsOnePaddingByteAndAnEvenLength) {
  ExifSpec layout;
  layout.ifd0 = {Ascii(0x010F, "Maker")};
  layout.trailer = "odd";
  std::string source = testing::BuildExif(layout);
  if (source.size() % 2 == 0) source += 'x';
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  ASSERT_EQ(block.Length() % 2, 1u);
  TempDir dir;
  WriteFile(dir.File("p.jpg"), testing::MakeJpeg(JpegLayout{}));
  ASSERT_EQ(block.WriteIntoJpeg(dir.File("p.jpg")), ExifBlock::WriteResult::kWritten);
  const std::string written = ReadFile(dir.File("p.jpg"));
  const size_t length = (static_cast<uint8_t>(written[4]) << 8) | static_cast<uint8_t>(written[5]);
  EXPECT_EQ(length, block.Length() + 1 + 2);
  EXPECT_EQ(length % 2, 0u);
  EXPECT_EQ(written.substr(6, length - 2), Bytes(block) + std::string(1, '\0'));
  EXPECT_EQ(static_cast<uint8_t>(written[2 + 2 + length]), 0xFF);
}

// An Exif IFD pointer into the last three bytes of an odd block points nowhere; once
// padded, four bytes would lie there and readers would take them for a directory.
TEST(ExifWrite, PointerIntoTheLastBytesIsClearedBeforePadding) {
  ExifSpec layout;
  layout.ifd0 = {Ascii(0x010F, "Maker"), Long(0x8769, 0)};
  layout.trailer = "odd";
  std::string source = testing::BuildExif(layout);
  if (source.size() % 2 == 0) source += 'x';
  // The pointer's value: the block position three bytes before the end, less six.
  const size_t entry = 16 + 12;
  ASSERT_EQ(static_cast<unsigned char>(source[entry]), 0x69);
  const uint32_t offset = static_cast<uint32_t>(source.size() - 3 - 6);
  for (int i = 0; i < 4; ++i) source[entry + 8 + i] = static_cast<char>(offset >> (8 * i));
  source.replace(source.size() - 3, 2, std::string("\x01\x00", 2));  // one entry, if it fitted

  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  block.Finish();
  ASSERT_EQ(block.Length() % 2, 1u);
  TempDir dir;
  WriteFile(dir.File("p.jpg"), testing::MakeJpeg(JpegLayout{}));
  ASSERT_EQ(block.WriteIntoJpeg(dir.File("p.jpg")), ExifBlock::WriteResult::kWritten);
  ExifBlock again;
  EXPECT_EQ(again.LoadFromJpeg(dir.File("p.jpg")), ExifStatus::kParsed);
  const TiffDump dump = DumpExif(Bytes(again));
  ASSERT_TRUE(dump.Has("IFD0:8769"));
  EXPECT_EQ(dump.entries.at("IFD0:8769").offset, 0u);
}

TEST(ExifWrite, BlockTooLargeForOneSegmentIsLeftOutAndTheFileKept) {
  ExifSpec layout;
  layout.ifd0 = {Ascii(0x010F, "Maker")};
  std::string source = testing::BuildExif(layout);
  source += std::string(ExifBlock::kMaxSegmentPayload - source.size(), 'z');
  ASSERT_EQ(source.size() % 2, 1u);  // fits only without the padding byte
  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  TempDir dir;
  WriteFile(dir.File("fits.jpg"), testing::MakeJpeg(JpegLayout{}));
  EXPECT_EQ(block.WriteIntoJpeg(dir.File("fits.jpg")), ExifBlock::WriteResult::kWritten);
  // The segment's length field holds the block and itself, 65535, without the padding
  // byte that would wrap it to 0; the next segment follows right after the block.
  const std::string written = ReadFile(dir.File("fits.jpg"));
  size_t at = 2;
  while (at + 4 <= written.size() && static_cast<uint8_t>(written[at + 1]) != 0xE1) {
    at += 2 + (static_cast<uint8_t>(written[at + 2]) << 8) + static_cast<uint8_t>(written[at + 3]);
  }
  ASSERT_LE(at + 4, written.size());
  const size_t length =
      (static_cast<uint8_t>(written[at + 2]) << 8) + static_cast<uint8_t>(written[at + 3]);
  EXPECT_EQ(length, source.size() + 2);
  ASSERT_LT(at + 2 + length, written.size());
  EXPECT_EQ(static_cast<uint8_t>(written[at + 2 + length]), 0xFF);
  ExifBlock fitted;
  EXPECT_EQ(fitted.LoadFromJpeg(dir.File("fits.jpg")), ExifStatus::kParsed);
  EXPECT_EQ(fitted.Length(), source.size());

  ASSERT_TRUE(block.SetSoftware());  // grows the block past one segment
  ASSERT_GT(block.Length(), ExifBlock::kMaxSegmentPayload);
  const std::string original = testing::MakeJpeg(JpegLayout{});
  WriteFile(dir.File("p.jpg"), original);
  EXPECT_EQ(block.WriteIntoJpeg(dir.File("p.jpg")), ExifBlock::WriteResult::kTooLarge);
  EXPECT_EQ(ReadFile(dir.File("p.jpg")), original);
}

TEST(ExifWrite, FailureLeavesTheEncodersFileAsItWas) {
  TempDir dir;
  WriteFile(dir.File("not.jpg"), std::string(64, 'n'));
  ExifBlock block;
  block.Create(kTime);
  EXPECT_EQ(block.WriteIntoJpeg(dir.File("not.jpg")), ExifBlock::WriteResult::kFailed);
  EXPECT_EQ(ReadFile(dir.File("not.jpg")), std::string(64, 'n'));

  // A full disk while the new file is written: the old one stays, and nothing else.
  JpegLayout layout;
  layout.width = 200;
  layout.height = 200;
  const std::string original = testing::MakeJpeg(layout);
  ASSERT_GT(original.size(), 2048u);
  WriteFile(dir.File("p.jpg"), original);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2048;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const ExifBlock::WriteResult result = block.WriteIntoJpeg(dir.File("p.jpg"));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, ExifBlock::WriteResult::kFailed);
  EXPECT_EQ(ReadFile(dir.File("p.jpg")), original);
  EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"not.jpg", "p.jpg"}));
}

// Blocks from files of unknown origin: whatever they hold, every operation stays
// inside the buffer (the sanitizers check), and an edited block never points outside.
TEST(ExifHostile, DamagedBlocksAreEditedSafely) {
  std::vector<std::string> blocks;
  const std::string camera = testing::BuildExif(CameraBlock(true));
  auto patched = [&](size_t at, const std::string& bytes) {
    std::string b = camera;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  blocks.push_back(patched(10, std::string("\xFF\xFF\xFF\x7F", 4)));  // IFD0 far outside
  blocks.push_back(patched(14, std::string("\xFF\xFF", 2)));          // 65535 entries
  blocks.push_back(patched(10, std::string("\x00\x00\x00\x00", 4)));  // IFD0 on the header
  blocks.push_back(camera.substr(0, 40));                             // cut in IFD0
  blocks.push_back(camera.substr(0, camera.size() / 2));              // cut in the middle
  // Every entry's value offset of IFD0 pointing at IFD0 itself or beyond the end.
  for (const std::string& offset : {std::string("\x08\x00\x00\x00", 4), std::string("\xF0\xFF\x00\x00", 4)}) {
    std::string b = camera;
    for (size_t e = 0; e < 10; ++e) b.replace(16 + e * 12 + 8, 4, offset);
    blocks.push_back(b);
  }
  // Random damage to a sound block, repeatable.
  std::mt19937 random(1234);
  for (int i = 0; i < 3000; ++i) {
    std::string b = camera;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      b[random() % b.size()] = static_cast<char>(random() & 0xFF);
    }
    blocks.push_back(b);
  }
  for (const std::string& source : blocks) {
    ExifBlock block;
    if (block.LoadBlock(source) != ExifStatus::kParsed) {
      EXPECT_TRUE(block.Empty());
      continue;
    }
    EditAsForJpeg(block, 100, 100, 96);
    // Whatever the source held, the edited block is one that loads again.
    ExifBlock again;
    EXPECT_EQ(again.LoadBlock(Bytes(block)), ExifStatus::kParsed)
        << "block " << (&source - blocks.data());
    if (block.Length() <= 14) continue;
    for (const std::string& problem : DumpExif(Bytes(block)).problems) {
      // Damage the source already had may stay; what the edits added must not point out.
      if (problem.find("IFD0") != std::string::npos && problem.find("value") == std::string::npos) {
        ADD_FAILURE() << problem << " in block " << (&source - blocks.data());
      }
    }
  }
}

// IFD0's next-directory field holding no offset at all (here all ones): entries
// inserted in front of it must not turn it into an offset into the headers, from
// where the next edit would take header bytes for a directory.
TEST(ExifHostile, NextDirectoryFieldThatIsNoOffsetStaysNoOffset) {
  ExifSpec layout = CameraBlock(true);
  std::erase_if(layout.ifd0, [](const TiffValue& v) { return v.tag == 0x0132; });
  layout.ifd1.clear();
  layout.thumbnail.clear();
  std::string source = testing::BuildExif(layout);
  const size_t count = static_cast<unsigned char>(source[14]);
  source.replace(16 + count * 12, 4, std::string("\xFF\xFF\xFF\xFF", 4));

  ExifBlock block;
  ASSERT_EQ(block.LoadBlock(source), ExifStatus::kParsed);
  EditAsForJpeg(block, 100, 100, 96);
  ExifBlock again;
  ASSERT_EQ(again.LoadBlock(Bytes(block)), ExifStatus::kParsed);
  const TiffDump dump = DumpExif(Bytes(block));
  EXPECT_EQ(dump.ifd0Next, 0u);
  EXPECT_EQ(dump.Text("IFD0:010F"), "Canon");
  EXPECT_EQ(dump.Text("IFD0:0132"), ExifBlock::DateText(kTime));
  EXPECT_EQ(dump.Text("Exif:9003"), ExifBlock::DateText(kTime));
}

}  // namespace
}  // namespace velmora
