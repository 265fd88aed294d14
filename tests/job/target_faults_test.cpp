// Whole jobs whose target cannot be written: the folder is missing or not writable,
// the disk fills while the job writes, or a folder stands where the target goes. Each
// job runs in a child process under the real operating-system limit, and must end with
// its failure message, leave an existing target as it was and no partial file beside
// it, and remove its temporary files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "job/shrink_job.h"
#include "support/child_process.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::ChildLimits;
using testing::ChildResult;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

const std::string kSamples = std::string(VELMORA_SOURCE_DIR) + "/samples";
const std::string kPrevious = "the previous target";

enum class Fault {
  kNone,            // control: the same set-up without the fault succeeds
  kMissingFolder,   // the target's folder does not exist
  kReadOnlyFolder,  // the folder exists but the user may not write into it
  kFileSizeLimit,   // every file stops growing at a size (as on a full disk)
  kFullFileSystem,  // the target's folder is a small file system of its own
  kTargetIsFolder,  // a folder already has the target's name
  kFullTempFolder,  // the temporary folder is a small file system of its own
};

struct FaultCase {
  const char* name;
  Fault fault;
  double limitFraction;     // kFileSizeLimit: the limit as a part of the target's size
  const char* hwpxMessage;  // nullptr: any failure message
  const char* hmlMessage;
  // The HWPML job decodes each picture into the temporary folder; one that does not
  // fit keeps its bytes, and the job succeeds.
  bool hmlSucceeds = false;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

struct Document {
  const char* name;
  const char* extension;
};

void PrintTo(const Document& d, std::ostream* os) { *os << d.name; }

// What the child saw after its job, one field per line.
struct Outcome {
  bool success = false;
  std::vector<RecordingHost::Message> messages;
  std::vector<std::string> targetFolder;  // names beside the target, sorted
  std::string target;                     // the target's bytes, or "<absent>"
  std::vector<std::string> temporary;     // what is left in the temporary folder
};

std::string Names(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
  return joined;
}

class TargetFaults : public ::testing::TestWithParam<std::tuple<Document, FaultCase>> {
 protected:
  void SetUp() override {
    const Document& document = std::get<0>(GetParam());
    ::chmod(dir_.path().c_str(), 0755);
    source_ = dir_.File(std::string("source.") + document.extension);
    WriteFile(source_, ReadFile(kSamples + "/sample." + document.extension));
    ::chmod(source_.c_str(), 0644);
    temp_ = dir_.File("tmp");
    std::filesystem::create_directory(temp_);
    ::chmod(temp_.c_str(), 0777);
    folder_ = dir_.File("out");
    target_ = folder_ + "/target." + document.extension;
  }

  // The size of the target this document gets when nothing goes wrong, from a job in a
  // child as the jobs under test.
  int64_t TargetSize() {
    TempDir reference;
    const std::string source = source_;
    const std::string target =
        reference.File(std::string("ref.") + std::get<0>(GetParam()).extension);
    const ChildResult child = testing::RunInChild({}, [&](std::string& report) {
      ::setenv("TMPDIR", reference.path().c_str(), 1);
      RecordingHost host;
      ShrinkOptions options;
      options.extraOptimisers = false;
      if (!RunShrinkJob(source, target, options, host)) return 1;
      report = std::to_string(ReadFile(target).size());
      return 0;
    });
    EXPECT_TRUE(child.exited && child.exitCode == 0);
    return child.report.empty() ? 0 : std::stoll(child.report);
  }

  Outcome RunJob(const ChildLimits& limits, bool createPrevious, bool& unsupported) {
    const std::string source = source_, target = target_, temp = temp_, folder = folder_;
    ChildResult child = testing::RunInChild(limits, [&](std::string& report) {
      ::setenv("TMPDIR", temp.c_str(), 1);
      // On a file system of the child's own, the previous target is made inside it.
      if (createPrevious) WriteFile(target, kPrevious);
      RecordingHost host;
      ShrinkOptions options;
      options.extraOptimisers = false;
      const bool success = RunShrinkJob(source, target, options, host);
      std::vector<std::string> fields = {success ? "1" : "0"};
      for (const auto& message : host.messages) {
        fields.push_back(message.failure ? "1" : "0");
        fields.push_back(message.text);
      }
      fields.push_back(Names(testing::ListFolder(folder)));
      fields.push_back(std::filesystem::is_regular_file(target) ? ReadFile(target) : "<absent>");
      fields.push_back(Names(testing::ListFolder(temp)));
      for (const std::string& field : fields) report += std::to_string(field.size()) + ":" + field;
      return 0;
    });
    unsupported = child.unsupported;
    Outcome outcome;
    if (unsupported) return outcome;
    EXPECT_TRUE(child.exited && child.exitCode == 0) << child.exitCode;
    std::vector<std::string> fields;
    for (size_t at = 0; at < child.report.size();) {
      const size_t colon = child.report.find(':', at);
      if (colon == std::string::npos) break;
      const size_t length = std::stoul(child.report.substr(at, colon - at));
      fields.push_back(child.report.substr(colon + 1, length));
      at = colon + 1 + length;
    }
    // success, (failure, text) per message, folder, target, temporary folder
    if (fields.size() < 4 || fields.size() % 2 != 0) {
      ADD_FAILURE() << "unreadable report";
      return outcome;
    }
    outcome.success = fields[0] == "1";
    for (size_t i = 1; i + 3 < fields.size(); i += 2) {
      outcome.messages.push_back({fields[i + 1], fields[i] == "1"});
    }
    outcome.targetFolder = Split(fields[fields.size() - 3]);
    outcome.target = fields[fields.size() - 2];
    outcome.temporary = Split(fields[fields.size() - 1]);
    return outcome;
  }

  static std::vector<std::string> Split(const std::string& joined) {
    std::vector<std::string> names;
    std::stringstream in(joined);
    for (std::string name; std::getline(in, name, ',');) names.push_back(name);
    return names;
  }

  TempDir dir_;
  std::string source_, temp_, folder_, target_;
};

TEST_P(TargetFaults, FailWithAMessageAndLeaveNothingHalfWritten) {
  const Document& document = std::get<0>(GetParam());
  const FaultCase& fault = std::get<1>(GetParam());
  const std::string sourceBytes = ReadFile(source_);
  const std::string targetName = std::string("target.") + document.extension;

  ChildLimits limits;
  bool createPrevious = false;
  switch (fault.fault) {
    case Fault::kNone:
    case Fault::kReadOnlyFolder:
      limits.unprivileged = true;
      std::filesystem::create_directory(folder_);
      WriteFile(target_, kPrevious);
      ::chmod(target_.c_str(), 0644);
      ::chmod(folder_.c_str(), fault.fault == Fault::kNone ? 0777 : 0555);
      break;
    case Fault::kMissingFolder: break;
    case Fault::kFileSizeLimit:
      limits.fileSizeLimit =
          static_cast<int64_t>(static_cast<double>(TargetSize()) * fault.limitFraction);
      std::filesystem::create_directory(folder_);
      WriteFile(target_, kPrevious);
      break;
    case Fault::kFullFileSystem:
      std::filesystem::create_directory(folder_);
      limits.tmpfsFolder = folder_;
      limits.tmpfsBytes = 64 * 1024;
      createPrevious = true;
      break;
    case Fault::kTargetIsFolder: std::filesystem::create_directories(target_ + "/inside"); break;
    case Fault::kFullTempFolder:
      std::filesystem::create_directory(folder_);
      WriteFile(target_, kPrevious);
      limits.tmpfsFolder = temp_;
      limits.tmpfsBytes = 64 * 1024;
      break;
  }

  bool unsupported = false;
  const Outcome outcome = RunJob(limits, createPrevious, unsupported);
  if (unsupported) GTEST_SKIP() << "this system does not let the test set the limit up";

  EXPECT_EQ(ReadFile(source_), sourceBytes);
  EXPECT_TRUE(outcome.temporary.empty()) << Names(outcome.temporary);
  ASSERT_EQ(outcome.messages.size(), 1u);
  if (fault.fault == Fault::kNone) {
    EXPECT_TRUE(outcome.success) << outcome.messages[0].text;
    EXPECT_EQ(outcome.targetFolder, std::vector<std::string>{targetName});
    EXPECT_NE(outcome.target, kPrevious);
    return;
  }
  if (document.extension == std::string("hml") && fault.hmlSucceeds) {
    EXPECT_TRUE(outcome.success) << outcome.messages[0].text;
    EXPECT_NE(outcome.target, kPrevious);
    return;
  }
  EXPECT_FALSE(outcome.success);
  EXPECT_TRUE(outcome.messages[0].failure);
  const char* expected =
      document.extension == std::string("hwpx") ? fault.hwpxMessage : fault.hmlMessage;
  if (expected != nullptr) {
    EXPECT_EQ(outcome.messages[0].text, expected);
  }
  if (fault.fault == Fault::kMissingFolder) {
    EXPECT_TRUE(outcome.targetFolder.empty());
    EXPECT_EQ(outcome.target, "<absent>");
  } else if (fault.fault == Fault::kTargetIsFolder) {
    EXPECT_EQ(outcome.targetFolder, std::vector<std::string>{targetName});
    EXPECT_EQ(testing::ListFolder(target_), std::vector<std::string>{"inside"});
  } else {
    EXPECT_EQ(outcome.targetFolder, std::vector<std::string>{targetName});
    EXPECT_EQ(outcome.target, kPrevious);
  }
}

const char kHwpxCopyFailed[] = "파일 복사 실패!";
const char kTempFolderFull[] = "임시 폴더의 공간이 부족함!\n(작업 파일을 쓸 수 없음)";

INSTANTIATE_TEST_SUITE_P(
    Jobs, TargetFaults,
    ::testing::Combine(
        ::testing::Values(Document{"Hwpx", "hwpx"}, Document{"Hwpml", "hml"}),
        ::testing::Values(
            FaultCase{"WritableFolderAsUnprivilegedUser", Fault::kNone, 0, nullptr, nullptr},
            FaultCase{"MissingFolder", Fault::kMissingFolder, 0, kHwpxCopyFailed,
                      "파일 복사 실패! (step#1 / 쓰기)"},
            FaultCase{"ReadOnlyFolder", Fault::kReadOnlyFolder, 0, kHwpxCopyFailed,
                      "파일 복사 실패! (step#1 / 쓰기)"},
            // The package's working copy is as large as the source: it is what fails, and
            // the message says where.
            FaultCase{"DiskFullEarly", Fault::kFileSizeLimit, 0.1, kTempFolderFull, nullptr},
            FaultCase{"DiskFullAtTheLastByte", Fault::kFileSizeLimit, 0.999, kTempFolderFull,
                      nullptr},
            FaultCase{"TemporaryFolderFull", Fault::kFullTempFolder, 0, kTempFolderFull, nullptr,
                      true},
            FaultCase{"TargetFileSystemFull", Fault::kFullFileSystem, 0, kHwpxCopyFailed, nullptr},
            // Everything is written before the final rename fails.
            FaultCase{"FolderInTheTargetsPlace", Fault::kTargetIsFolder, 0, kHwpxCopyFailed,
                      "HwpML 파일 쓰기 실패!"})),
    [](const ::testing::TestParamInfo<std::tuple<Document, FaultCase>>& info) {
      return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace velmora
