// Verified replacement in both document processors: the real picture processing runs,
// then its output is damaged on purpose, as a faulty encoder or tool would leave it.
// The damaged file must never enter the document; the original bytes stay, and the log
// says why.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/process_log.h"
#include "core/temp_files.h"
#include "document/hwpml.h"
#include "document/hwpx.h"
#include "picture/picture_processing.h"
#include "picture/verification.h"
#include "support/hwpml_builder.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A JPEG stored at quality 100 with fine noise: re-encoding always makes it smaller.
std::string NoisyJpeg() {
  testing::JpegLayout layout;
  layout.width = 80;
  layout.height = 64;
  layout.quality = 100;
  for (uint64_t i = 0; i < 80 * 64 * 3; ++i) {
    layout.samples += static_cast<char>((i * 2654435761u) >> 24);
  }
  return testing::MakeJpeg(layout);
}

// A sound JPEG of half the size, as an encoder that scaled the picture would write.
void Scale(std::string& jpeg) {
  testing::JpegLayout layout;
  layout.width = 40;
  layout.height = 32;
  jpeg = testing::MakeJpeg(layout);
}

struct Damage {
  const char* name;
  std::function<void(std::string&)> apply;  // nullptr: the output is left as written
  const char* reason;                       // the reason logged; nullptr: no rejection
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

std::vector<Damage> Damages() {
  return {
      {"Untouched", nullptr, nullptr},
      {"CutInHalf", [](std::string& b) { b.resize(b.size() / 2); }, "JPEG reader status 1"},
      {"HeadersOnly", [](std::string& b) { b.resize(std::min<size_t>(b.size(), 300)); },
       "JPEG reader status 2"},
      {"NoPictureAtAll", [](std::string& b) { b.assign(b.size() / 2, 'Z'); },
       "JPEG reader status 2"},
      {"ScaledPicture", Scale, "JPEG is 40x32, original 80x64"},
  };
}

// The real picture processing, with its output damaged afterwards.
PictureProcessor Damaging(const std::function<void(std::string&)>& damage) {
  return [damage](const EmbeddedPicture& picture, const ShrinkOptions& options, LogLines& log,
                  TempFiles& temp) {
    PictureOutcome outcome = ProcessPicture(picture, options, log, temp);
    if (outcome.Replaces() && damage) {
      std::string bytes = ReadFile(outcome.rewrittenPath);
      damage(bytes);
      WriteFile(outcome.rewrittenPath, bytes);
    }
    return outcome;
  };
}

class VerifiedReplacement : public ::testing::TestWithParam<Damage> {
 protected:
  VerifiedReplacement() : temp_(true, dir_.File("tmp")) {
    std::filesystem::create_directory(dir_.File("tmp"));
    log_.Open(dir_.File("log.md"));
  }
  std::string Rejection() const {
    return std::string("rewritten file failed verification (") + GetParam().reason +
           "), original file is to be written";
  }
  // The log line of the verification verdict, empty when there is none.
  std::string Verdict() {
    for (const std::string& logged : testing::ReadLogLines(dir_.File("log.md"))) {
      const std::string line = testing::WithoutStamp(logged);
      if (line.find("verification") != std::string::npos) return line;
    }
    return {};
  }
  bool Rejected() const { return GetParam().reason != nullptr; }

  TempDir dir_;
  TempFiles temp_;
  ProcessLog log_;
  ShrinkOptions options_;
};

TEST_P(VerifiedReplacement, DamagedOutputNeverEntersAPackage) {
  const std::string jpeg = NoisyJpeg();
  testing::WriteZip(dir_.File("in.hwpx"),
                    testing::MakeHwpxItems({{"image1", "BinData/image1.jpg", "image/jpg", jpeg}}));
  const ProcessorResult result =
      ShrinkHwpxWith(dir_.File("in.hwpx"), dir_.File("out.hwpx"), options_, log_, temp_, nullptr,
                     WithVerification(Damaging(GetParam().apply)));
  ASSERT_TRUE(result.success) << result.message;
  auto items = testing::ReadZip(dir_.File("out.hwpx"));
  ASSERT_TRUE(items);
  std::string stored;
  for (const testing::ZipItem& item : *items) {
    if (item.name == "BinData/image1.jpg") stored = item.bytes;
  }
  if (Rejected()) {
    EXPECT_EQ(stored, jpeg);
    EXPECT_EQ(Verdict(), Rejection());
  } else {
    EXPECT_LT(stored.size(), jpeg.size());
    EXPECT_EQ(Verdict(), "");
  }
}

TEST_P(VerifiedReplacement, DamagedOutputNeverEntersAnHwpmlDocument) {
  const std::string jpeg = NoisyJpeg();
  testing::HmlDocument document;
  document.items = {testing::ItemTag(1, "jpg")};
  // Compressed, so that the original is compared as inflated and kept as stored.
  document.data = {testing::DataElement(1, jpeg, true)};
  const std::string source = document.Build();
  WriteFile(dir_.File("in.hml"), source);
  int failedInflations = -1;
  const PictureHandlers handlers{DetectPictureKind, WithVerification(Damaging(GetParam().apply))};
  const ProcessorResult result =
      ShrinkHwpmlWith(dir_.File("in.hml"), dir_.File("out.hml"), options_, log_, temp_, nullptr,
                      failedInflations, handlers);
  ASSERT_TRUE(result.success) << result.message;
  auto parsed = testing::ParseHmlForTest(ReadFile(dir_.File("out.hml")));
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->data.size(), 1u);
  if (Rejected()) {
    // The original picture, though its deflated form may have been made smaller.
    EXPECT_EQ(testing::InflateRawForTest(parsed->data[0].bytes), jpeg);
    EXPECT_EQ(Verdict(), Rejection());
  } else {
    EXPECT_EQ(parsed->data[0].bytes.rfind("\xFF\xD8\xFF", 0), 0u);
    EXPECT_EQ(Verdict(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, VerifiedReplacement, ::testing::ValuesIn(Damages()),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace velmora
