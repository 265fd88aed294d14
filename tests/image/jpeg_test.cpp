#include <gtest/gtest.h>

#include <sys/resource.h>

#include <climits>
#include <csignal>
#include <string>

#include "image/jpeg_codec.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::IccChunk;
using testing::JpegSegments;
using testing::JpegLayout;
using testing::MakeJpeg;
using testing::ReadFile;
using testing::ReadJpegHeader;
using testing::TempDir;
using testing::WriteFile;

std::string WriteFixtureJpeg(const TempDir& dir, const std::string& name, const JpegLayout& layout) {
  const std::string path = dir.File(name);
  WriteFile(path, MakeJpeg(layout));
  return path;
}

TEST(JpegKindTest, NeedsTwentyFourBytesStartingWithFfD8Ff) {
  TempDir dir;
  const std::string head("\xFF\xD8\xFF", 3);
  struct Case {
    std::string bytes;
    bool expected;
  } cases[] = {{head + std::string(21, 'x'), true},
               {head + std::string(20, 'x'), false},
               {std::string("\xFF\xD8\xFE", 3) + std::string(21, 'x'), false},
               {std::string("\x89PNG", 4) + std::string(20, 'x'), false}};
  for (const Case& c : cases) {
    WriteFile(dir.File("f"), c.bytes);
    EXPECT_EQ(IsJpegFile(dir.File("f")), c.expected) << c.bytes.size();
  }
  EXPECT_FALSE(IsJpegFile(""));
  EXPECT_FALSE(IsJpegFile(dir.File("missing")));
}

TEST(JpegReader, DecodesColourAndGreyIntoTheirPixelForms) {
  TempDir dir;
  JpegLayout colour;
  JpegLayout grey;
  grey.components = 1;
  for (const auto& [layout, bits] : {std::pair{colour, 24}, std::pair{grey, 8}}) {
    Picture jpeg;
    int status = -1;
    ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "p.jpg", layout), jpeg, status));
    EXPECT_EQ(status, static_cast<int>(ReadStatus::kComplete));
    EXPECT_EQ(jpeg.width, layout.width);
    EXPECT_EQ(jpeg.height, layout.height);
    EXPECT_EQ(jpeg.bitsPerPixel, bits);
    EXPECT_EQ(jpeg.sourceBitsPerPixel, bits);
    ASSERT_NE(jpeg.pixels, nullptr);
  }
}

TEST(JpegReader, RefusesCmykWithStatusThree) {
  TempDir dir;
  JpegLayout layout;
  layout.components = 4;
  layout.jfif = false;
  Picture jpeg;
  int status = -1;
  EXPECT_FALSE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "cmyk.jpg", layout), jpeg, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kUnsupported));
  EXPECT_EQ(jpeg.pixels, nullptr);
}

TEST(JpegReader, TruncatedFileIsDamagedWithStatusOne) {
  TempDir dir;
  JpegLayout layout;
  layout.width = 64;
  layout.height = 64;
  const std::string whole = MakeJpeg(layout);
  WriteFile(dir.File("cut.jpg"), whole.substr(0, whole.size() * 2 / 3));
  Picture jpeg;
  int status = -1;
  EXPECT_TRUE(testing::ReadWithStatus(ReadJpeg, dir.File("cut.jpg"), jpeg, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kPartial));
  EXPECT_EQ(jpeg.width, 64);
}

TEST(JpegReader, RefusesHugeFrameBeforeDecoding) {
  TempDir dir;
  std::string bytes = MakeJpeg(JpegLayout{});
  // The frame header claims 65500 × 65500 pixels: far beyond the picture limits.
  const size_t sof = bytes.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  bytes.replace(sof + 5, 4, "\xFF\xDC\xFF\xDC");
  WriteFile(dir.File("huge.jpg"), bytes);
  Picture jpeg;
  int status = -1;
  EXPECT_FALSE(testing::ReadWithStatus(ReadJpeg, dir.File("huge.jpg"), jpeg, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kUnreadable));
}

// Every scan of a progressive file costs a pass over the whole picture: a file that
// repeats one scan without end is refused once it passes a thousand.
TEST(JpegReader, RefusesEndlessScans) {
  TempDir dir;
  Picture writer;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", JpegLayout{}), writer, status));
  ASSERT_TRUE(WriteJpeg(dir.File("progressive.jpg"), writer, 90, ""));
  const std::string bytes = ReadFile(dir.File("progressive.jpg"));
  const size_t lastScan = bytes.rfind("\xFF\xDA");
  ASSERT_NE(lastScan, std::string::npos);
  ASSERT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
  const std::string scan = bytes.substr(lastScan, bytes.size() - 2 - lastScan);

  std::string some = bytes.substr(0, bytes.size() - 2);
  for (int i = 0; i < 20; ++i) some += scan;
  WriteFile(dir.File("some.jpg"), some + "\xFF\xD9");
  Picture reader;
  EXPECT_TRUE(testing::ReadWithStatus(ReadJpeg, dir.File("some.jpg"), reader, status));

  std::string endless = bytes.substr(0, bytes.size() - 2);
  for (int i = 0; i < 1000; ++i) endless += scan;
  WriteFile(dir.File("endless.jpg"), endless + "\xFF\xD9");
  EXPECT_FALSE(testing::ReadWithStatus(ReadJpeg, dir.File("endless.jpg"), reader, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kUnreadable));
}

TEST(JpegReader, NotAJpegIsUnreadable) {
  TempDir dir;
  WriteFile(dir.File("x.jpg"), std::string(100, 'x'));
  Picture jpeg;
  int status = -1;
  EXPECT_FALSE(testing::ReadWithStatus(ReadJpeg, dir.File("x.jpg"), jpeg, status));
  EXPECT_EQ(status, static_cast<int>(ReadStatus::kUnreadable));
}

struct DensityCase {
  const char* name;
  bool jfif;
  int unit, x, y;
  float dpiX, dpiY;         // as read
  int writtenX, writtenY;   // density written, unit 1
};
void PrintTo(const DensityCase& c, std::ostream* os) { *os << c.name; }

class JpegResolution : public ::testing::TestWithParam<DensityCase> {};

TEST_P(JpegResolution, IsReadAsDotsPerInchAndWrittenRounded) {
  const DensityCase& c = GetParam();
  TempDir dir;
  JpegLayout layout;
  layout.jfif = c.jfif;
  layout.densityUnit = c.unit;
  layout.xDensity = c.x;
  layout.yDensity = c.y;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", layout), jpeg, status));
  EXPECT_NEAR(jpeg.xResolution, c.dpiX, 0.01);
  EXPECT_NEAR(jpeg.yResolution, c.dpiY, 0.01);
  ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, ""));
  auto header = ReadJpegHeader(dir.File("out.jpg"));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->densityUnit, 1);
  EXPECT_EQ(header->xDensity, c.writtenX);
  EXPECT_EQ(header->yDensity, c.writtenY);
}

INSTANTIATE_TEST_SUITE_P(
    Densities, JpegResolution,
    ::testing::Values(DensityCase{"PerCentimetre", true, 2, 118, 118, 299.72f, 299.72f, 300, 300},
                      DensityCase{"AspectOnly", true, 0, 1, 1, 1, 1, 1, 1},
                      DensityCase{"NoJfifHeader", false, 0, 1, 1, 1, 1, 1, 1},
                      DensityCase{"PerInchUneven", true, 1, 300, 150, 300, 150, 300, 150}),
    [](const auto& info) { return std::string(info.param.name); });

// An unknown resolution keeps the library's default (no unit, 1:1); a resolution
// beyond the 16-bit field is written as its largest value, not wrapped; one that rounds
// to 0 is written as 1, as a density of 0 means no density at all.
TEST(JpegWriter, ResolutionsOutsideTheFieldAreKeptInsideIt) {
  struct Case {
    float x, y;
    int unit, xDensity, yDensity;
  } cases[] = {{0, 300, 0, 1, 1}, {1e9f, 70000.4f, 1, 65535, 65535}, {0.2f, 0.49f, 1, 1, 1}};
  TempDir dir;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", JpegLayout{}), jpeg, status));
  for (const Case& c : cases) {
    jpeg.xResolution = c.x;
    jpeg.yResolution = c.y;
    ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, ""));
    auto header = ReadJpegHeader(dir.File("out.jpg"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->densityUnit, c.unit) << c.x;
    EXPECT_EQ(header->xDensity, c.xDensity) << c.x;
    EXPECT_EQ(header->yDensity, c.yDensity) << c.x;
  }
}

// The writer asks the library for its strongest compression: progressive scans, which
// the library always codes with optimised Huffman tables.
TEST(JpegWriter, WritesProgressiveScans) {
  TempDir dir;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", JpegLayout{}), jpeg, status));
  ASSERT_FALSE(ReadJpegHeader(dir.File("in.jpg"))->progressive);
  ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, ""));
  auto header = ReadJpegHeader(dir.File("out.jpg"));
  ASSERT_TRUE(header);
  EXPECT_TRUE(header->progressive);
}

struct GreyCase {
  uint8_t r, g, b;
  bool grey;
};

TEST(JpegGreyTest, AllowsChannelDifferencesUpToThree) {
  const GreyCase cases[] = {
      {100, 103, 100, true}, {100, 104, 100, false}, {3, 0, 0, true}, {0, 0, 4, false},
      {255, 252, 254, true},
      // Differences are signed: wrapped into a byte, these would pass for grey.
      {0, 255, 0, false}, {0, 253, 0, false}, {255, 0, 255, false}};
  for (const GreyCase& c : cases) {
    const uint8_t pixel[3] = {c.r, c.g, c.b};
    EXPECT_EQ(IsNearlyGrey(pixel, 1), c.grey)
        << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
  EXPECT_TRUE(IsNearlyGrey(nullptr, 0));
}

TEST(JpegGreyTest, GreyPlaneIsTheTruncatedMean) {
  const uint8_t rgb[6] = {10, 11, 13, 255, 255, 254};
  PixelBuffer grey = MakeGreyPlane(rgb, 2);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(grey[0], 11);
  EXPECT_EQ(grey[1], 254);
}

TEST(JpegWriter, NearlyGreyColourBecomesOneComponentAndPureGreenStaysColour) {
  TempDir dir;
  struct Case {
    uint8_t r, g, b;
    int components;
  } cases[] = {{120, 122, 119, 1}, {0, 255, 0, 3}};
  for (const Case& c : cases) {
    Picture jpeg;
    jpeg.width = 8;
    jpeg.height = 8;
    jpeg.bitsPerPixel = 24;
    jpeg.pixels = AllocatePixels(8, 8, 3);
    for (int i = 0; i < 64; ++i) {
      jpeg.pixels[i * 3] = c.r;
      jpeg.pixels[i * 3 + 1] = c.g;
      jpeg.pixels[i * 3 + 2] = c.b;
    }
    ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, ""));
    auto header = ReadJpegHeader(dir.File("out.jpg"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->components, c.components) << int(c.g);
  }
}

TEST(JpegWriter, ClampsQualityBeforeTheLibrarySeesIt) {
  TempDir dir;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", JpegLayout{}), jpeg, status));
  auto encode = [&](unsigned quality) {
    const std::string path = dir.File("q" + std::to_string(quality) + ".jpg");
    EXPECT_TRUE(WriteJpeg(path, jpeg, quality, ""));
    return ReadFile(path);
  };
  EXPECT_EQ(encode(0), encode(1));
  EXPECT_EQ(encode(101), encode(100));
  // Above INT_MAX the number must not turn negative (which the library takes as 1).
  EXPECT_EQ(encode(0x80000001u), encode(100));
  EXPECT_EQ(encode(UINT_MAX), encode(100));
  EXPECT_NE(encode(1), encode(100));
  auto header = ReadJpegHeader(dir.File("q100.jpg"));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->firstLuminanceQuantiser, 1);
}

std::string Profile(size_t size) {
  std::string profile;
  for (size_t i = 0; i < size; ++i) profile += static_cast<char>((i * 131 + i / 256) & 0xFF);
  return profile;
}

TEST(JpegIccProfile, ThreeChunksAreJoinedAndRecutIntoTheOutput) {
  TempDir dir;
  const std::string profile = Profile(90000);
  JpegLayout layout;
  // Out of order on purpose: the sequence numbers decide.
  layout.markers = {{0xE2, IccChunk(2, 3, profile.substr(30000, 30000))},
                  {0xE2, IccChunk(1, 3, profile.substr(0, 30000))},
                  {0xE2, IccChunk(3, 3, profile.substr(60000))}};
  const std::string source = WriteFixtureJpeg(dir, "icc.jpg", layout);
  EXPECT_EQ(LoadIccProfile(source), profile);

  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, source, jpeg, status));
  ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, source));
  std::string joined;
  int chunks = 0;
  for (const auto& [marker, payload] : JpegSegments(ReadFile(dir.File("out.jpg")))) {
    if (marker != 0xE2) continue;
    ++chunks;
    ASSERT_GE(payload.size(), 14u);
    EXPECT_EQ(payload.substr(0, 12), std::string("ICC_PROFILE\0", 12));
    EXPECT_EQ(payload[12], chunks);
    EXPECT_EQ(payload[13], 2);
    EXPECT_LE(payload.size() - 14, 65519u);
    joined += payload.substr(14);
  }
  EXPECT_EQ(chunks, 2);
  EXPECT_EQ(joined, profile);
}

TEST(JpegIccProfile, InconsistentChunksGiveNoProfileButThePictureIsWritten) {
  TempDir dir;
  const std::string a(100, 'a'), b(100, 'b');
  const std::vector<std::vector<std::pair<int, std::string>>> cases = {
      {{0xE2, IccChunk(1, 2, a)}},                                 // chunk 2 missing
      {{0xE2, IccChunk(1, 2, a)}, {0xE2, IccChunk(1, 2, b)}},      // chunk 1 twice
      {{0xE2, IccChunk(1, 2, a)}, {0xE2, IccChunk(2, 3, b)}},      // counts differ
      {{0xE2, IccChunk(0, 1, a)}},                                 // number 0
      {{0xE2, IccChunk(2, 1, a)}},                                 // number above count
      {{0xE2, IccChunk(1, 1, "")}},                                // nothing in it
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    JpegLayout layout;
    layout.markers = cases[i];
    const std::string source = WriteFixtureJpeg(dir, "bad.jpg", layout);
    EXPECT_EQ(LoadIccProfile(source), "") << "case " << i;
    Picture jpeg;
    int status = -1;
    ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, source, jpeg, status));
    ASSERT_TRUE(WriteJpeg(dir.File("out.jpg"), jpeg, 90, source)) << "case " << i;
    for (const auto& segment : JpegSegments(ReadFile(dir.File("out.jpg")))) {
      EXPECT_NE(segment.first, 0xE2) << "case " << i;
    }
  }
}

TEST(JpegIccProfile, FileThatIsNoJpegContributesNone) {
  TempDir dir;
  WriteFile(dir.File("p.bmp"), "BM" + std::string(100, '\0'));
  EXPECT_EQ(LoadIccProfile(dir.File("p.bmp")), "");
}

TEST(JpegWriter, OutputThatCannotBeCreatedFails) {
  TempDir dir;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", JpegLayout{}), jpeg, status));
  EXPECT_FALSE(WriteJpeg(dir.File("no/such/folder.jpg"), jpeg, 90, ""));
  Picture empty;
  EXPECT_FALSE(WriteJpeg(dir.File("empty.jpg"), empty, 90, ""));
  EXPECT_FALSE(testing::FileExists(dir.File("empty.jpg")));
}

// A full disk in the middle of the file: the file-size limit makes writes past 4 KB
// fail, as they would on a full disk. The partial file must not stay behind, or the
// size test could take it for a smaller picture.
TEST(JpegWriter, FailedWriteRemovesThePartialFile) {
  TempDir dir;
  JpegLayout layout;
  layout.width = 256;
  layout.height = 256;
  layout.components = 1;
  layout.quality = 100;
  Picture jpeg;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadJpeg, WriteFixtureJpeg(dir, "in.jpg", layout), jpeg, status));
  const std::string output = dir.File("out.jpg");
  WriteFile(output, "");

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteJpeg(output, jpeg, 100, "");
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_FALSE(testing::FileExists(output));
  ASSERT_TRUE(WriteJpeg(output, jpeg, 100, ""));  // the same picture fits without the limit
  EXPECT_GT(ReadFile(output).size(), 4096u);
}

}  // namespace
}  // namespace velmora
