#include "image/jpeg_transcode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/independent_decoder.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::JpegLayout;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Noise(int width, int height, int components) {
  std::string samples;
  for (uint32_t i = 0; i < static_cast<uint32_t>(width * height * components); ++i) {
    samples += static_cast<char>((i * 2654435761u) >> 24);
  }
  return samples;
}

struct TranscodeCase {
  const char* name;
  JpegLayout layout;
};

std::vector<TranscodeCase> Cases() {
  std::vector<TranscodeCase> cases;
  auto add = [&](const char* name, auto change) {
    JpegLayout layout;
    layout.width = 67;  // not a whole number of blocks either way
    layout.height = 45;
    change(layout);
    cases.push_back({name, layout});
  };
  add("Baseline420", [](JpegLayout&) {});
  add("Progressive", [](JpegLayout& l) { l.progressive = true; });
  add("RestartMarkers", [](JpegLayout& l) { l.restartRows = 1; });
  add("Grey", [](JpegLayout& l) { l.components = 1; });
  add("Cmyk", [](JpegLayout& l) {
    l.components = 4;
    l.jfif = false;
  });
  add("Sampling444", [](JpegLayout& l) { l.hSampling = l.vSampling = 1; });
  add("Sampling422", [](JpegLayout& l) { l.vSampling = 1; });
  add("NoisyQuality100", [](JpegLayout& l) {
    l.quality = 100;
    l.samples = Noise(l.width, l.height, 3);
  });
  add("EveryKindOfMarker", [](JpegLayout& l) {
    l.markers = {{0xE1, std::string("Exif\0\0MM\0*\0\0\0\x08\0\0", 16)},
                 {0xE2, testing::IccChunk(1, 1, std::string(300, 'p'))},
                 {0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"},
                 {0xFE, "a comment"},
                 {0xEE, std::string("Adobe\0\x64\0\0\0\0\x01", 12)},
                 {0xEB, "other application data"}};
  });
  return cases;
}

class JpegTranscode : public ::testing::TestWithParam<TranscodeCase> {
 protected:
  TempDir dir_;
};

// The transcode is smaller or at worst as large, keeps every marker segment byte for
// byte and in order, and decodes to the same samples: ours and Pillow's decoding both.
TEST_P(JpegTranscode, KeepsMarkersAndSamples) {
  const std::string source = testing::MakeJpeg(GetParam().layout);
  ASSERT_FALSE(source.empty());
  const std::string in = dir_.File("in.jpg");
  const std::string out = dir_.File("out.jpg");
  WriteFile(in, source);
  ASSERT_EQ(TranscodeJpegLosslessly(in, out), TranscodeStatus::kWritten);
  const std::string written = ReadFile(out);
  EXPECT_EQ(testing::KeptJpegSegments(written), testing::KeptJpegSegments(source));
  EXPECT_TRUE(DecodeToSameSamples(in, out));
  const auto before = testing::DecodeWithPil(in);
  const auto after = testing::DecodeWithPil(out);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(after->mode, before->mode);
  EXPECT_TRUE(after->rgba == before->rgba);
  // Optimised tables and progressive scans pay off on all but the smallest pictures.
  if (GetParam().layout.quality == 100) {
    EXPECT_LT(written.size(), source.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, JpegTranscode, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TranscodeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(JpegTranscodeInput, WhatIsNoWholeJpegIsUnreadableAndLeavesNoOutput) {
  TempDir dir;
  const std::string whole = testing::MakeJpeg(JpegLayout{});
  const std::vector<std::pair<const char*, std::string>> inputs = {
      {"empty", ""},
      {"text", "not a picture at all"},
      {"header only", whole.substr(0, 200)},
      {"cut in the scan", whole.substr(0, whole.size() - 40)},
  };
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    WriteFile(dir.File("in.jpg"), bytes);
    EXPECT_EQ(TranscodeJpegLosslessly(dir.File("in.jpg"), dir.File("out.jpg")),
              TranscodeStatus::kUnreadable);
    EXPECT_FALSE(testing::FileExists(dir.File("out.jpg")));
  }
  EXPECT_EQ(TranscodeJpegLosslessly(dir.File("missing.jpg"), dir.File("out.jpg")),
            TranscodeStatus::kUnreadable);
}

TEST(JpegTranscodeInput, SamplesThatDifferAreNoticed) {
  TempDir dir;
  JpegLayout layout;
  WriteFile(dir.File("a.jpg"), testing::MakeJpeg(layout));
  layout.quality = 60;
  WriteFile(dir.File("b.jpg"), testing::MakeJpeg(layout));
  layout.quality = 95;
  layout.width += 8;
  WriteFile(dir.File("c.jpg"), testing::MakeJpeg(layout));
  EXPECT_TRUE(DecodeToSameSamples(dir.File("a.jpg"), dir.File("a.jpg")));
  EXPECT_FALSE(DecodeToSameSamples(dir.File("a.jpg"), dir.File("b.jpg")));
  EXPECT_FALSE(DecodeToSameSamples(dir.File("a.jpg"), dir.File("c.jpg")));
  WriteFile(dir.File("cut.jpg"), ReadFile(dir.File("a.jpg")).substr(0, 300));
  EXPECT_FALSE(DecodeToSameSamples(dir.File("a.jpg"), dir.File("cut.jpg")));
}

}  // namespace
}  // namespace velmora
