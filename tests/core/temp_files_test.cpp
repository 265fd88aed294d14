#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>

#include "core/temp_files.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::FileExists;
using testing::TempDir;
using testing::WriteFile;

// Sets an environment variable for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TempFiles, FolderGetsExactlyOneTrailingSeparator) {
  EXPECT_EQ(TempFiles::NormaliseFolder("/tmp/x"), "/tmp/x/");
  EXPECT_EQ(TempFiles::NormaliseFolder("/tmp/x/"), "/tmp/x/");
  EXPECT_EQ(TempFiles::NormaliseFolder("/tmp/x//"), "/tmp/x/");
}

TEST(TempFiles, NamesFollowThePatternAndReserveTheFile) {
  TempDir dir;
  ScopedEnv tmp("TMPDIR", dir.path() + "//");
  TempFiles temp(true);
  EXPECT_EQ(temp.Folder(), dir.path() + "/");
  // The folder probe used number 000, so the first name ends in 001.
  const std::string log = temp.NewName("log.md", false);
  const std::string picture = temp.NewName("jpg", true);
  ASSERT_EQ(temp.Tag().size(), 4u);
  for (char c : temp.Tag()) EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) << c;
  EXPECT_EQ(log, dir.path() + "/VL_" + temp.Tag() + "_001.log.md");
  EXPECT_EQ(picture, dir.path() + "/VL_" + temp.Tag() + "_002.jpg_c");
  // The name is reserved on disk, so another program instance cannot take it.
  EXPECT_TRUE(FileExists(log));
  EXPECT_TRUE(FileExists(picture));
  temp.Register(log);
  temp.Register(picture);
}

TEST(TempFiles, CounterGrowsPastThreeDigits) {
  TempDir dir;
  TempFiles temp(true, dir.path());
  std::string name;
  for (int i = 0; i <= 1000; ++i) {
    name = temp.NewName("png", false);
    temp.Register(name);
  }
  EXPECT_EQ(name, dir.path() + "/VL_" + temp.Tag() + "_1000.png");
}

TEST(TempFiles, ExistingNamesAreSkippedAndNotReused) {
  TempDir dir;
  TempFiles temp(true, dir.path());
  WriteFile(dir.File("VL_" + temp.Tag() + "_000.png"), "x");
  EXPECT_EQ(temp.NewName("png", false), dir.File("VL_" + temp.Tag() + "_001.png"));
  // The skipped number is not used again for another extension.
  EXPECT_EQ(temp.NewName("jpg", false), dir.File("VL_" + temp.Tag() + "_002.jpg"));
}

TEST(TempFiles, ManyManagersInOneFolderNeverShareAName) {
  TempDir dir;
  std::set<std::string> names;
  std::vector<std::unique_ptr<TempFiles>> managers;
  for (int i = 0; i < 200; ++i) {
    managers.push_back(std::make_unique<TempFiles>(true, dir.path()));
    for (int j = 0; j < 3; ++j) {
      std::string name = managers.back()->NewName("png", false);
      managers.back()->Register(name);
      EXPECT_TRUE(names.insert(name).second) << "duplicate " << name;
    }
  }
}

TEST(TempFiles, FallsBackToDesktopThenCurrentFolder) {
  TempDir dir;
  // A file where the temporary folder should be: nothing can be created below it.
  WriteFile(dir.File("not-a-folder"), "x");
  ASSERT_EQ(::mkdir(dir.File("desktop").c_str(), 0700), 0);
  ScopedEnv tmp("TMPDIR", dir.File("not-a-folder"));
  {
    ScopedEnv desktop("XDG_DESKTOP_DIR", dir.File("desktop"));
    TempFiles temp(true);
    EXPECT_EQ(temp.Folder(), dir.File("desktop") + "/");
    // One probe failed and one succeeded: the first name ends in 002.
    std::string name = temp.NewName("png", false);
    temp.Register(name);
    EXPECT_EQ(name, dir.File("desktop") + "/VL_" + temp.Tag() + "_002.png");
  }
  {
    ScopedEnv desktop("XDG_DESKTOP_DIR", dir.File("not-a-folder/desktop"));
    TempFiles temp(true);
    EXPECT_EQ(temp.Folder(), "./");
  }
}

TEST(TempFiles, RemovesRegisteredFilesUnlessKept) {
  TempDir dir;
  std::string removed, kept, neverCreated;
  {
    TempFiles temp(true, dir.path());
    removed = temp.NewName("png", false);
    temp.Register(removed);
    temp.Register(removed);  // twice: the second removal fails silently
    neverCreated = dir.File("never-created.png");
    temp.Register(neverCreated);
    EXPECT_TRUE(FileExists(removed));
  }
  EXPECT_FALSE(FileExists(removed));
  {
    TempFiles temp(false, dir.path());
    kept = temp.NewName("log.md", false);
    temp.Register(kept);
  }
  EXPECT_TRUE(FileExists(kept));
}

}  // namespace
}  // namespace velmora
