#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "support/hwpml_builder.h"
#include "support/independent_decoder.h"
#include "support/picture_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::HwpxPicture;
using testing::TempDir;
using testing::ZipItem;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// One picture of the test documents and what becomes of it under a rule.
struct SourcePicture {
  const char* id;
  const char* extension;
  std::string bytes;
};

enum Outcome {
  kKept,          // original bytes
  kLosslessPng,   // decodes to exactly the gradient
  kLosslessRgba,  // the gradient, left half opaque, right half transparent
  kPalettePng,    // at most 256 colours, the source's size
  kJpeg,          // the source's size
};

std::vector<SourcePicture> SourcePictures() {
  return {{"image1", "bmp", testing::GradientBmp(kWidth, kHeight, 24)},
          {"image2", "bmp", testing::StripedBmp(kWidth, kHeight, 8)},
          {"image3", "png", testing::GradientPng(kWidth, kHeight, 0)},
          {"image4", "gif", testing::StripedGif(kWidth, kHeight)},
          {"image5", "gif", testing::MovingSquareGif(kWidth, kHeight, 4)},
          {"image6", "bmp", testing::GradientBmp(kWidth, kHeight, 32)}};
}

struct RuleRow {
  const char* name;
  ConversionRule rule;
  std::vector<Outcome> outcomes;  // per source picture
};

void PrintTo(const RuleRow& row, std::ostream* os) { *os << row.name; }

const RuleRow kRuleRows[] = {
    {"BmpToPng", ConversionRule::kBmpToPng,
     {kLosslessPng, kPalettePng, kLosslessPng, kPalettePng, kKept, kLosslessRgba}},
    {"BmpToJpeg", ConversionRule::kBmpToJpeg, {kJpeg, kPalettePng, kLosslessPng, kPalettePng, kKept, kJpeg}},
    {"PngQuant", ConversionRule::kPngQuant,
     {kPalettePng, kPalettePng, kPalettePng, kPalettePng, kKept, kPalettePng}},
};

const char* OutputExtension(Outcome outcome, const char* original) {
  switch (outcome) {
    case kKept: return original;
    case kJpeg: return "jpg";
    default: return "png";
  }
}

std::string MediaType(const std::string& extension) { return "image/" + extension; }

// Checks one rewritten picture against what its outcome promises.
void ExpectRewritten(const std::string& bytes, Outcome outcome, const std::string& what) {
  TempDir dir;
  testing::WriteFile(dir.File("p"), bytes);
  auto decoded = testing::DecodeWithPil(dir.File("p"));
  ASSERT_TRUE(decoded) << what;
  EXPECT_EQ(decoded->width, kWidth) << what;
  EXPECT_EQ(decoded->height, kHeight) << what;
  if (outcome == kPalettePng) {
    EXPECT_EQ(decoded->mode, "P") << what;
  } else if (outcome == kLosslessPng || outcome == kLosslessRgba) {
    const std::string gradient = testing::GradientRgb(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const size_t i = static_cast<size_t>(y * kWidth + x);
        const bool transparent = outcome == kLosslessRgba && x >= kWidth / 2;
        const std::string expected =
            transparent ? std::string("\0", 1) : gradient.substr(i * 3, 3) + "\xFF";
        const std::string actual =
            transparent ? decoded->rgba.substr(i * 4 + 3, 1) : decoded->rgba.substr(i * 4, 4);
        ASSERT_EQ(actual, expected) << what << " at " << x << "," << y;
      }
    }
  } else {
    EXPECT_EQ(bytes.substr(0, 3), "\xFF\xD8\xFF") << what;
  }
}

class PicturesInDocuments : public ::testing::TestWithParam<RuleRow> {
 protected:
  PicturesInDocuments() : temp_(true, dir_.File("temp")) {
    std::filesystem::create_directory(dir_.File("temp"));
    log_.Open(dir_.File("log.md"));
    options_.conversionRule = GetParam().rule;
    // The optimisers' part is tested with the tools themselves.
    options_.extraOptimisers = false;
  }

  TempDir dir_;
  TempFiles temp_;
  ProcessLog log_;
  ShrinkOptions options_;
};

TEST_P(PicturesInDocuments, HwpxItemsGetTheirNewNamesAndMediaTypes) {
  const std::vector<SourcePicture> sources = SourcePictures();
  std::vector<HwpxPicture> pictures, expected;
  for (size_t i = 0; i < sources.size(); ++i) {
    const SourcePicture& s = sources[i];
    const std::string href = std::string("BinData/") + s.id + "." + s.extension;
    pictures.push_back({s.id, href, MediaType(s.extension), s.bytes, "1"});
    const std::string extension = OutputExtension(GetParam().outcomes[i], s.extension);
    expected.push_back({s.id, std::string("BinData/") + s.id + "." + extension,
                        MediaType(extension), "", "1"});
  }
  std::vector<ZipItem> items = testing::MakeHwpxItems(pictures);
  // With its folders present the processor has no folder entries to add.
  items.insert(items.begin() + 1,
               {{"Contents/", "", false, true}, {"BinData/", "", false, true}});
  testing::WriteZip(dir_.File("in.hwpx"), items);

  const ProcessorResult result =
      ShrinkHwpx(dir_.File("in.hwpx"), dir_.File("out.hwpx"), options_, log_, temp_, nullptr);
  ASSERT_TRUE(result.success) << result.message;
  auto written = testing::ReadZip(dir_.File("out.hwpx"));
  ASSERT_TRUE(written);
  std::map<std::string, std::string> entries;
  for (const ZipItem& item : *written) entries[item.name] = item.bytes;

  // The manifest differs from the source's only in the rewritten items' tags.
  EXPECT_EQ(entries["Contents/content.hpf"], testing::MakeManifest(expected));
  for (size_t i = 0; i < sources.size(); ++i) {
    ASSERT_EQ(entries.count(expected[i].href), 1u) << expected[i].href;
    const std::string& bytes = entries[expected[i].href];
    if (GetParam().outcomes[i] == kKept) {
      EXPECT_EQ(bytes, sources[i].bytes) << expected[i].href;
      continue;
    }
    ExpectRewritten(bytes, GetParam().outcomes[i], expected[i].href);
    EXPECT_LT(bytes.size(), sources[i].bytes.size()) << expected[i].href;
    if (expected[i].href != pictures[i].href) {
      EXPECT_EQ(entries.count(pictures[i].href), 0u) << pictures[i].href;
    }
  }
  for (const ZipItem& item : items) {
    if (item.name.rfind("BinData/image", 0) == 0 || item.name == "Contents/content.hpf") continue;
    EXPECT_EQ(entries[item.name], item.bytes) << item.name;
  }
}

TEST_P(PicturesInDocuments, HwpmlItemsGetTheirNewFormats) {
  const std::vector<SourcePicture> sources = SourcePictures();
  testing::HmlDocument document;
  for (size_t i = 0; i < sources.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    document.items.push_back(testing::ItemTag(number, sources[i].extension));
    // The first bitmap is stored compressed, as documents often hold them.
    document.data.push_back(testing::DataElement(number, sources[i].bytes, i == 0));
  }
  const std::string source = document.Build();
  testing::WriteFile(dir_.File("in.hml"), source);
  int failedInflations = -1;
  const ProcessorResult result = ShrinkHwpml(dir_.File("in.hml"), dir_.File("out.hml"), options_,
                                             log_, temp_, nullptr, failedInflations);
  ASSERT_TRUE(result.success) << result.message;
  EXPECT_EQ(failedInflations, 0);
  const std::string target = testing::ReadFile(dir_.File("out.hml"));
  EXPECT_EQ(testing::OutsideElements(target), testing::OutsideElements(source));

  auto parsed = testing::ParseHmlForTest(target);
  auto original = testing::ParseHmlForTest(source);
  ASSERT_TRUE(parsed && original);
  ASSERT_EQ(parsed->items.size(), sources.size());
  ASSERT_EQ(parsed->data.size(), sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    const Outcome outcome = GetParam().outcomes[i];
    const int number = static_cast<int>(i) + 1;
    if (outcome == kKept) {
      EXPECT_EQ(parsed->items[i].tag, original->items[i].tag);
      EXPECT_EQ(parsed->data[i].openTag, original->data[i].openTag);
      EXPECT_EQ(parsed->data[i].text, original->data[i].text);
      continue;
    }
    EXPECT_EQ(parsed->items[i].tag, testing::ItemTag(number, OutputExtension(outcome, "")));
    const std::string& bytes = parsed->data[i].bytes;
    EXPECT_EQ(testing::AttributeOf(parsed->data[i].openTag, "Size"), std::to_string(bytes.size()));
    EXPECT_EQ(testing::AttributeOf(parsed->data[i].openTag, "Compress"), std::nullopt);
    ExpectRewritten(bytes, outcome, parsed->items[i].tag);
    // A compressed item has to beat the size of its compressed data.
    EXPECT_LT(bytes.size(), original->data[i].bytes.size()) << parsed->items[i].tag;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, PicturesInDocuments, ::testing::ValuesIn(kRuleRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
