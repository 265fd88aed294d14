#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/jpeg_transcode.h"
#include "support/independent_decoder.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::CorpusFiles;
using testing::ReadFile;
using testing::TempDir;

// Every corpus JPEG that transcodes decodes, by Pillow, to exactly the pixels of its
// source, with the same marker segments.
TEST(JpegTranscodeCorpus, EveryTranscodedJpegHasItsSourcesPixels) {
  VELMORA_REQUIRE_CORPUS();
  std::vector<std::string> files = CorpusFiles("img/jpeg", {".jpg", ".jpeg"});
  for (const std::string& file : CorpusFiles("large", {".jpg"})) files.push_back(file);
  ASSERT_FALSE(files.empty());
  TempDir dir;
  int written = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string out = dir.File("out.jpg");
    std::remove(out.c_str());
    const TranscodeStatus status = TranscodeJpegLosslessly(file, out);
    if (status != TranscodeStatus::kWritten) {
      EXPECT_EQ(status, TranscodeStatus::kUnreadable);
      EXPECT_FALSE(testing::FileExists(out));
      continue;
    }
    ++written;
    EXPECT_TRUE(DecodeToSameSamples(file, out));
    EXPECT_EQ(testing::KeptJpegSegments(ReadFile(out)), testing::KeptJpegSegments(ReadFile(file)));
    const auto before = testing::DecodeWithPil(file);
    if (!before) continue;  // a source only our decoder reads whole
    const auto after = testing::DecodeWithPil(out);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->width, before->width);
    EXPECT_EQ(after->mode, before->mode);
    EXPECT_TRUE(after->rgba == before->rgba);
  }
  EXPECT_GE(written, static_cast<int>(files.size()) / 2);
}

}  // namespace
}  // namespace velmora
