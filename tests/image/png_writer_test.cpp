#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/temp_files.h"
#include "image/png_codec.h"
#include "picture/png_output.h"
#include "support/png_builder.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ChunkTypes;
using testing::FindChunk;
using testing::ListChunks;
using testing::ReadFile;

// A picture of `colours` distinct RGB values (alpha varies independently when
// withAlpha), laid out over width × height pixels.
void FillPicture(Picture& png, int32_t width, int32_t height, int colours, bool withAlpha) {
  png.width = width;
  png.height = height;
  png.bitsPerPixel = withAlpha ? 32 : 24;
  png.sourceBitsPerPixel = png.bitsPerPixel;
  const int step = png.bitsPerPixel / 8;
  png.pixels = AllocatePixels(width, height, step);
  for (int32_t i = 0; i < width * height; ++i) {
    const int c = i % colours;
    uint8_t* p = png.pixels.get() + static_cast<size_t>(i) * step;
    p[0] = static_cast<uint8_t>(c * 7);
    p[1] = static_cast<uint8_t>(c / 37 * 50);
    p[2] = static_cast<uint8_t>(255 - c % 200);
    if (withAlpha) p[3] = 255;
  }
}

void FillNoise(Picture& png, int32_t width, int32_t height, int bitsPerPixel, uint32_t seed) {
  png.width = width;
  png.height = height;
  png.bitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
  png.pixels = AllocatePixels(width, height, bitsPerPixel / 8);
  std::mt19937 random(seed);
  for (size_t i = 0; i < static_cast<size_t>(width) * height * (bitsPerPixel / 8); ++i) {
    png.pixels[i] = static_cast<uint8_t>(random());
  }
}

std::string PixelsAsRgba(const Picture& png) {
  std::string out;
  const int step = png.bitsPerPixel / 8;
  for (size_t i = 0; i < static_cast<size_t>(png.width) * png.height; ++i) {
    const uint8_t* p = png.pixels.get() + i * step;
    out += static_cast<char>(p[0]);
    out += static_cast<char>(p[1]);
    out += static_cast<char>(p[2]);
    out += static_cast<char>(step == 4 ? p[3] : 255);
  }
  return out;
}

size_t DistinctColours(const std::string& rgba) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    uint32_t value = 0;
    std::memcpy(&value, rgba.data() + i, 4);
    colours.insert(value);
  }
  return colours.size();
}

// Colour type byte of the file's IHDR.
int ColourTypeOf(const std::string& file) { return file.size() > 25 ? file[25] : -1; }

TEST(PngColourCount, CountsRgbValuesIgnoringAlpha) {
  const uint8_t rgba[] = {1, 2, 3, 255, 1, 2, 3, 0, 1, 2, 3, 128, 3, 2, 1, 255};
  const uint8_t rgb[] = {1, 2, 3, 1, 2, 3, 0, 0, 0, 255, 255, 255, 0, 0, 1};
  struct Case {
    const char* name;
    const uint8_t* pixels;
    size_t count;
    int bitsPerPixel;
    uint32_t colours;
  };
  const Case cases[] = {
      {"alpha-only differences count once", rgba, 3, 32, 1},
      {"RGBA picture", rgba, 4, 32, 2},
      {"RGB picture", rgb, 5, 24, 4},
      {"black counts", rgb + 6, 1, 24, 1},
      {"no pixels", nullptr, 0, 24, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountColours(c.pixels, c.count, c.bitsPerPixel), c.colours) << c.name;
  }
  Picture png;
  FillPicture(png, 64, 64, 4096, false);
  EXPECT_EQ(CountColours(png.pixels.get(), 64 * 64, 24), 4096u);
}

// With at most 299 colours a picture becomes a palette PNG, exact up to 256 and
// quantised above; with more a lossless true-colour one.
TEST(PngSavePng, ChoosesPaletteUpTo299Colours) {
  testing::TempDir dir;
  TempFiles temp(true, dir.path());
  struct Case {
    int colours;
    bool alpha;
    bool force;
    int colourType;
  };
  // Colour type -1: lossless in whichever form is smallest.
  const Case cases[] = {{299, false, false, 3}, {300, false, false, 2}, {300, true, false, 2},
                        {299, true, false, 3},  {5000, false, true, 3}, {200, false, false, -1},
                        {1, false, false, 3}};
  for (const Case& c : cases) {
    Picture png;
    FillPicture(png, 40, 30, c.colours, c.alpha);
    ASSERT_EQ(CountColours(png.pixels.get(), 1200, png.bitsPerPixel),
              static_cast<uint32_t>(std::min(c.colours, 1200)));
    const std::string out = dir.File("save.png");
    EXPECT_TRUE(SavePng(png, out, "", false, temp, c.force)) << c.colours;
    const std::string bytes = ReadFile(out);
    if (c.colourType >= 0) {
      EXPECT_EQ(ColourTypeOf(bytes), c.colourType) << c.colours << " colours";
    }
    auto decoded = testing::DecodeWithPil(out);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 40);
    EXPECT_EQ(decoded->height, 30);
    if (c.colourType != 3 || (c.colours <= 256 && !c.force)) {  // lossless
      EXPECT_EQ(decoded->rgba, PixelsAsRgba(png)) << c.colours << " colours";
    } else {
      EXPECT_LE(DistinctColours(decoded->rgba), 256u);
    }
  }
}

// A lossless PNG decodes, with an independent decoder, to exactly the source pixels.
TEST(PngWritePng, LosslessOutputDecodesToTheSourcePixels) {
  testing::TempDir dir;
  for (int bitsPerPixel : {24, 32}) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{33, 7}, std::pair{300, 200}}) {
      Picture png;
      FillNoise(png, w, h, bitsPerPixel, static_cast<uint32_t>(w * h));
      const std::string out = dir.File("lossless.png");
      ASSERT_TRUE(WritePng(out, png, "", 9));
      auto decoded = testing::DecodeWithPil(out);
      ASSERT_TRUE(decoded.has_value());
      EXPECT_EQ(decoded->rgba, PixelsAsRgba(png)) << w << "x" << h << " " << bitsPerPixel;
      // No sBIT: it would keep an optimiser from changing how the picture is stored.
      EXPECT_EQ(FindChunk(ListChunks(ReadFile(out)), "sBIT"), nullptr);
    }
  }
}

TEST(PngWritePngQuant, TransparencyChunkOnlyWhenSomeAlphaIsBelow255) {
  testing::TempDir dir;
  for (bool transparent : {false, true}) {
    Picture png;
    FillPicture(png, 50, 50, 600, true);
    if (transparent) {
      for (int i = 0; i < 50 * 10; ++i) png.pixels[static_cast<size_t>(i) * 4 + 3] = 0;
    }
    const std::string out = dir.File("quant.png");
    ASSERT_TRUE(WriteQuantisedPng(out, png, "", 9));
    const std::string bytes = ReadFile(out);
    const auto chunks = ListChunks(bytes);
    EXPECT_EQ(ColourTypeOf(bytes), 3);
    const testing::PngChunk* plte = FindChunk(chunks, "PLTE");
    ASSERT_NE(plte, nullptr);
    EXPECT_EQ(FindChunk(chunks, "sBIT"), nullptr);
    const testing::PngChunk* trns = FindChunk(chunks, "tRNS");
    if (!transparent) {
      EXPECT_EQ(trns, nullptr) << ChunkTypes(bytes);
    } else {
      ASSERT_NE(trns, nullptr) << ChunkTypes(bytes);
      // It ends at the last palette colour that is not opaque.
      EXPECT_LE(trns->data.size() * 3, plte->data.size());
      EXPECT_NE(static_cast<uint8_t>(trns->data.back()), 255);
    }
    auto decoded = testing::DecodeWithPil(out);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 50);
    EXPECT_EQ(decoded->height, 50);
    EXPECT_LE(DistinctColours(decoded->rgba), 256u);
    if (transparent) {
      EXPECT_EQ(static_cast<uint8_t>(decoded->rgba[3]), 0);
    }
  }
}

TEST(PngWritePngQuant, PictureOfFewColoursKeepsThemExactly) {
  testing::TempDir dir;
  Picture png;
  FillPicture(png, 64, 48, 200, false);
  const std::string out = dir.File("few.png");
  ASSERT_TRUE(WriteQuantisedPng(out, png, "", 9));
  auto decoded = testing::DecodeWithPil(out);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->mode, "P");
  EXPECT_EQ(decoded->rgba, PixelsAsRgba(png));
}

TEST(PngWritePng, ResolutionRoundTripsThroughPhys) {
  testing::TempDir dir;
  struct Case {
    float xDpi, yDpi;
    bool phys;
    uint32_t x, y;
  };
  const Case cases[] = {{96.012f, 96.012f, true, 3780, 3780},
                        {72, 300, true, 2835, 11811},
                        {0, 96, false, 0, 0},
                        {96, -1, false, 0, 0},
                        {1e30f, 96, false, 0, 0}};
  for (const Case& c : cases) {
    for (bool palette : {false, true}) {
      Picture png;
      FillPicture(png, 20, 20, 40, false);
      png.xResolution = c.xDpi;
      png.yResolution = c.yDpi;
      const std::string out = dir.File("phys.png");
      ASSERT_TRUE(palette ? WriteQuantisedPng(out, png, "", 9) : WritePng(out, png, "", 9));
      const auto chunks = ListChunks(ReadFile(out));
      const testing::PngChunk* phys = FindChunk(chunks, "pHYs");
      ASSERT_EQ(phys != nullptr, c.phys) << c.xDpi << " " << c.yDpi;
      if (!c.phys) continue;
      EXPECT_EQ(testing::ReadBigEndian32(phys->data, 0), c.x);
      EXPECT_EQ(testing::ReadBigEndian32(phys->data, 4), c.y);
      EXPECT_EQ(phys->data[8], 1);  // metre
      Picture back;
      int status = -1;
      ASSERT_TRUE(testing::ReadWithStatus(ReadPng, out, back, status));
      EXPECT_NEAR(back.xResolution, c.xDpi, 0.01);
      EXPECT_NEAR(back.yResolution, c.yDpi, 0.01);
    }
  }
}

// Colour-space chunks of sources, as libpng reads and writes them.
const std::string kSrgbChrm = testing::BigEndian32(31270) + testing::BigEndian32(32900) +
                              testing::BigEndian32(64000) + testing::BigEndian32(33000) +
                              testing::BigEndian32(30000) + testing::BigEndian32(60000) +
                              testing::BigEndian32(15000) + testing::BigEndian32(6000);
const std::string kSrgbGama = testing::BigEndian32(45455);

std::string SourcePng(int colourType, const std::vector<testing::PngChunk>& chunks) {
  testing::PngLayout layout;
  layout.width = 16;
  layout.height = 16;
  layout.colourType = colourType;
  layout.samples.assign(16 * 16 * testing::ChannelsOf(colourType), 100);
  layout.chunks = chunks;
  layout.chunks.push_back({"tEXt", "Comment" + std::string(1, '\0') + std::string(100, 'x')});
  return testing::EncodePng(layout);
}

std::string InflateIccp(const std::string& data) {
  const size_t start = data.find('\0') + 2;
  std::string out(1 << 16, '\0');
  uLongf size = out.size();
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                 reinterpret_cast<const Bytef*>(data.data() + start),
                 static_cast<uLong>(data.size() - start)) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

struct ChunkCase {
  const char* name;
  std::string source;        // bytes of the source file
  const char* colourChunks;  // the colour-space chunk types expected in the output
};

void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class PngChunkCopyTest : public ::testing::TestWithParam<ChunkCase> {};

// The chunks listed come over with their data; no other colour-space chunk appears.
TEST_P(PngChunkCopyTest, CopiesOnlyWhatLibpngAcceptsOnWriting) {
  const ChunkCase& c = GetParam();
  testing::TempDir dir;
  const std::string source = dir.File("source.png");
  testing::WriteFile(source, c.source);
  const auto sourceChunks = ListChunks(c.source);
  for (bool palette : {false, true}) {
    Picture png;
    FillPicture(png, 30, 20, 50, false);
    const std::string out = dir.File("out.png");
    ASSERT_TRUE(palette ? WriteQuantisedPng(out, png, source, 9) : WritePng(out, png, source, 9));
    const auto chunks = ListChunks(ReadFile(out));
    std::string found;
    for (const char* type : {"cHRM", "gAMA", "iCCP", "sRGB"}) {
      const testing::PngChunk* chunk = FindChunk(chunks, type);
      if (chunk == nullptr) continue;
      found += (found.empty() ? "" : " ") + chunk->type;
      const testing::PngChunk* original = FindChunk(sourceChunks, chunk->type);
      ASSERT_NE(original, nullptr) << chunk->type;
      if (chunk->type == "iCCP") {
        EXPECT_EQ(chunk->data.substr(0, chunk->data.find('\0')),
                  original->data.substr(0, original->data.find('\0')));
        EXPECT_EQ(InflateIccp(chunk->data), InflateIccp(original->data));
      } else {
        EXPECT_EQ(chunk->data, original->data) << chunk->type;
      }
    }
    EXPECT_EQ(found, c.colourChunks) << (palette ? "palette" : "true colour");
    auto decoded = testing::DecodeWithPil(out);
    ASSERT_TRUE(decoded.has_value());
    if (!palette) {
      EXPECT_EQ(decoded->rgba, PixelsAsRgba(png));
    }
  }
}

std::string BmpBytes() {
  std::string bmp = "BM" + std::string(52, '\0') + std::string(16 * 3, '\x7f');
  return bmp + std::string(200, '\0');
}

std::vector<ChunkCase> ChunkCases() {
  const std::string greyProfile = testing::MinimalIccProfile("GRAY");
  const std::string rgbProfile = testing::MinimalIccProfile("RGB ");
  // Cut inside the text chunk after gAMA: libpng fails before the image data.
  std::string headerOnly = SourcePng(2, {{"gAMA", kSrgbGama}});
  headerOnly = headerOnly.substr(0, headerOnly.find("IDAT") - 4 - 60);
  return {
      {"sRGB with matching cHRM and gAMA",
       SourcePng(2, {{"cHRM", kSrgbChrm}, {"gAMA", kSrgbGama}, {"sRGB", std::string(1, '\0')}}),
       "cHRM gAMA sRGB"},
      {"RGB profile", SourcePng(2, {{"iCCP", testing::IccpData("mine", rgbProfile)}}), "iCCP"},
      // libpng reads a grey profile of a grey picture but refuses it for colour output.
      {"grey profile refused, other chunks kept",
       SourcePng(0, {{"cHRM", kSrgbChrm},
                     {"gAMA", kSrgbGama},
                     {"iCCP", testing::IccpData("grey", greyProfile)},
                     {"sRGB", std::string(1, '\1')}}),
       "cHRM gAMA sRGB"},
      {"grey profile refused, no other chunks",
       SourcePng(0, {{"iCCP", testing::IccpData("grey", greyProfile)}}), ""},
      {"gamma only", SourcePng(2, {{"gAMA", testing::BigEndian32(100000)}}), "gAMA"},
      {"no colour-space chunks", SourcePng(2, {}), ""},
      {"source is a BMP", BmpBytes(), ""},
      {"source ends before its image data", headerOnly, ""},
  };
}

INSTANTIATE_TEST_SUITE_P(Sources, PngChunkCopyTest, ::testing::ValuesIn(ChunkCases()));

// A refused item ends one pass and is then left out for good; the file the probe
// leaves behind is empty.
TEST(PngProbe, RefusedProfileCostsOnePassAndTheOutputStaysEmpty) {
  testing::TempDir dir;
  const std::string greyIccp = testing::IccpData("grey", testing::MinimalIccProfile("GRAY"));
  using S = ChunkCopyRecord::State;
  struct Case {
    const char* name;
    std::vector<testing::PngChunk> chunks;
    int passes;
    S cHRM, gAMA, iCCP, sRGB;
  };
  const Case cases[] = {
      {"nothing refused", {{"gAMA", kSrgbGama}}, 1, S::kAccepted, S::kAccepted, S::kAccepted,
       S::kAccepted},
      {"grey profile refused", {{"gAMA", kSrgbGama}, {"iCCP", greyIccp}}, 2, S::kAccepted,
       S::kAccepted, S::kFailed, S::kAccepted},
  };
  for (const Case& c : cases) {
    const std::string source = dir.File("source.png");
    testing::WriteFile(source, SourcePng(0, c.chunks));
    const std::string out = dir.File("probe.png");
    testing::WriteFile(out, "old content");
    ChunkCopyRecord record;
    int passes = 1;
    while (!ProbeCopyableChunks(out, source, record)) ASSERT_LT(++passes, 6) << c.name;
    EXPECT_EQ(passes, c.passes) << c.name;
    EXPECT_EQ(record.probe, S::kAccepted) << c.name;
    EXPECT_EQ(record.cHRM, c.cHRM) << c.name;
    EXPECT_EQ(record.gAMA, c.gAMA) << c.name;
    EXPECT_EQ(record.iCCP, c.iCCP) << c.name;
    EXPECT_EQ(record.sRGB, c.sRGB) << c.name;
    ASSERT_TRUE(testing::FileExists(out));
    EXPECT_EQ(ReadFile(out), "") << c.name;
  }
  ChunkCopyRecord unwritable;
  EXPECT_TRUE(ProbeCopyableChunks(dir.File("no/such/folder.png"), dir.File("source.png"),
                                          unwritable));
  EXPECT_EQ(unwritable.probe, S::kFailed);
}

// Makes writes beyond `bytes` fail (as on a full disk) for the life of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t oldHandler_;
};

// The small picture's file fits in the stream's buffer, so its write fails only when
// the buffer is flushed.
TEST(PngWriteFailure, WriteErrorMidwayLeavesNoFile) {
  testing::TempDir dir;
  for (auto [w, h] : {std::pair{400, 300}, std::pair{30, 30}}) {
    for (bool palette : {false, true}) {
      Picture png;
      FillNoise(png, w, h, 24, 11);
      const std::string out = dir.File("partial.png");
      bool written = true;
      {
        FileSizeLimit limit(1000);
        written = palette ? WriteQuantisedPng(out, png, "", 9) : WritePng(out, png, "", 9);
      }
      EXPECT_FALSE(written) << w << "x" << h;
      EXPECT_FALSE(testing::FileExists(out)) << w << "x" << h << (palette ? " palette" : "");
      // The same picture can be written once the disk has room again.
      EXPECT_TRUE(palette ? WriteQuantisedPng(out, png, "", 9) : WritePng(out, png, "", 9));
      EXPECT_GT(ReadFile(out).size(), 1000u);
      EXPECT_LT(ReadFile(out).size(), w * h > 1000 ? 1000000u : 4000u);
    }
  }
}

TEST(PngWriteFailure, QuantiserFailureLeavesNoFile) {
  testing::TempDir dir;
  Picture png;
  FillNoise(png, 64, 64, 24, 3);
  const std::string out = dir.File("quant.png");
  testing::WriteFile(out, "stale bytes of an earlier attempt");
  QuantiseSettings demanding;
  demanding.minQuality = 100;  // noise cannot be put into 256 colours at full quality
  EXPECT_FALSE(WriteQuantisedPng(out, png, "", 9, demanding));
  EXPECT_FALSE(testing::FileExists(out));
}

TEST(PngWriteFailure, RefusedPicturesLeaveNoFile) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    int32_t width, height;
    int bitsPerPixel;
    bool pixels;
  };
  const Case cases[] = {{"no pixels", 10, 10, 24, false},
                        {"zero width", 0, 10, 24, true},
                        {"grey bits per pixel", 10, 10, 8, true},
                        {"16 bits per pixel", 10, 10, 16, true}};
  for (const Case& c : cases) {
    Picture png;
    png.width = c.width;
    png.height = c.height;
    png.bitsPerPixel = static_cast<uint8_t>(c.bitsPerPixel);
    if (c.pixels) png.pixels = AllocatePixels(10, 10, 4);
    const std::string out = dir.File("refused.png");
    testing::WriteFile(out, "stale");
    EXPECT_FALSE(WritePng(out, png, "", 9)) << c.name;
    EXPECT_FALSE(testing::FileExists(out)) << c.name;
    testing::WriteFile(out, "stale");
    if (c.bitsPerPixel < 24 && c.pixels) continue;  // quantisation takes only 24 and 32
    EXPECT_FALSE(WriteQuantisedPng(out, png, "", 9)) << c.name;
    EXPECT_FALSE(testing::FileExists(out)) << c.name;
  }
  PaletteImage image;
  image.width = image.height = 4;
  image.paletteCount = 1;
  image.triples = reinterpret_cast<const uint8_t*>("abc");
  EXPECT_FALSE(WritePalettePng(dir.File("p.png"), image, "", 9));
  const uint8_t indices[16] = {};
  image.indices = indices;
  image.paletteCount = 0;
  EXPECT_FALSE(WritePalettePng(dir.File("p.png"), image, "", 9));
  image.paletteCount = 257;
  EXPECT_FALSE(WritePalettePng(dir.File("p.png"), image, "", 9));
  EXPECT_FALSE(testing::FileExists(dir.File("p.png")));
}

TEST(PngWriteFailure, UnwritableOutputFolderGivesNoFile) {
  testing::TempDir dir;
  Picture png;
  FillPicture(png, 10, 10, 5, false);
  EXPECT_FALSE(WritePng(dir.File("missing/out.png"), png, "", 9));
  EXPECT_FALSE(WriteQuantisedPng(dir.File("missing/out.png"), png, "", 9));
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const std::string locked = dir.File("locked");
  ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
  EXPECT_FALSE(WritePng(locked + "/out.png", png, "", 9));
  EXPECT_FALSE(testing::FileExists(locked + "/out.png"));
}

TEST(PngWriteFailure, OutputOntoItsOwnSourceIsRefusedAndTheSourceKept) {
  testing::TempDir dir;
  const std::string source = dir.File("source.png");
  const std::string bytes = SourcePng(2, {{"gAMA", kSrgbGama}});
  testing::WriteFile(source, bytes);
  Picture png;
  FillPicture(png, 10, 10, 5, false);
  EXPECT_FALSE(WritePng(source, png, source, 9));
  EXPECT_FALSE(WriteQuantisedPng(source, png, source, 9));
  EXPECT_EQ(ReadFile(source), bytes);
}

}  // namespace
}  // namespace velmora
