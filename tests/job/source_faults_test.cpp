// Whole jobs whose source misbehaves: it is read-only, it vanishes or is replaced
// while the job runs, or it is the target under another name. The source must never
// change, and a target is either right or absent.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "job/messages.h"
#include "job/shrink_job.h"
#include "document_compare.h"
#include "support/child_process.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

const std::string kSamples = std::string(VELMORA_SOURCE_DIR) + "/samples";

// A host that disturbs the job once, at the first progress event of a chosen kind:
// "start" is the job's first call (before the source is even looked at), "walk" the
// moment a document processor starts on the pictures.
class DisturbingHost : public RecordingHost {
 public:
  DisturbingHost(std::string when, std::function<void()> disturb)
      : when_(std::move(when)), disturb_(std::move(disturb)) {}
  void OnProgressState(ProgressState state) override {
    RecordingHost::OnProgressState(state);
    if ((when_ == "start" && state == ProgressState::kHidden) ||
        (when_ == "walk" && state == ProgressState::kRunning)) {
      Fire();
    }
  }

 private:
  void Fire() {
    if (disturb_) std::exchange(disturb_, nullptr)();
  }
  std::string when_;
  std::function<void()> disturb_;
};

class SourceFaults : public ::testing::Test {
 protected:
  SourceFaults() { ::setenv("TMPDIR", tmp_.path().c_str(), 1); }
  ~SourceFaults() override { ::unsetenv("TMPDIR"); }

  std::string Sample(const std::string& extension) {
    const std::string path = dir_.File("source." + extension);
    WriteFile(path, ReadFile(kSamples + "/sample." + extension));
    return path;
  }
  ShrinkOptions Options() const {
    ShrinkOptions options;
    options.extraOptimisers = false;
    return options;
  }
  TempDir dir_;
  TempDir tmp_;
};

TEST_F(SourceFaults, ReadOnlySourceIsReadAndLeftAsItWas) {
  for (const char* extension : {"hwpx", "hml"}) {
    const std::string source = Sample(extension);
    const std::string before = ReadFile(source);
    ::chmod(dir_.path().c_str(), 0777);
    ::chmod(tmp_.path().c_str(), 0777);
    ::chmod(source.c_str(), 0444);
    const std::string target = dir_.File(std::string("target.") + extension);
    // As an unprivileged user the permission bits hold even when the tests run as root.
    testing::ChildResult child = testing::RunInChild({-1, true, {}, 0}, [&](std::string& report) {
      RecordingHost host;
      report = RunShrinkJob(source, target, Options(), host) ? "written" : host.messages[0].text;
      return 0;
    });
    if (child.unsupported) GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(child.report, "written") << extension;
    EXPECT_EQ(ReadFile(source), before);
    struct stat st {};
    ASSERT_EQ(::stat(source.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_GT(ReadFile(target).size(), 0u);
  }
  EXPECT_TRUE(testing::ListFolder(tmp_.path()).empty());
}

struct VanishCase {
  const char* name;
  const char* extension;
  const char* when;
  bool replace;         // another document takes the source's name, else it is deleted
  const char* message;  // nullptr: the job succeeds with the document it started on
};

void PrintTo(const VanishCase& c, std::ostream* os) { *os << c.name; }

class SourceVanishes : public SourceFaults, public ::testing::WithParamInterface<VanishCase> {};

TEST_P(SourceVanishes, TargetIsMadeFromTheDocumentTheJobStartedOnOrNotAtAll) {
  const VanishCase& c = GetParam();
  const std::string source = Sample(c.extension);
  const std::string target = dir_.File(std::string("target.") + c.extension);
  const std::string reference = dir_.File(std::string("reference.") + c.extension);
  RecordingHost quiet;
  ASSERT_TRUE(RunShrinkJob(source, reference, Options(), quiet));

  // The other document: the other form's sample, so that any byte of it in the target
  // shows.
  const std::string other = dir_.File("other");
  WriteFile(other, ReadFile(kSamples +
                            (c.extension == std::string("hml") ? "/sample.hwpx" : "/sample.hml")));
  DisturbingHost host(c.when, [&] {
    if (c.replace) {
      ASSERT_EQ(::rename(other.c_str(), source.c_str()), 0);
    } else {
      ASSERT_EQ(::unlink(source.c_str()), 0);
    }
  });
  const bool written = RunShrinkJob(source, target, Options(), host);
  ASSERT_EQ(host.messages.size(), 1u);
  if (c.message != nullptr) {
    EXPECT_FALSE(written);
    EXPECT_EQ(host.messages[0].text, c.message);
    EXPECT_FALSE(testing::FileExists(target));
  } else {
    EXPECT_TRUE(written) << host.messages[0].text;
    if (c.extension == std::string("hml")) {
      EXPECT_EQ(testing::HwpmlParts(target), testing::HwpmlParts(reference));
    } else {
      EXPECT_EQ(testing::PackageEntries(target), testing::PackageEntries(reference));
    }
  }
  EXPECT_TRUE(testing::ListFolder(tmp_.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, SourceVanishes,
    ::testing::Values(
        VanishCase{"HwpxDeletedBeforeItIsRead", "hwpx", "start", false, job_text::kSourceMissing},
        VanishCase{"HwpxDeletedDuringTheWalk", "hwpx", "walk", false, nullptr},
        VanishCase{"HwpxReplacedDuringTheWalk", "hwpx", "walk", true, nullptr},
        VanishCase{"HwpmlDeletedBeforeItIsRead", "hml", "start", false, job_text::kSourceMissing},
        VanishCase{"HwpmlDeletedDuringTheWalk", "hml", "walk", false, nullptr},
        VanishCase{"HwpmlReplacedDuringTheWalk", "hml", "walk", true, nullptr}),
    [](const ::testing::TestParamInfo<VanishCase>& info) { return info.param.name; });

// Spellings of the source that the path checks must see through.
TEST_F(SourceFaults, SourceUnderAnotherNameIsNeverTheTarget) {
  const std::string source = Sample("hwpx");
  const std::string before = ReadFile(source);
  const std::string folderName = dir_.path().substr(dir_.path().rfind('/') + 1);
  ASSERT_EQ(::symlink(dir_.path().c_str(), dir_.File("linked").c_str()), 0);
  const std::vector<std::string> spellings = {
      dir_.path() + "/../" + folderName + "/source.hwpx",
      dir_.path() + "//source.hwpx",
      dir_.File("linked") + "/source.hwpx",
      dir_.File("linked") + "/./source.hwpx",
  };
  for (const std::string& target : spellings) {
    RecordingHost host;
    EXPECT_FALSE(RunShrinkJob(source, target, Options(), host)) << target;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, job_text::kSamePaths) << target;
  }
  EXPECT_EQ(ReadFile(source), before);
  EXPECT_EQ(testing::ListFolder(dir_.path()), (std::vector<std::string>{"linked", "source.hwpx"}));
}

}  // namespace
}  // namespace velmora
