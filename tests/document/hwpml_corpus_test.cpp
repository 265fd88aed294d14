#include <gtest/gtest.h>

#include <map>

#include "document/hwpml_fixture.h"
#include "job/shrink_job.h"
#include "support/independent_decoder.h"

namespace velmora::hwpml_test {
namespace {

using testing::AttributeOf;
using testing::OutsideElements;
using testing::ParsedHml;
using testing::ParseHmlForTest;
using testing::ReadFile;

// What a job should end with, judged by plain text search of the document.
std::string ExpectedFailure(const std::string& document) {
  const bool declaration = document.rfind("<?", 0) == 0 || document.rfind("\xEF\xBB\xBF<?", 0) == 0;
  if (!declaration) return "한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!";
  if (document.find("<HWPML") == std::string::npos) {
    return "HwpML 형식만 처리 가능!\n(xml 파일이나 HwpML은 아님)";
  }
  if (document.find("<BINDATALIST") == std::string::npos) return "첨부 파일 목록 없음!";
  return "";
}

// The item's bytes as stored, inflated when the element says it is compressed.
std::optional<std::string> Picture(const testing::ParsedData& data) {
  std::optional<std::string> compress = AttributeOf(data.openTag, "Compress");
  if (compress && EqualsIgnoreCase(*compress, "true")) {
    return testing::InflateRawForTest(data.bytes);
  }
  return data.bytes;
}

std::map<std::string, std::string> PicturesById(const ParsedHml& parsed) {
  std::map<std::string, std::string> pictures;
  for (const testing::ParsedData& data : parsed.data) {
    std::optional<std::string> picture = Picture(data);
    pictures[AttributeOf(data.openTag, "Id").value_or("?")] = picture.value_or("<not inflatable>");
  }
  return pictures;
}

class HwpmlCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(HwpmlCorpus, JobKeepsEverythingOutsideTheItemsAndEveryItemReadable) {
  VELMORA_REQUIRE_CORPUS();
  const std::string source = GetParam();
  const std::string document = ReadFile(source);
  testing::TempDir dir;
  const std::string target = dir.File("target.hml");
  RecordingHost host;
  ShrinkOptions options;
  options.extraOptimisers = false;
  const bool done = RunShrinkJob(source, target, options, host);
  ASSERT_EQ(host.messages.size(), 1u);

  const std::string failure = ExpectedFailure(document);
  if (!failure.empty()) {
    EXPECT_FALSE(done);
    EXPECT_EQ(host.messages[0], failure);
    EXPECT_FALSE(testing::FileExists(target));
    return;
  }
  ASSERT_TRUE(done) << host.messages[0];
  EXPECT_EQ(host.messages[0].rfind("작업 완료: ", 0), 0u) << host.messages[0];
  const std::string written = ReadFile(target);
  EXPECT_EQ(OutsideElements(written), OutsideElements(document));

  std::optional<ParsedHml> before = ParseHmlForTest(document);
  std::optional<ParsedHml> after = ParseHmlForTest(written);
  ASSERT_TRUE(before && after);
  ASSERT_EQ(after->items.size(), before->items.size());
  ASSERT_EQ(after->data.size(), before->data.size());
  std::map<std::string, std::string> original = PicturesById(*before);
  std::map<std::string, std::string> result = PicturesById(*after);
  ASSERT_EQ(result.size(), original.size());
  for (const auto& [id, picture] : result) {
    if (picture == original[id]) continue;
    const std::string path = dir.File("item" + id);
    testing::WriteFile(path, picture);
    EXPECT_TRUE(testing::DecodeWithPil(path).has_value()) << "item " << id << " of " << source;
  }
}

// The same documents with every picture "shrunk" by stand-in handlers: the rewritten
// items must land on the right numbers with nothing else disturbed.
TEST_P(HwpmlCorpus, RewritingEveryPictureDisturbsNothingElse) {
  VELMORA_REQUIRE_CORPUS();
  const std::string document = ReadFile(GetParam());
  if (!ExpectedFailure(document).empty()) GTEST_SKIP() << "not a document with items";
  testing::TempDir dir;
  testing::RunCommand("mkdir -p " + testing::ShellQuote(dir.File("tmp")));
  TempFiles temp(true, dir.File("tmp"));
  ProcessLog log;
  log.Open(dir.File("log.md"));
  RecordingHost host;
  FakePictures pictures;
  pictures.outputFor = {{1, 2}, {2, 2}, {3, 2}, {4, 3}};
  int failed = -1;
  const ProcessorResult result =
      ShrinkHwpmlWith(GetParam(), dir.File("target.hml"), ShrinkOptions{}, log, temp, &host,
                      failed, pictures.Handlers());
  ASSERT_TRUE(result.success) << result.message;
  EXPECT_EQ(failed, 0);
  const std::string written = ReadFile(dir.File("target.hml"));
  EXPECT_EQ(OutsideElements(written), OutsideElements(document));

  std::optional<ParsedHml> before = ParseHmlForTest(document);
  std::optional<ParsedHml> after = ParseHmlForTest(written);
  ASSERT_TRUE(before && after);
  ASSERT_EQ(after->data.size(), before->data.size());
  std::map<std::string, std::string> original = PicturesById(*before);
  std::map<std::string, std::string> result2 = PicturesById(*after);
  std::map<int, std::string> seenBytes;
  for (const FakePictures::Seen& seen : pictures.seen) seenBytes[seen.number] = seen.bytes;
  size_t pictureCount = 0;
  for (const auto& [id, picture] : original) {
    testing::WriteFile(dir.File("probe"), picture);
    pictureCount += DetectByMagic(dir.File("probe")) != 0 ? 1 : 0;
  }
  size_t rewritten = 0;
  for (size_t i = 0; i < after->items.size(); ++i) {
    const std::string id = AttributeOf(after->items[i].tag, "BinData").value_or("?");
    EXPECT_EQ(AttributeOf(before->items[i].tag, "BinData").value_or("?"), id);
    ASSERT_TRUE(result2.count(id)) << id;
    if (result2[id] == original[id]) continue;
    // A rewritten item holds the stand-in's output for exactly this item, made from
    // this item's own picture.
    const int number = static_cast<int>(i);
    ASSERT_TRUE(seenBytes.count(number));
    EXPECT_EQ(seenBytes[number], original[id]);
    const int kind = result2[id].rfind("\xFF\xD8", 0) == 0 ? 3 : 2;
    EXPECT_EQ(result2[id], FakePictures::Shrunk(kind, number));
    ++rewritten;
  }
  EXPECT_EQ(rewritten, pictureCount);
}

INSTANTIATE_TEST_SUITE_P(Documents, HwpmlCorpus, ::testing::ValuesIn(testing::CorpusCases({{"hml", {".hml"}}})),
                         testing::CorpusCaseName);

}  // namespace
}  // namespace velmora::hwpml_test
