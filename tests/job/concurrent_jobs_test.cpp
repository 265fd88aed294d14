// Jobs in separate processes at the same moment, sharing the system's temporary
// folder: their temporary names must never collide, and each target must be exactly
// what the job gives when it runs alone.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/shrink_job.h"
#include "document_compare.h"
#include "support/child_process.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kSamples = std::string(VELMORA_SOURCE_DIR) + "/samples";

struct Pair {
  const char* name;
  const char* first;  // extensions of the two sources; equal: one source for both
  const char* second;
};

void PrintTo(const Pair& p, std::ostream* os) { *os << p.name; }

class ConcurrentJobs : public ::testing::TestWithParam<Pair> {};

TEST_P(ConcurrentJobs, ShareTheTemporaryFolderWithoutCollisions) {
  TempDir dir;
  TempDir tmp;
  const std::vector<std::string> extensions = {GetParam().first, GetParam().second};
  std::vector<std::string> sources, targets, references;
  for (size_t i = 0; i < 2; ++i) {
    sources.push_back(dir.File("source." + extensions[i]));
    WriteFile(sources[i], ReadFile(kSamples + "/sample." + extensions[i]));
    targets.push_back(dir.File("target" + std::to_string(i) + "." + extensions[i]));
    references.push_back(dir.File("reference" + std::to_string(i) + "." + extensions[i]));
  }
  ShrinkOptions options;
  options.extraOptimisers = false;
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  // The references are made in children as well, as the jobs under test are.
  for (size_t i = 0; i < 2; ++i) {
    const testing::ChildResult reference =
        testing::RunInChild({}, [&, i](std::string&) {
          testing::RecordingHost host;
          return RunShrinkJob(sources[i], references[i], options, host) ? 0 : 1;
        });
    ASSERT_TRUE(reference.exited && reference.exitCode == 0);
  }

  // Several rounds, so that the two jobs overlap in different phases.
  for (int round = 0; round < 3; ++round) {
    testing::ChildProcess children[2];
    for (size_t i = 0; i < 2; ++i) {
      ASSERT_TRUE(children[i].Start({}, [&, i](std::string& report) {
        testing::RecordingHost host;
        const bool written = RunShrinkJob(sources[i], targets[i], options, host);
        report = written ? "written" : host.messages.at(0).text;
        return 0;
      }));
    }
    for (size_t i = 0; i < 2; ++i) {
      const testing::ChildResult result = children[i].Wait();
      ASSERT_TRUE(result.exited && result.exitCode == 0);
      EXPECT_EQ(result.report, "written") << "job " << i << ", round " << round;
    }
    for (size_t i = 0; i < 2; ++i) {
      if (extensions[i] == "hwpx") {
        EXPECT_EQ(testing::PackageEntries(targets[i]), testing::PackageEntries(references[i]));
      } else {
        EXPECT_EQ(testing::HwpmlParts(targets[i]), testing::HwpmlParts(references[i]));
      }
    }
    EXPECT_TRUE(testing::ListFolder(tmp.path()).empty());
  }
  ::unsetenv("TMPDIR");
}

INSTANTIATE_TEST_SUITE_P(Jobs, ConcurrentJobs,
                         ::testing::Values(Pair{"PackageAndHwpml", "hwpx", "hml"},
                                           Pair{"TwoPackages", "hwpx", "hwpx"},
                                           Pair{"TwoHwpmlDocuments", "hml", "hml"}),
                         [](const ::testing::TestParamInfo<Pair>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace velmora
