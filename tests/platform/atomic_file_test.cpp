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
