#include "image/bmp_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/bmp_writer.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::BmpLayout;
using testing::BuildBmp;
using testing::PackRows;
using Rows = std::vector<std::vector<uint32_t>>;

class BmpFile {
 public:
  bool Read(const std::string& bytes) {
    testing::WriteFile(path, bytes);
    return testing::ReadWithStatus(ReadBmp, path, bmp, status);
  }
  // 0xRRGGBB, or 0xRRGGBBAA for 32-bit pictures.
  uint32_t Pixel(int x, int y) const {
    const int bytes = bmp.bitsPerPixel / 8;
    const uint8_t* p = bmp.pixels.get() + (static_cast<size_t>(y) * bmp.width + x) * bytes;
    uint32_t value = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    return bytes == 4 ? (value << 8) | p[3] : value;
  }
  Rows AllPixels() const {
    Rows rows(static_cast<size_t>(bmp.height));
    for (int y = 0; y < bmp.height; ++y) {
      for (int x = 0; x < bmp.width; ++x) rows[static_cast<size_t>(y)].push_back(Pixel(x, y));
    }
    return rows;
  }

  testing::TempDir dir;
  std::string path = dir.File("picture.bmp");
  Picture bmp;
  int status = -1;
};

// Distinct colours for palette indices.
uint32_t PaletteColour(uint32_t index) {
  return ((0x102030u * (index + 1)) ^ (index << 4)) & 0xFFFFFF;
}

std::vector<uint32_t> Palette(int entries) {
  std::vector<uint32_t> palette;
  for (int i = 0; i < entries; ++i) palette.push_back(PaletteColour(static_cast<uint32_t>(i)));
  return palette;
}

// ---------------------------------------------------------------------------------------
// Every header form × bit count × odd and even widths × row order decodes to the same
// picture. Colour tables are written whole with the colour count 0, so the reader must
// default it to 2^bits; files without a file header have their pixels straight after
// the table.

using LayoutParam = std::tuple<uint32_t /*header*/, bool /*file header*/, int /*bits*/,
                               int /*width*/, bool /*top-down*/>;
class BmpLayoutTest : public ::testing::TestWithParam<LayoutParam> {};

TEST_P(BmpLayoutTest, DecodesToTheStoredPicture) {
  const auto [headerSize, fileHeader, bitCount, width, topDown] = GetParam();
  const int height = 3;
  std::mt19937 random(static_cast<uint32_t>(width * 131 + bitCount));
  Rows stored(height), expected(height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t value = random();
      uint32_t colour = 0;
      if (bitCount <= 8) {
        value %= 1u << bitCount;
        colour = PaletteColour(value);
      } else if (bitCount == 16) {
        value &= 0x7FFF;  // 5 bits each, scaled as j × 255 / 31
        colour = ((value >> 10) * 255 / 31) << 16 | ((value >> 5 & 31) * 255 / 31) << 8 |
                 (value & 31) * 255 / 31;
      } else if (bitCount == 24) {
        value &= 0xFFFFFF;
        colour = value;
      } else {
        value |= 0x01000000;  // some alpha is not 0, so the fourth byte is alpha
        colour = (value << 8) | (value >> 24);
      }
      stored[y].push_back(value);
      expected[y].push_back(colour);
    }
  }
  BmpLayout layout;
  layout.headerSize = headerSize;
  layout.fileHeader = fileHeader;
  layout.bitCount = static_cast<uint16_t>(bitCount);
  layout.width = width;
  layout.height = topDown ? -height : height;
  if (bitCount <= 8) layout.palette = Palette(1 << bitCount);
  layout.coloursUsed = 0;
  layout.data = PackRows(stored, bitCount, topDown);
  BmpFile file;
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.bmp.sourceBitsPerPixel, bitCount);
  EXPECT_EQ(file.bmp.bitsPerPixel, bitCount == 32 ? 32 : 24);
  EXPECT_EQ(file.AllPixels(), expected);
}

std::vector<LayoutParam> Layouts() {
  std::vector<LayoutParam> params;
  for (uint32_t header : {12u, 40u, 64u, 108u, 124u}) {
    for (bool fileHeader : {true, false}) {
      for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int width : {1, 2, 3, 5, 8, 9}) {
          // The core header's height is unsigned: its rows are always bottom-up.
          params.emplace_back(header, fileHeader, bits, width, false);
          if (header != 12) params.emplace_back(header, fileHeader, bits, width, true);
        }
      }
    }
  }
  return params;
}

INSTANTIATE_TEST_SUITE_P(Layouts, BmpLayoutTest, ::testing::ValuesIn(Layouts()));

// ---------------------------------------------------------------------------------------

TEST(BmpReader, KindTestFollowsHeaderRules) {
  struct Case {
    const char* name;
    std::string bytes;
    bool isBmp;
  };
  BmpLayout plain;
  plain.data = PackRows({{0x123456}}, 24, false);
  auto with = [&](auto change) {
    BmpLayout layout = plain;
    change(layout);
    return BuildBmp(layout);
  };
  const Case cases[] = {
      {"fourteen bytes", BuildBmp(plain).substr(0, 14), false},
      {"plain", BuildBmp(plain), true},
      {"no file header", with([](BmpLayout& s) { s.fileHeader = false; }), true},
      {"header size 16", with([](BmpLayout& s) { s.headerSize = 16; }), false},
      {"header 108 with a colour count",
       with([](BmpLayout& s) { s.headerSize = 108, s.coloursUsed = 1; }), false},
      {"header 108 with a short image size",
       with([](BmpLayout& s) { s.headerSize = 108, s.imageSize = 3; }), false},
      {"header 108 with two planes", with([](BmpLayout& s) { s.headerSize = 108, s.planes = 2; }),
       false},
      {"two bits per pixel", with([](BmpLayout& s) { s.bitCount = 2; }), false},
      {"PNG signature", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string(40, '\0'),
       false},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.File("picture.bmp");
    testing::WriteFile(path, c.bytes);
    EXPECT_EQ(IsBmpFile(path), c.isBmp) << c.name;
  }
  EXPECT_FALSE(IsBmpFile(""));
  EXPECT_FALSE(IsBmpFile(dir.File("missing.bmp")));
}

TEST(BmpReader, ThirtyTwoBitAlphaRules) {
  struct Case {
    const char* name;
    uint32_t compression;
    std::vector<uint32_t> masks;
    std::vector<uint32_t> stored;    // two pixels
    std::vector<uint32_t> expected;  // 0xRRGGBBAA
  };
  const Case cases[] = {
      {"plain, fourth bytes all 0: opaque", 0, {}, {0x00112233, 0x00445566},
       {0x112233FF, 0x445566FF}},
      {"plain, one fourth byte set: kept as alpha", 0, {}, {0x00112233, 0x80445566},
       {0x11223300, 0x44556680}},
      {"bit fields, standard masks: the unclaimed fourth byte is alpha even when 0", 3,
       {0x00FF0000, 0x0000FF00, 0x000000FF}, {0x00112233, 0x00445566}, {0x11223300, 0x44556600}},
      {"bit fields 10-10-10: channels scaled, the two spare bits are alpha", 3,
       {0x3FF00000, 0x000FFC00, 0x000003FF},
       {0xC0000000 | (1023u << 20) | (512u << 10), 0x400003FF},
       {0xFF7F00FF, 0x0000FF55}},
      {"bit fields 11-11-10: no spare bits, opaque", 3, {0xFFE00000, 0x001FFC00, 0x000003FF},
       {0xFFE00000, 0x000003FF}, {0xFF0000FF, 0x0000FFFF}},
      {"bit fields with a red mask of 0: red reads 0, the top 16 bits are alpha", 3,
       {0, 0x0000FF00, 0x000000FF}, {0xFF00FF00, 0x000000FF}, {0x00FF00FE, 0x0000FF00}},
  };
  for (const Case& c : cases) {
    BmpLayout layout;
    layout.bitCount = 32;
    layout.width = 2;
    layout.compression = c.compression;
    layout.masks = c.masks;
    layout.data = PackRows({c.stored}, 32, false);
    BmpFile file;
    ASSERT_TRUE(file.Read(BuildBmp(layout))) << c.name;
    EXPECT_EQ(file.AllPixels(), Rows{c.expected}) << c.name;
  }
}

TEST(BmpReader, SixteenBitMasksScaleToFullRange) {
  struct Case {
    const char* name;
    uint32_t compression;
    std::vector<uint32_t> masks;
    uint32_t stored;
    uint32_t expected;
  };
  const Case cases[] = {
      {"default 5-5-5: 31 and 16", 0, {}, (31u << 10) | (16u << 5), 0xFF8300},
      {"default masks whatever the compression", 7, {}, 31u, 0x0000FF},
      {"5-6-5 bit fields", 3, {0xF800, 0x07E0, 0x001F}, (1u << 11) | (63u << 5) | 16u, 0x08FF83},
      {"a mask of 0 reads 0", 3, {0, 0x07E0, 0x001F}, 0xFFFF, 0x00FFFF},
      {"mask bits above bit 15 are no pixel bits", 3, {0x1F0000, 0x07E0, 0x001F}, 0xFFFF,
       0x00FFFF},
  };
  for (const Case& c : cases) {
    BmpLayout layout;
    layout.bitCount = 16;
    layout.compression = c.compression;
    layout.masks = c.masks;
    layout.data = PackRows({{c.stored}}, 16, false);
    BmpFile file;
    ASSERT_TRUE(file.Read(BuildBmp(layout))) << c.name;
    EXPECT_EQ(file.bmp.bitsPerPixel, 24) << c.name;
    EXPECT_EQ(file.Pixel(0, 0), c.expected) << c.name;
  }
}

TEST(BmpReader, IndicesPastTheColourTableReadBlack) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.width = 3;
  layout.palette = Palette(2);
  layout.data = PackRows({{0, 1, 2}}, 8, false);
  BmpFile file;
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  EXPECT_EQ(file.AllPixels(), (Rows{{PaletteColour(0), PaletteColour(1), 0}}));
}

TEST(BmpReader, ResolutionComesFromPelsPerMetre) {
  BmpLayout layout;
  layout.xPelsPerMetre = 2835;
  layout.yPelsPerMetre = 5906;
  layout.data = PackRows({{0}}, 24, false);
  BmpFile file;
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  EXPECT_NEAR(file.bmp.xResolution, 72.009, 0.001);
  EXPECT_NEAR(file.bmp.yResolution, 150.01, 0.01);
}

TEST(BmpReader, TruncatedFileKeepsItsCompleteRows) {
  Rows rows;
  for (uint32_t y = 0; y < 10; ++y) rows.push_back({y, y + 100, y + 200});
  for (bool topDown : {false, true}) {
    BmpLayout layout;
    layout.width = 3;
    layout.height = topDown ? -10 : 10;
    layout.data = PackRows(rows, 24, topDown);
    const std::string whole = BuildBmp(layout);
    BmpFile file;
    // Half the data and a few bytes of the next row.
    ASSERT_TRUE(file.Read(whole.substr(0, 54 + 5 * 12 + 7)));
    EXPECT_EQ(file.status, 1);
    // The rows stored first: the top rows of a top-down file, the bottom rows otherwise.
    const Rows kept(rows.begin() + (topDown ? 0 : 5), rows.begin() + (topDown ? 5 : 10));
    EXPECT_EQ(file.AllPixels(), kept) << "top-down " << topDown;
    // Without one complete row there is no picture.
    EXPECT_FALSE(file.Read(whole.substr(0, 54 + 11)));
    EXPECT_EQ(file.status, 2);
    EXPECT_EQ(file.bmp.pixels, nullptr);
  }
}

TEST(BmpReader, OneObjectReadsSeveralFiles) {
  BmpFile file;
  BmpLayout layout;
  layout.width = 2;
  layout.data = PackRows({{1, 2}}, 24, false);
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  layout.width = 1;
  layout.bitCount = 32;
  layout.data = PackRows({{0x00ABCDEF}}, 32, false);
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  EXPECT_EQ(file.bmp.width, 1);
  EXPECT_EQ(file.AllPixels(), (Rows{{0xABCDEFFF}}));
}

// ---------------------------------------------------------------------------------------
// Run-length data. The pictures are 4 × 3, bottom-up; expected rows are top row first,
// as palette indices (index i has PaletteColour(i)).

struct RleCase {
  const char* name;
  int bitCount;
  std::string stream;
  Rows indices;  // top row first; fewer rows when the picture is cut
  int status;
};

void PrintTo(const RleCase& c, std::ostream* os) { *os << c.name; }

class BmpRleTest : public ::testing::TestWithParam<RleCase> {};

TEST_P(BmpRleTest, DecodesRuns) {
  const RleCase& c = GetParam();
  BmpLayout layout;
  layout.bitCount = static_cast<uint16_t>(c.bitCount);
  layout.compression = c.bitCount == 8 ? 1 : 2;
  layout.width = 4;
  layout.height = 3;
  layout.palette = Palette(c.bitCount == 8 ? 256 : 16);
  layout.data = c.stream;
  BmpFile file;
  ASSERT_TRUE(file.Read(BuildBmp(layout)));
  EXPECT_EQ(file.status, c.status);
  Rows expected = c.indices;
  for (auto& row : expected) {
    for (auto& index : row) index = PaletteColour(index);
  }
  EXPECT_EQ(file.AllPixels(), expected);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BmpRleTest,
    ::testing::Values(
        RleCase{"Rle8RunsAndLineEnds", 8,
                Bytes({4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 1, 4, 3, 5, 0, 0, 0, 1}),
                {{4, 5, 5, 5}, {2, 2, 3, 3}, {1, 1, 1, 1}}, 0},
        RleCase{"Rle8OddAbsoluteRunIsPadded", 8,
                Bytes({0, 3, 7, 8, 9, 0, 1, 6, 0, 0, 4, 1, 0, 0, 4, 2, 0, 1}),
                {{2, 2, 2, 2}, {1, 1, 1, 1}, {7, 8, 9, 6}}, 0},
        RleCase{"Rle8DeltaLeavesIndexZero", 8, Bytes({0, 2, 1, 1, 1, 9, 0, 0, 4, 3, 0, 1}),
                {{3, 3, 3, 3}, {0, 9, 0, 0}, {0, 0, 0, 0}}, 0},
        RleCase{"Rle8EndOfBitmapOnLastRowWithoutLineEnd", 8,
                Bytes({4, 1, 0, 0, 4, 2, 0, 0, 2, 3, 0, 1}),
                {{3, 3, 0, 0}, {2, 2, 2, 2}, {1, 1, 1, 1}}, 0},
        RleCase{"Rle8StreamEndingAfterLastLineEndIsComplete", 8,
                Bytes({4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0}),
                {{3, 3, 3, 3}, {2, 2, 2, 2}, {1, 1, 1, 1}}, 0},
        RleCase{"Rle8EarlyEndOfBitmapCutsPicture", 8, Bytes({4, 1, 0, 1}), {{1, 1, 1, 1}}, 1},
        RleCase{"Rle8StreamCutMidRowKeepsCompleteRows", 8, Bytes({4, 1, 0, 0, 2, 2}),
                {{1, 1, 1, 1}}, 1},
        RleCase{"Rle8DeltaPastLastRowStopsAtImageEnd", 8, Bytes({4, 1, 0, 2, 0, 9, 4, 7, 0, 0}),
                {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}}, 0},
        RleCase{"Rle8RunPastRowEndIsCut", 8, Bytes({9, 5, 0, 0, 4, 1, 0, 0, 4, 2, 0, 1}),
                {{2, 2, 2, 2}, {1, 1, 1, 1}, {5, 5, 5, 5}}, 0},
        RleCase{"Rle8AbsoluteRunPastRowEndIsCutAndStaysInStep", 8,
                Bytes({0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 4, 6, 0, 0, 4, 7, 0, 1}),
                {{7, 7, 7, 7}, {6, 6, 6, 6}, {1, 2, 3, 4}}, 0},
        RleCase{"Rle4RunsAlternateNibbles", 4, Bytes({4, 0x12, 0, 0, 3, 0x34, 0, 0, 4, 0x55, 0, 1}),
                {{5, 5, 5, 5}, {3, 4, 3, 0}, {1, 2, 1, 2}}, 0},
        RleCase{"Rle4AbsoluteRunsAndPadding", 4,
                Bytes({0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 4, 0x45, 0x67, 0, 0, 1, 0xF0, 0, 0, 0,
                       1}),
                {{15, 0, 0, 0}, {4, 5, 6, 7}, {1, 2, 3, 4}}, 0},
        RleCase{"Rle4DeltaAndEarlyEnd", 4, Bytes({0, 2, 2, 0, 2, 0x9A, 0, 1}),
                {{0, 0, 9, 10}}, 1}),
    [](const ::testing::TestParamInfo<RleCase>& info) { return std::string(info.param.name); });

// The later Windows headers hold masks at byte 40 that only bit fields use: with run
// lengths the colour table follows the whole header, not the bytes after byte 40.
TEST(BmpReader, RunLengthPictureWithALongHeaderTakesTheTableAfterTheHeader) {
  for (const uint32_t headerSize : {108u, 124u}) {
    BmpLayout layout;
    layout.headerSize = headerSize;
    layout.bitCount = 8;
    layout.compression = 1;
    layout.width = 4;
    layout.height = 3;
    layout.palette = Palette(256);
    layout.coloursUsed = 0;
    layout.data = Bytes({4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 1, 4, 3, 5, 0, 0, 0, 1});
    BmpFile file;
    ASSERT_TRUE(file.Read(BuildBmp(layout))) << headerSize;
    EXPECT_EQ(file.status, 0) << headerSize;
    Rows expected = {{4, 5, 5, 5}, {2, 2, 3, 3}, {1, 1, 1, 1}};
    for (auto& row : expected) {
      for (auto& index : row) index = PaletteColour(index);
    }
    EXPECT_EQ(file.AllPixels(), expected) << headerSize;
  }
}

// ---------------------------------------------------------------------------------------
// Malformed files: each must be refused or read as damaged, and never touch memory
// outside its buffers (the test build runs under AddressSanitizer and UBSan).

TEST(BmpReader, MalformedHeadersAreRefusedOrReadAsDamaged) {
  struct Case {
    const char* name;
    BmpLayout layout;
  };
  BmpLayout base;
  base.width = 2;
  base.height = 2;
  base.data = PackRows({{1, 2}, {3, 4}}, 24, false);
  auto with = [&](auto change) {
    BmpLayout layout = base;
    change(layout);
    return layout;
  };
  const Case cases[] = {
      {"65536 wide", with([](BmpLayout& s) { s.width = 65536; })},
      {"width 0", with([](BmpLayout& s) { s.width = 0; })},
      {"negative width", with([](BmpLayout& s) { s.width = -2; })},
      {"height 0", with([](BmpLayout& s) { s.height = 0; })},
      {"most negative height", with([](BmpLayout& s) { s.height = INT32_MIN; })},
      {"image size past the file", with([](BmpLayout& s) { s.imageSize = 0xFFFFFFFF; })},
      {"data offset past the file", with([](BmpLayout& s) { s.dataOffset = 0xFFFFFFF0; })},
      {"header size 2^32 - 1", with([](BmpLayout& s) { s.headerSize = 0xFFFFFFFF; })},
      {"long header past the file",
       with([](BmpLayout& s) { s.headerSize = 0x7FFFFFFF, s.imageSize = 0x7FFFFFFF; })},
      {"bit count 0", with([](BmpLayout& s) { s.bitCount = 0; })},
      {"24 bits with bit fields", with([](BmpLayout& s) { s.compression = 3; })},
      {"compression 2^32 - 1", with([](BmpLayout& s) { s.compression = 0xFFFFFFFF; })},
      {"colour table longer than the file, no file header",
       with([](BmpLayout& s) { s.bitCount = 8, s.coloursUsed = 1000000, s.fileHeader = false; })},
      {"colour table longer than the file",
       with([](BmpLayout& s) { s.bitCount = 8, s.coloursUsed = 0xFFFFFFFF, s.data.clear(); })},
      {"RLE8 in a 4-bit picture", with([](BmpLayout& s) { s.bitCount = 4, s.compression = 1; })},
      {"RLE4 in an 8-bit picture", with([](BmpLayout& s) { s.bitCount = 8, s.compression = 2; })},
      {"RLE8 runs past every row and the picture",
       with([](BmpLayout& s) {
         s.bitCount = 8, s.compression = 1;
         s.data = Bytes({255, 1, 0, 0, 255, 2, 0, 2, 255, 255, 0, 255, 1, 2, 3});
       })},
      {"RLE4 absolute run longer than the data",
       with([](BmpLayout& s) { s.bitCount = 4, s.compression = 2, s.data = Bytes({0, 255, 1}); })},
      {"16-bit masks all 0",
       with([](BmpLayout& s) { s.bitCount = 16, s.compression = 3, s.masks = {0, 0, 0}; })},
      {"32-bit masks all 0",
       with([](BmpLayout& s) { s.bitCount = 32, s.compression = 3, s.masks = {0, 0, 0}; })},
      {"masks missing", with([](BmpLayout& s) {
         s.bitCount = 32, s.compression = 3, s.fileHeader = false, s.data.clear();
       })},
  };
  for (const Case& c : cases) {
    BmpFile file;
    const bool read = file.Read(BuildBmp(c.layout));
    if (read) {
      EXPECT_TRUE(file.status == 0 || file.status == 1) << c.name;
      EXPECT_GT(file.bmp.width, 0);
      EXPECT_GT(file.bmp.height, 0);
      EXPECT_NE(file.bmp.pixels, nullptr);
    } else {
      EXPECT_EQ(file.status, 2) << c.name;
      EXPECT_EQ(file.bmp.pixels, nullptr) << c.name;
    }
  }
}

TEST(BmpReader, HugeHeaderIsRefusedBeforeAllocating) {
  BmpLayout layout;
  layout.width = 3000000;
  layout.height = 2000000;
  layout.data = PackRows({{1}}, 24, false);
  BmpFile file;
  EXPECT_FALSE(file.Read(BuildBmp(layout)));
  EXPECT_EQ(file.status, 2);
}

TEST(BmpReader, SurvivesEveryTruncationAndRandomDamage) {
  std::vector<std::string> samples;
  BmpLayout rle;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.width = 4;
  rle.height = 3;
  rle.palette = Palette(4);
  rle.data = Bytes({0, 3, 1, 2, 3, 0, 2, 1, 1, 4, 2, 0, 0, 3, 3, 0, 1});
  samples.push_back(BuildBmp(rle));
  rle.bitCount = 4;
  rle.compression = 2;
  rle.data = Bytes({0, 5, 0x12, 0x33, 0x10, 0, 4, 0x21, 0, 2, 1, 1, 2, 0x32, 0, 1});
  samples.push_back(BuildBmp(rle));
  BmpLayout fields;
  fields.bitCount = 16;
  fields.compression = 3;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  fields.width = 3;
  fields.height = -2;
  fields.data = PackRows({{1, 2, 3}, {4, 5, 6}}, 16, true);
  samples.push_back(BuildBmp(fields));
  std::mt19937 random(7);
  for (const std::string& sample : samples) {
    for (size_t length = 0; length <= sample.size(); ++length) {
      BmpFile file;
      if (file.Read(sample.substr(0, length))) {
        EXPECT_NE(file.bmp.pixels, nullptr);
      }
    }
    for (int round = 0; round < 300; ++round) {
      std::string damaged = sample;
      for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
        damaged[random() % damaged.size()] = static_cast<char>(random());
      }
      BmpFile file;
      if (file.Read(damaged)) {
        EXPECT_TRUE(file.status == 0 || file.status == 1);
        EXPECT_NE(file.bmp.pixels, nullptr);
      }
    }
  }
}

}  // namespace
}  // namespace velmora
