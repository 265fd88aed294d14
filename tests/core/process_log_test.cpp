#include <gtest/gtest.h>

#include "core/process_log.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::string Utf16(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

const std::string kBom = "\xFF\xFE";
const std::string kCrLf = std::string("\r\0\n\0", 4);

TEST(ProcessLog, NewLogHoldsOnlyTheByteOrderMark) {
  TempDir dir;
  ProcessLog log;
  log.Open(dir.File("log.md"));
  EXPECT_EQ(ReadFile(dir.File("log.md")), kBom);
}

TEST(ProcessLog, PlainLinesAreUtf16WithCrLf) {
  TempDir dir;
  ProcessLog log;
  log.Open(dir.File("log.md"));
  log.Write("abc", false);
  log.Write("", false);                  // an empty line
  log.Write("# Heading", false);         // a Markdown heading gets an empty line before it
  log.Write("#NoHeading", false);        // no space: no empty line
  log.Write("그림 \xF0\x9F\x98\x80", false);  // Korean and a character outside the BMP
  std::string expected = kBom + Utf16(u"abc") + kCrLf + kCrLf + kCrLf + Utf16(u"# Heading") +
                         kCrLf + Utf16(u"#NoHeading") + kCrLf + Utf16(u"그림 \U0001F600") + kCrLf;
  EXPECT_EQ(ReadFile(dir.File("log.md")), expected);
}

TEST(ProcessLog, StampedLinesStartWithTheTimePrefix) {
  TempDir dir;
  ProcessLog log;
  log.Open(dir.File("log.md"));
  log.Write("", true);
  log.Write("*processing embedded #1*", true);
  std::vector<std::string> lines = testing::ReadLogLines(dir.File("log.md"));
  ASSERT_EQ(lines.size(), 2u);
  // An empty stamped line holds only the stamp and its trailing space.
  EXPECT_EQ(lines[0].size(), 28u);
  EXPECT_EQ(lines[0].substr(0, 3), "* [");
  EXPECT_EQ(lines[0].substr(26), "] ");
  EXPECT_EQ(testing::WithoutStamp(lines[1]), "*processing embedded #1*");
}

TEST(ProcessLog, StampFormatPadsEveryField) {
  platform::LocalTime time{2017, 1, 2, 9, 5, 3, 7};
  EXPECT_EQ(FormatLogStamp(time), "* [2017.01.02 09:05:03.007] ");
}

TEST(ProcessLog, LinesAreAppendedToWhatIsOnDisk) {
  TempDir dir;
  ProcessLog log;
  log.Open(dir.File("log.md"));
  log.Write("one", false);
  // Everything is on disk after each line: another writer's bytes stay in between.
  testing::WriteFile(dir.File("log.md"), ReadFile(dir.File("log.md")) + Utf16(u"x") + kCrLf);
  log.Write("two", false);
  EXPECT_EQ(ReadFile(dir.File("log.md")),
            kBom + Utf16(u"one") + kCrLf + Utf16(u"x") + kCrLf + Utf16(u"two") + kCrLf);
}

TEST(ProcessLog, LogInMissingFolderStaysAbsentAndSilent) {
  TempDir dir;
  ProcessLog log;
  const std::string path = dir.File("missing/log.md");
  log.Open(path);
  log.Write("line", true);
  log.Write("line", false);
  EXPECT_EQ(log.Path(), path);
  EXPECT_FALSE(testing::FileExists(path));
}

TEST(ProcessLog, LogRemovedDuringTheJobIsNotRecreated) {
  TempDir dir;
  ProcessLog log;
  log.Open(dir.File("log.md"));
  std::remove(dir.File("log.md").c_str());
  log.Write("line", false);
  EXPECT_FALSE(testing::FileExists(dir.File("log.md")));
}

TEST(ProcessLog, UnopenedLogWritesNothing) {
  ProcessLog log;
  log.Write("line", true);
  EXPECT_TRUE(log.Path().empty());
}

}  // namespace
}  // namespace velmora
