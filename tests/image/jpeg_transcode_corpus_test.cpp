#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/jpeg_segments.h"
#include "image/jpeg_transcode.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::CorpusFiles;
using testing::ReadFile;
using testing::TempDir;

// Every marker segment in front of the first scan but the coding tables.
std::vector<std::string> KeptSegments(const std::string& bytes) {
  std::vector<std::string> kept;
  JpegSegmentWalker walker(bytes);
  JpegSegment segment;
  while (walker.Next(segment) && segment.marker != 0xDA) {
    const uint8_t m = segment.marker;
    const bool coding = m == 0xDB || m == 0xC4 || m == 0xDD || (m >= 0xC0 && m <= 0xCF);
    if (!coding) kept.push_back(bytes.substr(segment.position, segment.end - segment.position));
  }
  return kept;
}

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
    EXPECT_EQ(KeptSegments(ReadFile(out)), KeptSegments(ReadFile(file)));
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
