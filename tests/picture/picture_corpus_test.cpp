// Every BMP, GIF and PNG picture of the shared corpus through picture processing under
// each rule: what is taken is smaller, complete and of the source's size, lossless
// output shows the source's pixels, and what does not decode whole, or moves, keeps
// its bytes.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "image/bmp.h"
#include "image/embedded_picture.h"
#include "image/gif.h"
#include "image/png.h"
#include "picture_processing.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

// A source as this program's own reader decodes it, as RGBA.
struct Decoded {
  bool read = false;
  int status = 2;
  int width = 0, height = 0;
  int frames = 1;
  std::string rgba;
};

template <typename Reader>
Decoded DecodeWith(const std::string& path) {
  Reader reader;
  Decoded decoded;
  decoded.read = reader.Read(path, decoded.status);
  if (!decoded.read) return decoded;
  decoded.width = reader.width;
  decoded.height = reader.height;
  if constexpr (std::is_same_v<Reader, CMyGIF>) decoded.frames = reader.frameCount;
  const size_t step = reader.bitsPerPixel / 8;
  const size_t count = static_cast<size_t>(reader.width) * static_cast<size_t>(reader.height);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = reader.pixels.get() + i * step;
    decoded.rgba.append(reinterpret_cast<const char*>(p), 3);
    decoded.rgba += static_cast<char>(step == 4 ? p[3] : 255);
  }
  return decoded;
}

Decoded DecodeSource(const std::string& path, int detected) {
  if (detected == 1) return DecodeWith<CMyBMP>(path);
  if (detected == 3) return DecodeWith<CMyPNG>(path);
  return DecodeWith<CMyGIF>(path);
}

// Colours under alpha 0 are invisible; decoders and writers may leave any value there.
std::string VisibleRgba(std::string rgba) {
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    if (rgba[i + 3] == 0) rgba.replace(i, 3, 3, '\0');
  }
  return rgba;
}

class CorpusPicture : public testing::PictureProcessing,
                      public ::testing::WithParamInterface<std::string> {};

TEST_P(CorpusPicture, EveryRuleGivesASoundResult) {
  VELMORA_REQUIRE_CORPUS();
  const std::string bytes = testing::ReadFile(GetParam());
  testing::WriteFile(dir_.File("probe"), bytes);
  const int detected = DetectPictureKind(dir_.File("probe"));
  if (detected == 0) {
    EXPECT_EQ(Process(bytes), kKeepOriginal);
    EXPECT_EQ(Lines(), std::vector<std::string>{});
    return;
  }
  const Decoded source = DecodeSource(dir_.File("probe"), detected);
  options_.extraOptimisers = false;
  for (int rule : {kRuleBmpToPng, kRuleBmpToJpeg, kRulePngQuant}) {
    SCOPED_TRACE(rule);
    options_.conversionRule = rule;
    const int kind = Process(bytes);
    if (!source.read || source.status != 0 || source.frames > 1) {
      EXPECT_EQ(kind, kKeepOriginal);
      continue;
    }
    if (kind == kKeepOriginal) continue;
    const int32_t size = GetFileSize32(picture_.outputPath);
    EXPECT_TRUE(IsSmallerThanOriginal(size, picture_.originalSize)) << size;
    auto output = testing::DecodeWithPil(picture_.outputPath);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->width, source.width);
    EXPECT_EQ(output->height, source.height);
    if (kind == kKindJpeg) {
      EXPECT_EQ(detected, 1) << "only bitmaps become JPEG";
      EXPECT_EQ(rule, kRuleBmpToJpeg);
      continue;
    }
    ASSERT_EQ(kind, kKindPng);
    if (output->mode == "P") {
      std::set<std::string> colours;
      for (size_t i = 0; i + 3 < output->rgba.size(); i += 4) {
        colours.insert(output->rgba.substr(i, 4));
      }
      EXPECT_LE(colours.size(), 256u);
    } else {
      EXPECT_NE(rule, kRulePngQuant) << "the rule asks for a palette";
      EXPECT_TRUE(VisibleRgba(output->rgba) == VisibleRgba(source.rgba))
          << "lossless output differs";
    }
  }
}

std::vector<std::string> CorpusPictures() {
  std::vector<std::string> files = testing::CorpusFiles("img/bmp", {".bmp"});
  for (const char* kind : {"gif", "png"}) {
    for (const std::string& file :
         testing::CorpusFiles(std::string("img/") + kind, {"." + std::string(kind)})) {
      files.push_back(file);
    }
  }
  // A placeholder keeps the suite instantiated (and skipped) without the corpus.
  if (files.empty()) files.push_back("");
  return files;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusPicture, ::testing::ValuesIn(CorpusPictures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name =
                               info.param.empty()
                                   ? "absent"
                                   : std::filesystem::path(info.param).filename().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace velmora
