#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image/png_codec.h"
#include "support/png_builder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::EncodePng;
using testing::PngLayout;

// What a PNG decoder must deliver for the layout, pixel by pixel, as 8-bit RGBA: an
// independent statement of the format's rules (sample scaling, palette, tRNS).
std::vector<uint8_t> ReferenceRgba(const PngLayout& layout) {
  const int channels = testing::ChannelsOf(layout.colourType);
  const testing::PngChunk* plte = testing::FindChunk(layout.chunks, "PLTE");
  const testing::PngChunk* trns = testing::FindChunk(layout.chunks, "tRNS");
  const uint32_t maxSample = (1u << layout.bitDepth) - 1;
  auto to8 = [&](uint32_t sample) -> uint8_t {
    if (layout.bitDepth == 16) return static_cast<uint8_t>(sample >> 8);  // high byte
    return static_cast<uint8_t>(sample * 255 / maxSample);
  };
  auto trnsSample = [&](int index) -> uint32_t {
    return (static_cast<uint8_t>(trns->data[index * 2]) << 8) |
           static_cast<uint8_t>(trns->data[index * 2 + 1]);
  };
  std::vector<uint8_t> out;
  const size_t count = static_cast<size_t>(layout.width) * layout.height;
  for (size_t i = 0; i < count; ++i) {
    const uint16_t* s = &layout.samples[i * channels];
    uint8_t r = 0, g = 0, b = 0, a = 255;
    switch (layout.colourType) {
      case 0:
        r = g = b = to8(s[0]);
        if (trns != nullptr && s[0] == trnsSample(0)) a = 0;
        break;
      case 2:
        r = to8(s[0]);
        g = to8(s[1]);
        b = to8(s[2]);
        if (trns != nullptr && s[0] == trnsSample(0) && s[1] == trnsSample(1) &&
            s[2] == trnsSample(2)) {
          a = 0;
        }
        break;
      case 3:
        r = static_cast<uint8_t>(plte->data[s[0] * 3]);
        g = static_cast<uint8_t>(plte->data[s[0] * 3 + 1]);
        b = static_cast<uint8_t>(plte->data[s[0] * 3 + 2]);
        if (trns != nullptr && s[0] < trns->data.size()) a = static_cast<uint8_t>(trns->data[s[0]]);
        break;
      case 4:
        r = g = b = to8(s[0]);
        a = to8(s[1]);
        break;
      case 6:
        r = to8(s[0]);
        g = to8(s[1]);
        b = to8(s[2]);
        a = to8(s[3]);
        break;
    }
    out.insert(out.end(), {r, g, b, a});
  }
  return out;
}

// The picture's pixels as RGBA, whatever its bits per pixel.
std::vector<uint8_t> AsRgba(const Picture& png) {
  std::vector<uint8_t> out;
  const int step = png.bitsPerPixel / 8;
  const size_t count = static_cast<size_t>(png.width) * png.height;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = png.pixels.get() + i * step;
    out.insert(out.end(), {p[0], p[1], p[2], step == 4 ? p[3] : uint8_t{255}});
  }
  return out;
}

struct FormatCase {
  int colourType;
  int bitDepth;
  bool trns;
  bool interlaced;
  int bitsPerPixel;
  int sourceBitsPerPixel;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << "type " << c.colourType << " depth " << c.bitDepth << (c.trns ? " tRNS" : "")
      << (c.interlaced ? " interlaced" : "");
}

// Files under 112 bytes are not taken as PNG; a text chunk makes small test
// pictures long enough.
void Pad(PngLayout& layout) {
  layout.chunks.push_back({"tEXt", "Comment" + std::string(1, '\0') + std::string(100, 'x')});
}

// A 13 × 11 picture (odd sizes leave some interlace passes short) of random samples;
// a tRNS chunk names a value that some pixels have, and a near miss for 16-bit
// samples that differs only in the low byte.
PngLayout RandomLayout(const FormatCase& c, uint32_t seed) {
  std::mt19937 random(seed);
  PngLayout layout;
  layout.width = 13;
  layout.height = 11;
  layout.bitDepth = c.bitDepth;
  layout.colourType = c.colourType;
  layout.interlaced = c.interlaced;
  const int channels = testing::ChannelsOf(c.colourType);
  const uint32_t maxSample = (1u << c.bitDepth) - 1;
  const uint32_t paletteSize = c.colourType == 3 ? std::min<uint32_t>(maxSample + 1, 40) : 0;
  for (size_t i = 0; i < size_t{layout.width} * layout.height * channels; ++i) {
    layout.samples.push_back(static_cast<uint16_t>(c.colourType == 3 ? random() % paletteSize
                                                                     : random() % (maxSample + 1)));
  }
  if (c.colourType == 3) {
    std::string plte;
    for (uint32_t i = 0; i < paletteSize * 3; ++i) plte += static_cast<char>(random());
    layout.chunks.push_back({"PLTE", plte});
    if (c.trns) {
      // Shorter than the palette: the entries after it are opaque.
      std::string alpha;
      for (uint32_t i = 0; i < paletteSize / 2; ++i) alpha += static_cast<char>(random());
      layout.chunks.push_back({"tRNS", alpha});
    }
  } else if (c.trns) {
    // The transparent value is the first pixel's; the second pixel becomes a near miss.
    std::string value;
    for (int ch = 0; ch < channels; ++ch) {
      value += static_cast<char>(layout.samples[ch] >> 8);
      value += static_cast<char>(layout.samples[ch] & 0xFF);
      if (c.bitDepth == 16) layout.samples[channels + ch] = layout.samples[ch] ^ 1;
    }
    layout.chunks.push_back({"tRNS", value});
  }
  Pad(layout);
  return layout;
}

class PngFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PngFormatTest, DecodesToEightBitRgbOrRgba) {
  const FormatCase& c = GetParam();
  testing::TempDir dir;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    PngLayout layout = RandomLayout(c, seed);
    const std::string path = dir.File("picture.png");
    testing::WriteFile(path, EncodePng(layout));
    Picture png;
    int status = -1;
    ASSERT_TRUE(testing::ReadWithStatus(ReadPng, path, png, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(png.width, 13);
    EXPECT_EQ(png.height, 11);
    EXPECT_EQ(png.bitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(png.sourceBitsPerPixel, c.sourceBitsPerPixel);
    EXPECT_EQ(AsRgba(png), ReferenceRgba(layout)) << "seed " << seed;
  }
}

// Every valid combination of colour type and bit depth, with and without tRNS and
// interlacing. Grey stays grey inside libpng and is widened afterwards: its source
// bits per pixel stay 8 (grey) or 16 (grey with alpha or tRNS).
std::vector<FormatCase> AllFormats() {
  std::vector<FormatCase> cases;
  for (bool interlaced : {false, true}) {
    for (int depth : {1, 2, 4, 8, 16}) {
      for (bool trns : {false, true}) {
        cases.push_back({0, depth, trns, interlaced, trns ? 32 : 24, trns ? 16 : 8});
      }
    }
    for (int depth : {8, 16}) {
      for (bool trns : {false, true}) {
        cases.push_back({2, depth, trns, interlaced, trns ? 32 : 24, trns ? 32 : 24});
      }
      cases.push_back({4, depth, false, interlaced, 32, 16});
      cases.push_back({6, depth, false, interlaced, 32, 32});
    }
    for (int depth : {1, 2, 4, 8}) {
      for (bool trns : {false, true}) {
        cases.push_back({3, depth, trns, interlaced, trns ? 32 : 24, trns ? 32 : 24});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllColourTypes, PngFormatTest, ::testing::ValuesIn(AllFormats()));

TEST(PngReader, InterlacedPictureEqualsItsNonInterlacedTwin) {
  testing::TempDir dir;
  PngLayout layout = RandomLayout({6, 8, false, false, 32, 32}, 7);
  layout.width = 37;
  layout.height = 21;
  layout.samples.resize(size_t{37} * 21 * 4);
  for (size_t i = 0; i < layout.samples.size(); ++i) layout.samples[i] = (i * 37 + i / 7) & 0xFF;
  testing::WriteFile(dir.File("plain.png"), EncodePng(layout));
  layout.interlaced = true;
  testing::WriteFile(dir.File("interlaced.png"), EncodePng(layout));
  Picture plain, interlaced;
  ASSERT_EQ(ReadPng(dir.File("plain.png"), plain), ReadStatus::kComplete);
  ASSERT_EQ(ReadPng(dir.File("interlaced.png"), interlaced), ReadStatus::kComplete);
  EXPECT_EQ(AsRgba(plain), AsRgba(interlaced));
}

// A small PNG whose file is exactly `size` bytes (a tEXt chunk pads it).
std::string PngOfSize(size_t size) {
  PngLayout layout;
  layout.width = 1;
  layout.height = 1;
  layout.colourType = 0;
  layout.samples = {200};
  const size_t bare = EncodePng(layout).size();
  layout.chunks.push_back(
      {"tEXt", "k" + std::string(1, '\0') + std::string(size - bare - 14, 'x')});
  return EncodePng(layout);
}

// The content test wants 112 bytes; the reader reads any sound PNG, so that the
// writer's smallest files can be verified.
TEST(PngKindTest, NeedsAtLeast112BytesWithSignatureAndHeaderChunk) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    bool isPng;
    bool readable;
  };
  std::string wrongSignature = PngOfSize(120);
  wrongSignature[1] = 'Q';
  std::string noHeaderFirst = PngOfSize(120);
  noHeaderFirst.replace(12, 4, "IHDX");
  ASSERT_EQ(PngOfSize(100).size(), 100u);
  ASSERT_EQ(PngOfSize(112).size(), 112u);
  const Case cases[] = {
      {"valid 100 bytes", PngOfSize(100), false, true},
      {"valid 111 bytes", PngOfSize(111), false, true},
      {"valid 112 bytes", PngOfSize(112), true, true},
      {"wrong signature", wrongSignature, false, false},
      {"first chunk not IHDR", noHeaderFirst, false, false},
      {"empty", "", false, false},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File("kind.png");
    testing::WriteFile(path, c.bytes);
    EXPECT_EQ(IsPngFile(path), c.isPng) << c.name;
    Picture png;
    int status = -1;
    EXPECT_EQ(testing::ReadWithStatus(ReadPng, path, png, status), c.readable) << c.name;
    EXPECT_EQ(status, c.readable ? 0 : 2) << c.name;
  }
  EXPECT_FALSE(IsPngFile(dir.File("missing.png")));
  EXPECT_FALSE(IsPngFile(""));
  EXPECT_FALSE(IsPngFile(dir.path()));
}

TEST(PngReader, MetricPhysGivesDotsPerInch) {
  testing::TempDir dir;
  struct Case {
    uint32_t x, y;
    uint8_t unit;
    float xDpi, yDpi;
  };
  const Case cases[] = {{3780, 3780, 1, 96.012f, 96.012f},
                        {2835, 5670, 1, 72.009f, 144.018f},
                        {3780, 3780, 0, 0, 0}};  // unit unknown: only an aspect ratio
  for (const Case& c : cases) {
    PngLayout layout = RandomLayout({2, 8, false, false, 24, 24}, 1);
    layout.chunks.push_back(
        {"pHYs", testing::BigEndian32(c.x) + testing::BigEndian32(c.y) + char(c.unit)});
    testing::WriteFile(dir.File("phys.png"), EncodePng(layout));
    Picture png;
    int status = -1;
    ASSERT_TRUE(testing::ReadWithStatus(ReadPng, dir.File("phys.png"), png, status));
    EXPECT_NEAR(png.xResolution, c.xDpi, 1e-3);
    EXPECT_NEAR(png.yResolution, c.yDpi, 1e-3);
  }
}

// A 128 × 128 picture of noise: its image data is long (libpng reads it in blocks of
// 8 KiB) and compresses badly.
PngLayout NoiseLayout() {
  PngLayout layout;
  layout.width = 128;
  layout.height = 128;
  layout.colourType = 2;
  std::mt19937 random(5);
  for (int i = 0; i < 128 * 128 * 3; ++i) layout.samples.push_back(random() & 0xFF);
  return layout;
}

TEST(PngReader, TruncatedDataGivesStatusOneWithUndecodedRowsCleared) {
  testing::TempDir dir;
  PngLayout layout = NoiseLayout();
  const std::string whole = EncodePng(layout);
  const std::string path = dir.File("cut.png");
  testing::WriteFile(path, whole.substr(0, whole.size() * 3 / 4));
  Picture png;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadPng, path, png, status));
  EXPECT_EQ(status, 1);
  ASSERT_EQ(png.bitsPerPixel, 24);
  const std::vector<uint8_t> reference = ReferenceRgba(layout);
  const std::vector<uint8_t> got = AsRgba(png);
  const size_t rowBytes = 128 * 4;
  // Rows come out whole: a prefix of exact rows, then nothing but cleared ones.
  size_t row = 0;
  while (row < 128 && std::equal(got.begin() + row * rowBytes, got.begin() + (row + 1) * rowBytes,
                                 reference.begin() + row * rowBytes)) {
    ++row;
  }
  EXPECT_GT(row, 10u);
  EXPECT_LT(row, 128u);
  for (; row < 128; ++row) {
    for (size_t i = 0; i < rowBytes; i += 4) {
      ASSERT_EQ(got[row * rowBytes + i], 0) << "row " << row;
      ASSERT_EQ(got[row * rowBytes + i + 1], 0) << "row " << row;
      ASSERT_EQ(got[row * rowBytes + i + 2], 0) << "row " << row;
    }
  }
}

TEST(PngReader, DamageBeforeOrInsideTheImageData) {
  testing::TempDir dir;
  const std::string whole = EncodePng(NoiseLayout());
  struct Case {
    const char* name;
    std::string bytes;
    bool read;
    int status;
  };
  std::string badImageCrc = whole;
  badImageCrc[whole.size() - 12 - 1] ^= 0x55;  // last byte of the IDAT CRC
  std::string badHeaderCrc = whole;
  badHeaderCrc[29] ^= 0x55;  // IHDR CRC
  std::string header = whole.substr(16, 13);
  header[9] = 5;  // no such colour type; the CRC is right
  std::string badColourType = whole;
  badColourType.replace(8, 25, testing::EncodeChunk("IHDR", header));
  std::string noEnd = whole.substr(0, whole.size() - 12);
  const Case cases[] = {
      {"IDAT CRC wrong", badImageCrc, true, 1},
      {"IEND missing", noEnd, true, 1},
      {"IHDR CRC wrong", badHeaderCrc, false, 2},
      {"colour type 5", badColourType, false, 2},
  };
  for (const Case& c : cases) {
    testing::WriteFile(dir.File("damaged.png"), c.bytes);
    Picture png;
    int status = -1;
    EXPECT_EQ(testing::ReadWithStatus(ReadPng, dir.File("damaged.png"), png, status), c.read) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(png.pixels != nullptr, c.read) << c.name;
  }
}

TEST(PngReader, RefusesOversizedHeadersBeforeAllocating) {
  testing::TempDir dir;
  struct Case {
    uint32_t width, height;
  };
  for (const Case& c : {Case{70000, 1}, Case{1, 70000}, Case{65535, 65535}, Case{0x7FFFFFFF, 1}}) {
    PngLayout layout;
    layout.width = 1;
    layout.height = 1;
    layout.colourType = 0;
    layout.samples = {1};
    layout.chunks.push_back({"tEXt", "pad" + std::string(1, '\0') + std::string(80, 'p')});
    std::string bytes = EncodePng(layout);
    // Patch the dimensions and the header's CRC, leaving tiny image data behind.
    std::string header =
        testing::BigEndian32(c.width) + testing::BigEndian32(c.height) + bytes.substr(24, 5);
    bytes.replace(8, 25, testing::EncodeChunk("IHDR", header));
    testing::WriteFile(dir.File("huge.png"), bytes);
    Picture png;
    int status = -1;
    EXPECT_FALSE(testing::ReadWithStatus(ReadPng, dir.File("huge.png"), png, status)) << c.width << "x" << c.height;
    EXPECT_EQ(status, 2);
    EXPECT_EQ(png.pixels, nullptr);
  }
}

TEST(PngReader, ReadingAgainReplacesThePictureOrLeavesNone) {
  testing::TempDir dir;
  PngLayout small = RandomLayout({2, 8, false, false, 24, 24}, 3);
  PngLayout other = RandomLayout({6, 8, false, false, 32, 32}, 4);
  other.width = 5;
  other.height = 20;
  other.samples.assign(5 * 20 * 4, 9);
  Pad(other);
  testing::WriteFile(dir.File("a.png"), EncodePng(small));
  testing::WriteFile(dir.File("b.png"), EncodePng(other));
  testing::WriteFile(dir.File("c.png"), EncodePng(other).substr(0, 40) + std::string(100, 'x'));
  Picture png;
  int status = -1;
  ASSERT_TRUE(testing::ReadWithStatus(ReadPng, dir.File("a.png"), png, status));
  ASSERT_TRUE(testing::ReadWithStatus(ReadPng, dir.File("b.png"), png, status));
  EXPECT_EQ(png.width, 5);
  EXPECT_EQ(png.height, 20);
  EXPECT_EQ(png.bitsPerPixel, 32);
  EXPECT_EQ(AsRgba(png), ReferenceRgba(other));
  EXPECT_FALSE(testing::ReadWithStatus(ReadPng, dir.File("c.png"), png, status));
  EXPECT_EQ(status, 2);
  EXPECT_EQ(png.pixels, nullptr);
  EXPECT_EQ(png.width, 0);
}

}  // namespace
}  // namespace velmora
