#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
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

std::vector<std::string> CorpusPngs() {
  std::vector<std::string> files = testing::CorpusFiles("img/png", {".png"});
  for (const std::string& file : testing::CorpusFiles("large", {".png"})) files.push_back(file);
  return files;
}

std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string PixelsAsRgba(const Picture& png) {
  std::string out;
  const int step = png.bitsPerPixel / 8;
  const size_t count = static_cast<size_t>(png.width) * png.height;
  out.reserve(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = png.pixels.get() + i * step;
    out.append(reinterpret_cast<const char*>(p), 3);
    out += static_cast<char>(step == 4 ? p[3] : 255);
  }
  return out;
}

// Where the reader and Pillow part ways on a corpus file, and why.
enum class Difference {
  // libpng reports damage (status 1, the picture keeps its bytes); Pillow decodes.
  kDamagedForLibpng,
  // Pillow's RGBA conversion breaks the format's rules for these grey or palette
  // pictures; the reference is built from Pillow's samples by png_reference.py.
  kReferenceFromSamples,
  // Pillow refuses the file over an ancillary chunk that libpng skips; Pillow decodes
  // the same file without its ancillary chunks.
  kPillowRefusesAncillaryChunk,
};

struct KnownDifference {
  const char* file;
  Difference difference;
  const char* reason;
};

const KnownDifference kKnownDifferences[] = {
    {"pngsuite_tests_pngsuite_xcsn0g01.png", Difference::kDamagedForLibpng,
     "the IDAT CRC is wrong; Pillow does not check it"},
    {"pngsuite_tests_pngsuite_basn0g16.png", Difference::kReferenceFromSamples,
     "16-bit grey: Pillow clips samples to 255 where libpng keeps the high byte"},
    {"pngsuite_tests_pngsuite_basi0g16.png", Difference::kReferenceFromSamples,
     "16-bit grey, interlaced: as basn0g16"},
    {"pillow_Tests_images_i_trns.png", Difference::kReferenceFromSamples,
     "16-bit grey with tRNS: Pillow clips and drops the transparency"},
    {"pngsuite_tests_pngsuite_tbbn0g04.png", Difference::kReferenceFromSamples,
     "4-bit grey with tRNS: Pillow compares the unscaled tRNS value with 8-bit samples"},
    {"imagepng_tests_bugfixes_invalid_palette_index.png", Difference::kReferenceFromSamples,
     "indices beyond the palette have no colour: libpng paints black, Pillow a grey ramp"},
    {"imagepng_tests_bugfixes_cicp_pq.png", Difference::kPillowRefusesAncillaryChunk,
     "Pillow 9.4 fails on the newer cICP, mDCV and cLLI chunks"},
    {"pillow_Tests_images_png_decompression_dos.png", Difference::kPillowRefusesAncillaryChunk,
     "zTXt chunks inflate beyond Pillow's limit; libpng drops them"},
    {"pillow_Tests_images_unknown_compression_method.png",
     Difference::kPillowRefusesAncillaryChunk,
     "iCCP with compression method 1: Pillow refuses the file, libpng drops the chunk"},
};

const KnownDifference* FindDifference(const std::string& file) {
  for (const KnownDifference& known : kKnownDifferences) {
    if (BaseName(file) == known.file) return &known;
  }
  return nullptr;
}

std::optional<std::string> ReferenceFromSamples(const std::string& path) {
  testing::TempDir dir;
  const std::string script = std::string(VELMORA_SOURCE_DIR) + "/tests/image/png_reference.py";
  testing::CommandResult result = testing::RunCommand(
      "/usr/bin/python3 " + testing::ShellQuote(script) + " " + testing::ShellQuote(path) + " " +
      testing::ShellQuote(dir.File("rgba")) + " 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  return testing::ReadFile(dir.File("rgba"));
}

// The file with only its critical chunks and tRNS (which changes pixels).
std::string WithoutAncillaryChunks(const std::string& bytes) {
  std::string out = bytes.substr(0, 8);
  for (const testing::PngChunk& chunk : testing::ListChunks(bytes)) {
    const bool critical = chunk.type[0] >= 'A' && chunk.type[0] <= 'Z';
    if (critical || chunk.type == "tRNS") out += testing::EncodeChunk(chunk.type, chunk.data);
  }
  return out;
}

// Every corpus PNG decodes to Pillow's pixels, or is refused or reported damaged where
// Pillow refuses it, or differs as the table says.
TEST(PngCorpus, ReaderAgreesWithPillow) {
  VELMORA_REQUIRE_CORPUS();
  const std::vector<std::string> files = CorpusPngs();
  ASSERT_FALSE(files.empty());
  std::set<std::string> tableUsed;
  for (const std::string& file : files) {
    SCOPED_TRACE(BaseName(file));
    Picture png;
    int status = -1;
    const bool read = testing::ReadWithStatus(ReadPng, file, png, status);
    const auto pil = testing::DecodeWithPil(file);
    const KnownDifference* known = FindDifference(file);
    if (known == nullptr) {
      if (!pil) {
        EXPECT_TRUE(!read || status == 1) << "Pillow refuses what the reader takes as whole";
      } else {
        ASSERT_TRUE(read);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(png.width, pil->width);
        EXPECT_EQ(png.height, pil->height);
        EXPECT_TRUE(PixelsAsRgba(png) == pil->rgba) << "pixels differ from Pillow's";
      }
      continue;
    }
    tableUsed.insert(known->file);
    SCOPED_TRACE(known->reason);
    switch (known->difference) {
      case Difference::kDamagedForLibpng:
        EXPECT_TRUE(pil.has_value());
        EXPECT_TRUE(read);
        EXPECT_EQ(status, 1);
        break;
      case Difference::kReferenceFromSamples: {
        ASSERT_TRUE(pil.has_value());
        ASSERT_TRUE(read);
        EXPECT_EQ(status, 0);
        EXPECT_NE(PixelsAsRgba(png), pil->rgba) << "Pillow agrees now; drop the entry";
        const auto reference = ReferenceFromSamples(file);
        ASSERT_TRUE(reference.has_value());
        EXPECT_TRUE(PixelsAsRgba(png) == *reference) << "pixels differ from the reference";
        break;
      }
      case Difference::kPillowRefusesAncillaryChunk: {
        EXPECT_FALSE(pil.has_value()) << "Pillow reads it now; drop the entry";
        ASSERT_TRUE(read);
        EXPECT_EQ(status, 0);
        testing::TempDir dir;
        testing::WriteFile(dir.File("bare.png"), WithoutAncillaryChunks(testing::ReadFile(file)));
        const auto bare = testing::DecodeWithPil(dir.File("bare.png"));
        ASSERT_TRUE(bare.has_value());
        EXPECT_TRUE(PixelsAsRgba(png) == bare->rgba) << "pixels differ from Pillow's";
        break;
      }
    }
  }
  EXPECT_EQ(tableUsed.size(), std::size(kKnownDifferences)) << "a table entry names no file";
}

// Every picture the reader takes is written losslessly to exactly its pixels, with the
// source's colour-space chunks that libpng accepts.
TEST(PngCorpus, LosslessOutputDecodesToTheSourcePixels) {
  VELMORA_REQUIRE_CORPUS();
  testing::TempDir dir;
  int written = 0;
  for (const std::string& file : CorpusPngs()) {
    SCOPED_TRACE(BaseName(file));
    Picture png;
    int status = -1;
    if (!testing::ReadWithStatus(ReadPng, file, png, status)) continue;
    const std::string out = dir.File("lossless.png");
    ASSERT_TRUE(WritePng(out, png, file, 9));
    const auto decoded = testing::DecodeWithPil(out);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(decoded->rgba == PixelsAsRgba(png)) << "lossless output differs";
    ++written;
  }
  EXPECT_GT(written, 0);
}

// Every picture the reader takes becomes a palette PNG of at most 256 colours and the
// same dimensions. Also reports what the output step saves under the size rule.
TEST(PngCorpus, PaletteOutputHasAtMost256ColoursAndTheSourceSize) {
  VELMORA_REQUIRE_CORPUS();
  testing::TempDir dir;
  TempFiles temp(true, dir.path());
  int64_t originalBytes = 0, savedBytes = 0, savedForcedBytes = 0;
  int pictures = 0, smaller = 0, smallerForced = 0;
  for (const std::string& file : CorpusPngs()) {
    SCOPED_TRACE(BaseName(file));
    Picture png;
    int status = -1;
    if (!testing::ReadWithStatus(ReadPng, file, png, status)) continue;
    const std::string palette = dir.File("palette.png");
    ASSERT_TRUE(WriteQuantisedPng(palette, png, file, 9));
    const auto quantised = testing::DecodeWithPil(palette);
    ASSERT_TRUE(quantised.has_value());
    EXPECT_EQ(quantised->mode, "P");
    EXPECT_EQ(quantised->width, png.width);
    EXPECT_EQ(quantised->height, png.height);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < quantised->rgba.size(); i += 4) {
      uint32_t value = 0;
      std::memcpy(&value, quantised->rgba.data() + i, 4);
      colours.insert(value);
    }
    EXPECT_LE(colours.size(), 256u);

    if (status != 0) continue;  // damaged pictures keep their bytes
    const int64_t original = testing::ReadFile(file).size();
    const int64_t forced = testing::ReadFile(palette).size();
    const std::string saved = dir.File("saved.png");
    ASSERT_TRUE(SavePng(png, saved, file, false, temp, false));
    const int64_t rewritten = testing::ReadFile(saved).size();
    ++pictures;
    originalBytes += original;
    if (rewritten > 0 && rewritten < original) {
      ++smaller;
      savedBytes += original - rewritten;
    }
    if (forced > 0 && forced < original) {
      ++smallerForced;
      savedForcedBytes += original - forced;
    }
  }
  std::cout << pictures << " PNG pictures, " << originalBytes << " bytes. By colour count: "
            << smaller << " smaller, " << savedBytes << " bytes saved. Palette forced: "
            << smallerForced << " smaller, " << savedForcedBytes << " bytes saved.\n";
  EXPECT_GT(pictures, 0);
}

}  // namespace
}  // namespace velmora
