#include "image/gif_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/gif_writer.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::BuildGif;
using testing::EncodeLzw;
using testing::GifFrameSpec;
using testing::GifSpec;
using testing::kNoGraphicControl;
using testing::PackCodes;
using Rows = std::vector<std::vector<uint32_t>>;

// RGBA as 0xRRGGBBAA.
constexpr uint32_t kRed = 0xFF0000FF;
constexpr uint32_t kGreen = 0x00FF00FF;
constexpr uint32_t kBlue = 0x0000FFFF;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kClear = 0;  // transparent black: nothing painted here
const std::vector<uint32_t> kTable = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const uint32_t kColour[] = {kRed, kGreen, kBlue, kWhite};

class GifFile {
 public:
  bool Read(const std::string& bytes) {
    testing::WriteFile(path, bytes);
    return testing::ReadWithStatus(ReadGif, path, gif, status);
  }
  Rows AllPixels() const {
    Rows rows(static_cast<size_t>(gif.height));
    for (int y = 0; y < gif.height; ++y) {
      for (int x = 0; x < gif.width; ++x) {
        const uint8_t* p = gif.pixels.get() + (static_cast<size_t>(y) * gif.width + x) * 4;
        rows[static_cast<size_t>(y)].push_back(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 |
                                               uint32_t{p[2]} << 8 | p[3]);
      }
    }
    return rows;
  }

  testing::TempDir dir;
  std::string path = dir.File("picture.gif");
  Picture gif;
  int status = -1;
};

GifFrameSpec Frame(int width, int height, std::vector<uint16_t> indices,
                   int transparent = kNoGraphicControl) {
  GifFrameSpec frame;
  frame.width = width;
  frame.height = height;
  frame.indices = std::move(indices);
  frame.transparent = transparent;
  return frame;
}

GifFrameSpec At(GifFrameSpec frame, int left, int top) {
  frame.left = left;
  frame.top = top;
  return frame;
}

GifSpec Screen(int width, int height, std::vector<GifFrameSpec> frames,
               std::vector<uint32_t> table = kTable) {
  GifSpec layout;
  layout.width = width;
  layout.height = height;
  layout.globalTable = std::move(table);
  layout.frames = std::move(frames);
  return layout;
}

// Rows of the given width with each index's colour from kColour.
Rows Colours(int width, const std::vector<uint16_t>& indices) {
  Rows rows;
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % static_cast<size_t>(width) == 0) rows.emplace_back();
    rows.back().push_back(kColour[indices[i]]);
  }
  return rows;
}

TEST(GifReader, KindTestLooksForGif8) {
  struct Case {
    std::string bytes;
    bool isGif;
  };
  const Case cases[] = {
      {"GIF87a" + std::string(7, '\0'), true},
      {"GIF89a" + std::string(7, '\0'), true},
      {"GIF8zz" + std::string(7, '\0'), true},
      {"GIF9" + std::string(9, '\0'), false},
      {"GIF89a" + std::string(6, '\0'), false},  // 12 bytes: shorter than a header
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    testing::WriteFile(dir.File("p.gif"), c.bytes);
    EXPECT_EQ(IsGifFile(dir.File("p.gif")), c.isGif) << c.bytes;
  }
  EXPECT_FALSE(IsGifFile(""));
  EXPECT_FALSE(IsGifFile(dir.File("missing.gif")));
}

TEST(GifReader, StillPictureIsOpaqueExceptTransparentIndex) {
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(3, 2, {Frame(3, 2, {0, 1, 2, 2, 1, 0}, 1)}))));
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.gif.frames, 1);
  EXPECT_EQ(file.gif.bitsPerPixel, 32);
  EXPECT_EQ(file.gif.sourceBitsPerPixel, 8);
  EXPECT_EQ(file.gif.xResolution, 72.0f);
  EXPECT_EQ(file.gif.yResolution, 72.0f);
  EXPECT_EQ(file.AllPixels(), (Rows{{kRed, kClear, kBlue}, {kBlue, kClear, kRed}}));
}

TEST(GifReader, LaterFramesPaintOverEarlierOnesWithoutDisposal) {
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(
      Screen(3, 1, {Frame(3, 1, {0, 0, 0}), At(Frame(2, 1, {1, 3}, 3), 1, 0)}))));
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.gif.frames, 2);
  EXPECT_EQ(file.AllPixels(), (Rows{{kRed, kGreen, kRed}}));
}

TEST(GifReader, TransparentIndexCarriesToLaterFramesUntilTheNextControlBlock) {
  std::vector<GifFrameSpec> frames = {Frame(2, 1, {1, 0}, 0), Frame(2, 1, {0, 2})};
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 1, frames))));
  EXPECT_EQ(file.AllPixels(), (Rows{{kGreen, kBlue}}));
  frames.push_back(Frame(2, 1, {0, 1}, -1));
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 1, frames))));
  EXPECT_EQ(file.AllPixels(), (Rows{{kRed, kGreen}}));
}

TEST(GifReader, SourceBitsPerPixelTellsCompositesFromPlainPictures) {
  struct Case {
    const char* name;
    GifSpec layout;
    int bits;
  };
  GifFrameSpec local = Frame(2, 2, {0, 1, 2, 3});
  local.localTable = kTable;
  const Case cases[] = {
      {"one full frame", Screen(2, 2, {Frame(2, 2, {0, 1, 2, 3})}), 8},
      {"one full frame with its own table", Screen(2, 2, {local}, {}), 8},
      {"two frames, no global table", Screen(2, 2, {local, local}, {}), 24},
      {"two frames, global table", Screen(2, 2, {local, local}), 8},
      {"one frame smaller both ways", Screen(3, 3, {Frame(2, 2, {0, 1, 2, 3})}), 24},
      {"one frame smaller in width only", Screen(3, 2, {Frame(2, 2, {0, 1, 2, 3})}), 8},
  };
  for (const Case& c : cases) {
    GifFile file;
    ASSERT_TRUE(file.Read(BuildGif(c.layout))) << c.name;
    EXPECT_EQ(file.gif.sourceBitsPerPixel, c.bits) << c.name;
  }
}

TEST(GifReader, InterlacedFramesOfEveryHeightDecodeLikePlainOnes) {
  std::mt19937 random(3);
  for (int height = 1; height <= 17; ++height) {
    std::vector<uint16_t> indices;
    for (int i = 0; i < 3 * height; ++i) indices.push_back(static_cast<uint16_t>(random() % 4));
    GifFrameSpec frame = Frame(3, height, indices);
    frame.interlaced = true;
    GifFile file;
    ASSERT_TRUE(file.Read(BuildGif(Screen(3, height, {frame})))) << height;
    EXPECT_EQ(file.status, 0) << height;
    EXPECT_EQ(file.AllPixels(), Colours(3, indices)) << height;
  }
}

TEST(GifReader, InterlacedFourRowsFillRowsZeroTwoOneThree) {
  // Lines arrive for rows 0, 2, 1, 3; data for only the first two or three of them
  // leaves the others unpainted.
  for (int lines : {2, 3}) {
    GifFrameSpec frame = Frame(2, 4, {});
    frame.interlaced = true;
    const std::vector<uint16_t> arriving = {0, 0, 2, 2, 1, 1};
    frame.data = EncodeLzw({arriving.begin(), arriving.begin() + 2 * lines}, 2);
    GifFile file;
    ASSERT_TRUE(file.Read(BuildGif(Screen(2, 4, {frame}))));
    EXPECT_EQ(file.status, 1);
    const std::vector<uint32_t> row1 = lines == 3 ? std::vector<uint32_t>{kGreen, kGreen}
                                                  : std::vector<uint32_t>{kClear, kClear};
    EXPECT_EQ(file.AllPixels(), (Rows{{kRed, kRed}, row1, {kBlue, kBlue}, {kClear, kClear}}));
  }
}

TEST(GifReader, MinimumCodeSizeNineIsDecodedAndTenRefused) {
  // Code size 9 holds indices up to 511; those past the 256 palette entries read as
  // opaque white.
  GifFrameSpec nine = Frame(3, 1, {});
  nine.data = EncodeLzw({2, 1, 300}, 9);
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(3, 1, {nine}))));
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.AllPixels(), (Rows{{kBlue, kGreen, kWhite}}));

  GifFrameSpec ten = Frame(3, 1, {});
  ten.data = EncodeLzw({2, 1, 0}, 10);
  ASSERT_TRUE(file.Read(BuildGif(Screen(3, 1, {Frame(3, 1, {1, 1, 1}), ten}))));
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(file.gif.frames, 2);
  EXPECT_EQ(file.AllPixels(), (Rows{{kGreen, kGreen, kGreen}}));
}

TEST(GifReader, DataStoppingHalfWayLeavesMissingRowsTransparent) {
  std::mt19937 random(5);
  std::vector<uint16_t> indices;
  for (int i = 0; i < 16 * 8; ++i) indices.push_back(static_cast<uint16_t>(random() % 4));
  const std::string whole = BuildGif(Screen(16, 8, {Frame(16, 8, indices)}));
  GifFile file;
  ASSERT_TRUE(file.Read(whole.substr(0, whole.size() / 2 + 20)));
  EXPECT_EQ(file.status, 1);
  const Rows expected = Colours(16, indices);
  const Rows got = file.AllPixels();
  size_t painted = 0;
  while (painted < got.size() && got[painted] == expected[painted]) ++painted;
  EXPECT_GT(painted, 0u);
  EXPECT_LT(painted, 8u);
  for (size_t row = painted; row < got.size(); ++row) {
    EXPECT_EQ(got[row], std::vector<uint32_t>(16, kClear)) << row;
  }
}

TEST(GifReader, DamageAnywhereInAFrameReportsStatusOne) {
  // An interlaced frame cut after its first pass has its first and last rows (0, 8,
  // 16), yet most rows are missing.
  GifFrameSpec frame = Frame(2, 17, {});
  frame.interlaced = true;
  frame.data = EncodeLzw({1, 1, 1, 1, 1, 1}, 2);
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 17, {frame}))));
  EXPECT_EQ(file.status, 1);
  const Rows got = file.AllPixels();
  EXPECT_EQ(got[0], (std::vector<uint32_t>{kGreen, kGreen}));
  EXPECT_EQ(got[16], (std::vector<uint32_t>{kGreen, kGreen}));
  EXPECT_EQ(got[1], (std::vector<uint32_t>{kClear, kClear}));
}

TEST(GifReader, DataPastTheLastRowIsIgnored) {
  GifFrameSpec frame = Frame(2, 2, {});
  frame.data = EncodeLzw({0, 1, 2, 3, 1, 1}, 2);
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 2, {frame}))));
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.AllPixels(), (Rows{{kRed, kGreen}, {kBlue, kWhite}}));
}

TEST(GifReader, ZeroByZeroScreenTakesTheFirstFrameSize) {
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(0, 0, {Frame(2, 3, {0, 1, 2, 3, 0, 1})}))));
  EXPECT_EQ(file.gif.width, 2);
  EXPECT_EQ(file.gif.height, 3);
  EXPECT_EQ(file.AllPixels(), Colours(2, {0, 1, 2, 3, 0, 1}));
}

TEST(GifReader, FramesOutsideTheScreenAreIgnored) {
  const GifFrameSpec outside[] = {At(Frame(2, 1, {2, 2}), 1, 0), At(Frame(1, 2, {2, 2}), 0, 1),
                                  Frame(3, 1, {2, 2, 2}), Frame(0, 1, {})};
  for (const GifFrameSpec& frame : outside) {
    GifFile file;
    EXPECT_FALSE(file.Read(BuildGif(Screen(2, 2, {frame}))));
    EXPECT_EQ(file.status, 2);
    ASSERT_TRUE(file.Read(BuildGif(Screen(2, 2, {frame, Frame(2, 2, {0, 1, 0, 1}), frame}))));
    EXPECT_EQ(file.gif.frames, 1);
    // The file holds more than the picture shows, so it is not rewritten as complete.
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.AllPixels(), Colours(2, {0, 1, 0, 1}));
  }
}

TEST(GifReader, CountsEveryFramePastAByte) {
  for (int frames : {1, 2, 255, 256, 300}) {
    std::vector<GifFrameSpec> list;
    for (int i = 0; i < frames; ++i) list.push_back(Frame(1, 1, {static_cast<uint16_t>(i % 3)}));
    GifFile file;
    ASSERT_TRUE(file.Read(BuildGif(Screen(1, 1, list))));
    EXPECT_EQ(file.gif.frames, frames) << frames;
    EXPECT_EQ(file.AllPixels(), (Rows{{kColour[(frames - 1) % 3]}})) << frames;
  }
}

TEST(GifReader, BadCodesResynchroniseAtTheNextFrame) {
  // Code size 2: clear 4, end 5, first free slot 6. Code 7 is past the table. The
  // sub-blocks are damaged too: the closing empty one claims 255 bytes, which would
  // swallow the next frame if the damaged data's own lengths were trusted.
  GifFrameSpec damaged = Frame(2, 1, {});
  damaged.data = PackCodes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}});
  damaged.data.back() = '\xFF';
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 1, {damaged, Frame(1, 1, {2}, -1)}))));
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(file.gif.frames, 2);
  // The damaged frame is painted with what was decoded, the next one over it.
  EXPECT_EQ(file.AllPixels(), (Rows{{kBlue, kGreen}}));
}

TEST(GifReader, DamagedExtensionEndsThePictureWithTheFramesSoFar) {
  struct Case {
    const char* name;
    std::string extension;
    bool ends;
  };
  const Case cases[] = {
      {"graphic control of 5 bytes", std::string("\x21\xF9\x05\x01\0\0\0\0\0", 9), true},
      {"application block of 10 bytes", std::string("\x21\xFF\x0AXXXXXXXXXX\x01x\0", 17), true},
      {"application without data", std::string("\x21\xFF\x0BNETSCAPE2.0\0", 16), true},
      {"comment without data", std::string("\x21\xFE\0", 3), true},
      {"comment", std::string("\x21\xFE\x02hi\0", 6), false},
      {"unknown label", std::string("\x21\x01\x03" "abc\0", 7), false},
  };
  for (const Case& c : cases) {
    GifFrameSpec second = Frame(1, 1, {2});
    second.before = c.extension;
    GifFile file;
    ASSERT_TRUE(file.Read(BuildGif(Screen(1, 1, {Frame(1, 1, {1}), second})))) << c.name;
    EXPECT_EQ(file.gif.frames, c.ends ? 1 : 2) << c.name;
    EXPECT_EQ(file.status, c.ends ? 1 : 0) << c.name;
    EXPECT_EQ(file.AllPixels(), (Rows{{c.ends ? kGreen : kBlue}})) << c.name;
  }
}

TEST(GifReader, ColoursOutsideAnyTableAreOpaque) {
  // Past the end of a table: opaque white. With no table at all: grey levels.
  GifFrameSpec local = Frame(2, 1, {1, 3});
  local.localTable = {0x102030, 0x405060};
  GifFile file;
  ASSERT_TRUE(file.Read(BuildGif(Screen(2, 1, {local}, {}))));
  EXPECT_EQ(file.AllPixels(), (Rows{{0x405060FF, kWhite}}));
  ASSERT_TRUE(file.Read(BuildGif(Screen(3, 1, {Frame(3, 1, {0, 7, 200})}, {}))));
  EXPECT_EQ(file.AllPixels(), (Rows{{0x000000FF, 0x070707FF, 0xC8C8C8FF}}));
}

TEST(GifReader, HugeScreenIsRefusedBeforeAllocating) {
  GifFile file;
  EXPECT_FALSE(file.Read(BuildGif(Screen(65535, 65535, {Frame(1, 1, {0})}))));
  EXPECT_EQ(file.status, 2);
  EXPECT_EQ(file.gif.pixels, nullptr);
}

TEST(GifReader, SurvivesEveryTruncationAndRandomDamage) {
  GifFrameSpec first = Frame(5, 9, {});
  for (int i = 0; i < 45; ++i) first.indices.push_back(static_cast<uint16_t>(i * 7 % 4));
  first.interlaced = true;
  first.transparent = 2;
  GifFrameSpec second = At(Frame(3, 2, {3, 2, 1, 0, 0, 1}), 1, 4);
  second.localTable = {0x123456, 0x654321, 0xABCDEF};
  second.before = std::string("\x21\xFE\x02hi\0", 6);
  const std::string sample = BuildGif(Screen(6, 9, {first, second}));
  std::mt19937 random(11);
  auto check = [](const std::string& bytes) {
    GifFile file;
    if (file.Read(bytes)) {
      EXPECT_TRUE(file.status == 0 || file.status == 1);
      EXPECT_NE(file.gif.pixels, nullptr);
      EXPECT_GE(file.gif.frames, 1);
    } else {
      EXPECT_EQ(file.gif.pixels, nullptr);
    }
  };
  for (size_t length = 0; length <= sample.size(); ++length) check(sample.substr(0, length));
  for (int round = 0; round < 500; ++round) {
    std::string damaged = sample;
    for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
      damaged[13 + random() % (damaged.size() - 13)] = static_cast<char>(random());
    }
    check(damaged);
  }
  // Streams of arbitrary codes of arbitrary widths.
  for (int round = 0; round < 300; ++round) {
    std::vector<std::pair<int, int>> codes;
    for (int i = 0; i < 200; ++i) {
      const int width = 3 + static_cast<int>(random() % 10);
      codes.emplace_back(static_cast<int>(random() % (1u << width)), width);
    }
    GifFrameSpec frame = Frame(7, 5, {});
    frame.data = PackCodes(2 + static_cast<int>(random() % 8), codes);
    check(BuildGif(Screen(7, 5, {frame})));
  }
}

}  // namespace
}  // namespace velmora
