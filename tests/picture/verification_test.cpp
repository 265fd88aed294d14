#include "picture/verification.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <climits>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "support/png_builder.h"
#include "support/bmp_writer.h"
#include "support/gif_writer.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Jpeg(int width, int height) {
  testing::JpegLayout layout;
  layout.width = width;
  layout.height = height;
  return testing::MakeJpeg(layout);
}

std::string Png(uint32_t width, uint32_t height) {
  testing::PngLayout layout;
  layout.width = width;
  layout.height = height;
  layout.colourType = 2;
  for (uint32_t i = 0; i < width * height * 3; ++i) {
    layout.samples.push_back(static_cast<uint16_t>((i * 2654435761u) >> 24));
  }
  return testing::EncodePng(layout);
}

// The same picture with an animation control chunk in front of its image data.
std::string AnimatedPng(uint32_t width, uint32_t height) {
  const std::string still = Png(width, height);
  // After the signature (8) and IHDR (25 bytes with length and CRC).
  return still.substr(0, 33) +
         testing::EncodeChunk("acTL", testing::BigEndian32(2) + testing::BigEndian32(0)) +
         still.substr(33);
}

std::string Bmp(int width, int height) {
  testing::BmpLayout layout;
  layout.width = width;
  layout.height = height;
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) rows[static_cast<size_t>(y)].push_back(0x10204u * (x + y));
  }
  layout.data = testing::PackRows(rows, 24, false);
  return testing::BuildBmp(layout);
}

// A GIF of the given screen with frames covering it, each a different pattern.
std::string Gif(int width, int height, int frames) {
  testing::GifSpec layout;
  layout.width = width;
  layout.height = height;
  layout.globalTable = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF};
  for (int f = 0; f < frames; ++f) {
    testing::GifFrameSpec frame;
    frame.width = width;
    frame.height = height;
    for (int i = 0; i < width * height; ++i) {
      frame.indices.push_back(static_cast<uint16_t>((i + f) % 4));
    }
    layout.frames.push_back(frame);
  }
  return testing::BuildGif(layout);
}

// A 24 × 16 bitmap whose header stores the given height (negative: top-down).
std::string BmpStoringHeight(int32_t storedHeight) {
  testing::BmpLayout layout;
  layout.width = 24;
  layout.height = storedHeight;
  std::vector<std::vector<uint32_t>> rows(16, std::vector<uint32_t>(24, 0x336699u));
  layout.data = testing::PackRows(rows, 24, storedHeight < 0);
  return testing::BuildBmp(layout);
}

std::string FirstPart(const std::string& bytes, double fraction) {
  return bytes.substr(0, static_cast<size_t>(static_cast<double>(bytes.size()) * fraction));
}

struct VerifyCase {
  const char* name;
  std::string original;
  std::string rewritten;
  PictureKind outputKind;
  const char* reason;  // nullptr: passes
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

class VerifyRewrittenPictureTest : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyRewrittenPictureTest, AcceptsOnlyCompleteFilesOfTheOriginalsShape) {
  TempDir dir;
  WriteFile(dir.File("original"), GetParam().original);
  WriteFile(dir.File("rewritten"), GetParam().rewritten);
  const Verification result =
      VerifyRewrittenPicture(dir.File("original"), dir.File("rewritten"), GetParam().outputKind);
  if (GetParam().reason == nullptr) {
    EXPECT_TRUE(result.passed) << result.reason;
    EXPECT_EQ(result.reason, "");
  } else {
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.reason, GetParam().reason);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, VerifyRewrittenPictureTest,
    ::testing::Values(
        VerifyCase{"JpegOfTheSameSize", Jpeg(24, 16), Jpeg(24, 16), PictureKind::kJpeg, nullptr},
        VerifyCase{"JpegCutShort", Jpeg(64, 48), FirstPart(Jpeg(64, 48), 0.8), PictureKind::kJpeg,
                   "JPEG reader status 1"},
        VerifyCase{"JpegOfAnotherHeight", Jpeg(24, 16), Jpeg(24, 17), PictureKind::kJpeg,
                   "JPEG is 24x17, original 24x16"},
        VerifyCase{"EmptyFile", Jpeg(24, 16), "", PictureKind::kJpeg, "JPEG reader status 2"},
        VerifyCase{"BmpBecomesPng", Bmp(24, 16), Png(24, 16), PictureKind::kPng, nullptr},
        VerifyCase{"BmpBecomesJpeg", Bmp(24, 16), Jpeg(24, 16), PictureKind::kJpeg, nullptr},
        VerifyCase{"TopDownBmpBecomesPng", BmpStoringHeight(-16), Png(24, 16), PictureKind::kPng, nullptr},
        VerifyCase{"BmpHeightWithoutPositiveTwin", BmpStoringHeight(INT32_MIN), Png(24, 16),
                   PictureKind::kPng, "original cannot be read for comparison"},
        VerifyCase{"PngCutBeforeItsEnd", Bmp(24, 16), FirstPart(Png(24, 16), 0.8), PictureKind::kPng,
                   "PNG reader status 1"},
        VerifyCase{"PngOfAnotherWidth", Png(24, 16), Png(23, 16), PictureKind::kPng,
                   "PNG is 23x16, original 24x16"},
        // The kind the processor claims decides the reader, not the file's content.
        VerifyCase{"JpegClaimedAsPng", Png(24, 16), Jpeg(24, 16), PictureKind::kPng, "PNG reader status 2"},
        VerifyCase{"StillGifBecomesPng", Gif(24, 16, 1), Png(24, 16), PictureKind::kPng, nullptr},
        VerifyCase{"AnimationKeepsItsFrames", Gif(24, 16, 3), Gif(24, 16, 3), PictureKind::kGif, nullptr},
        VerifyCase{"AnimationLosesAFrame", Gif(24, 16, 3), Gif(24, 16, 2), PictureKind::kGif,
                   "GIF has 2 frame(s), original 3"},
        // Long animations are counted to their last frame.
        VerifyCase{"LongAnimationLosesFramesPastTheTwoHundredAndFiftyFifth", Gif(2, 2, 300),
                   Gif(2, 2, 260), PictureKind::kGif, "GIF has 260 frame(s), original 300"},
        VerifyCase{"AnimationFlattenedIntoPng", Gif(24, 16, 3), Png(24, 16), PictureKind::kPng,
                   "PNG has 1 frame(s), original 3"},
        VerifyCase{"AnimatedPngFlattenedIntoAStill", AnimatedPng(24, 16), Png(24, 16),
                   PictureKind::kPng, "original is an animated PNG"},
        VerifyCase{"AnimationOnAnotherScreen", Gif(24, 16, 3), Gif(16, 16, 3), PictureKind::kGif,
                   "GIF is 16x16, original 24x16"},
        VerifyCase{"OriginalNoPicture", std::string(200, 'x'), Png(24, 16), PictureKind::kPng,
                   "original cannot be read for comparison"},
        VerifyCase{"BmpIsNoOutputKind", Bmp(24, 16), Bmp(24, 16), PictureKind::kBmp,
                   "no reader for output kind 0"}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return info.param.name; });

// The decorator around a processor that writes chosen bytes as its output.
class WithVerificationTest : public ::testing::Test {
 protected:
  WithVerificationTest() : temp_(true, dir_.File("temp")) {
    std::filesystem::create_directory(dir_.File("temp"));
    log_.Open(dir_.File("log.md"));
  }

  std::optional<PictureKind> Run(const std::string& original, std::optional<PictureKind> kind,
                                 const std::string& output) {
    WriteFile(dir_.File("original"), original);
    picture_.sourcePath = dir_.File("original");
    picture_.originalSize = GetFileSize32(picture_.sourcePath);
    calls_ = 0;
    PictureProcessor inner = [&](const EmbeddedPicture&, const ShrinkOptions&, LogLines&,
                                 TempFiles& temp) {
      ++calls_;
      if (!kind) return PictureOutcome::Keep(PictureDecision::kNotAPicture);
      const std::string path = temp.NewName(ExtensionOf(*kind), false);
      temp.Register(path);
      WriteFile(path, output);
      return PictureOutcome::Replace(*kind, path);
    };
    outcome_ = WithVerification(inner)(picture_, ShrinkOptions{}, log_, temp_);
    return outcome_.replacement;
  }

  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const std::string& line : testing::ReadLogLines(dir_.File("log.md"))) {
      lines.push_back(testing::WithoutStamp(line));
    }
    return lines;
  }

  TempDir dir_;
  TempFiles temp_;
  ProcessLog log_;
  EmbeddedPicture picture_;
  PictureOutcome outcome_;
  int calls_ = 0;
};

TEST_F(WithVerificationTest, CorruptedOutputKeepsTheOriginalAndSaysWhyInOneLine) {
  const std::string original = Png(40, 30);
  EXPECT_EQ(Run(original, PictureKind::kPng, FirstPart(original, 0.7)), std::nullopt);
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "rewritten file failed verification (PNG reader status 1), original "
                         "file is to be written"}));
}

TEST_F(WithVerificationTest, SoundOutputIsHandedOnSilently) {
  const std::string original = Bmp(40, 30);
  const std::string output = Jpeg(40, 30);
  ASSERT_LT(output.size(), original.size());
  EXPECT_EQ(Run(original, PictureKind::kJpeg, output), PictureKind::kJpeg);
  EXPECT_EQ(ReadFile(outcome_.rewrittenPath), output);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(WithVerificationTest, OutputsTheDocumentWillNotUseAreNotRead) {
  // Kept originals and outputs that are not smaller never reach a document, so no
  // verdict is logged for them.
  EXPECT_EQ(Run(Png(40, 30), std::nullopt, ""), std::nullopt);
  EXPECT_EQ(Run(Png(8, 8), PictureKind::kJpeg, std::string(4096, 'x')), PictureKind::kJpeg);
  EXPECT_TRUE(Lines().empty());
}

}  // namespace
}  // namespace velmora
