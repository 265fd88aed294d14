// Writing beside a file and renaming over it: the reader of the destination sees the
// old file or the whole new one, and a replaced file keeps its permissions.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/platform.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

mode_t ModeOf(const std::string& path) {
  struct stat info;
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 0777;
}

TEST(AtomicFile, ReplacedFileKeepsItsPermissionsAndNewFileFollowsTheUmask) {
  TempDir dir;
  for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0444}}) {
    const std::string path = dir.File("kept-" + std::to_string(mode));
    WriteFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    platform::AtomicFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ModeOf(path), mode);
  }

  const mode_t umask = ::umask(022);
  platform::AtomicFile fresh;
  ASSERT_TRUE(fresh.Open(dir.File("fresh")));
  ASSERT_TRUE(fresh.Commit());
  ::umask(umask);
  EXPECT_EQ(ModeOf(dir.File("fresh")), mode_t{0644});
}

TEST(AtomicFile, DiscardedWriteLeavesTheOldFileAndNoSibling) {
  TempDir dir;
  WriteFile(dir.File("doc"), "old");
  {
    platform::AtomicFile file;
    ASSERT_TRUE(file.Open(dir.File("doc")));
    ASSERT_TRUE(file.Write("half", 4));
  }
  EXPECT_EQ(ReadFile(dir.File("doc")), "old");
  EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"doc"});
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A new file takes no more permissions than its source has, within the umask; an
// existing destination keeps its own.
struct NewFileModeCase {
  mode_t source;
  mode_t umask;
  mode_t existing;  // 0: the destination does not exist yet
  mode_t expected;
};

class NewFileModes : public ::testing::TestWithParam<NewFileModeCase> {};

TEST_P(NewFileModes, FollowTheSourceWithinTheUmask) {
  const NewFileModeCase& c = GetParam();
  TempDir dir;
  WriteFile(dir.File("source"), "s");
  ASSERT_EQ(::chmod(dir.File("source").c_str(), c.source), 0);
  if (c.existing != 0) {
    WriteFile(dir.File("target"), "old");
    ASSERT_EQ(::chmod(dir.File("target").c_str(), c.existing), 0);
  }
  const mode_t previous = ::umask(c.umask);
  const bool copied = platform::CopyFileAtomically(dir.File("source"), dir.File("target"),
                                                   dir.File("source"));
  ::umask(previous);
  ASSERT_TRUE(copied);
  EXPECT_EQ(ModeOf(dir.File("target")), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NewFileModes,
                         ::testing::Values(NewFileModeCase{0600, 022, 0, 0600},
                                           NewFileModeCase{0644, 022, 0, 0644},
                                           NewFileModeCase{0640, 022, 0, 0640},
                                           NewFileModeCase{0644, 077, 0, 0600},
                                           NewFileModeCase{0600, 022, 0664, 0664}));

// The hidden sibling's name stays within the file system's limit of 255 bytes, so a
// target whose name is near the limit can still be written; a cut never splits a
// UTF-8 sequence.
struct LongNameCase {
  const char* name;
  std::string base;
};

void PrintTo(const LongNameCase& c, std::ostream* os) { *os << c.name; }

class LongTargetNames : public ::testing::TestWithParam<LongNameCase> {};

TEST_P(LongTargetNames, AreWrittenThroughAShortenedSibling) {
  TempDir dir;
  const std::string target = dir.File(GetParam().base);
  platform::AtomicFile file;
  ASSERT_TRUE(file.Open(target));
  const std::string sibling = file.TemporaryPath().substr(dir.path().size() + 1);
  EXPECT_LE(sibling.size(), 255u);
  EXPECT_EQ(GetParam().base.compare(0, sibling.size() - 15, sibling, 1, sibling.size() - 15), 0);
  ASSERT_TRUE(file.Write("whole", 5));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(target), "whole");
  EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{GetParam().base});
}

std::string Korean(size_t syllables) {
  std::string text;
  for (size_t i = 0; i < syllables; ++i) text += "\xED\x95\x9C";  // 한
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Names, LongTargetNames,
    ::testing::Values(LongNameCase{"Short", "doc.hwpx"},
                      LongNameCase{"Ascii254", std::string(249, 'a') + ".hwpx"},
                      LongNameCase{"Ascii255", std::string(250, 'a') + ".hwpx"},
                      LongNameCase{"Korean254", Korean(83) + ".hwpx"}),
    [](const ::testing::TestParamInfo<LongNameCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
