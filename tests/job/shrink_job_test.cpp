#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "job/document_form.h"
#include "job/messages.h"
#include "job/shrink_job.h"
#include "support/child_process.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

struct FormCase {
  std::string bytes;
  DocumentForm form;
};

class DetectDocumentFormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(DetectDocumentFormTest, DecidesByTheFirstEightBytes) {
  TempDir dir;
  WriteFile(dir.File("doc"), GetParam().bytes);
  EXPECT_EQ(DetectDocumentForm(dir.File("doc")), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DetectDocumentFormTest,
    ::testing::Values(FormCase{std::string("PK\x03\x04\0\0\0\0", 8), DocumentForm::kHwpx},
                      FormCase{"<?xml version", DocumentForm::kHwpml},
                      FormCase{"<?whatever", DocumentForm::kHwpml},
                      FormCase{"\xEF\xBB\xBF<?xml ", DocumentForm::kHwpml},
                      FormCase{"HWP Document File", DocumentForm::kHwpBinary},
                      FormCase{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest", DocumentForm::kCompound},
                      // Seven bytes are too few, whatever they begin with.
                      FormCase{"<?xml v", DocumentForm::kUnknown},
                      FormCase{" <?xml version", DocumentForm::kUnknown},
                      FormCase{"\xFF\xFE<\0?\0x\0m\0", DocumentForm::kUnknown},
                      FormCase{"PK\x05\x06\0\0\0\0", DocumentForm::kUnknown},
                      FormCase{"HWP Docx", DocumentForm::kUnknown},
                      FormCase{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE0", DocumentForm::kUnknown}));

TEST(DetectDocumentForm, MissingFileIsUnknown) {
  EXPECT_EQ(DetectDocumentForm("/nonexistent/velmora/doc"), DocumentForm::kUnknown);
  EXPECT_EQ(DetectDocumentForm(""), DocumentForm::kUnknown);
}

class JobPathChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.File("a.hwpx"), std::string("PK\x03\x04", 4) + std::string(100, '\0'));
    host.revealLogPath = "earlier log";
  }
  // Runs a job that must be refused before anything is created beside the source;
  // checks of the source itself come after the job's log is opened (and removed).
  void ExpectRefused(const std::string& source, const std::string& target,
                     const std::string& message, bool afterLogOpened = false) {
    std::vector<std::string> before = testing::ListFolder(dir.path());
    EXPECT_FALSE(RunShrinkJob(source, target, ShrinkOptions{}, host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, message);
    EXPECT_TRUE(host.messages[0].failure);
    EXPECT_EQ(host.revealLogPath, afterLogOpened ? "" : "earlier log");
    EXPECT_EQ(testing::ListFolder(dir.path()), before);
  }
  TempDir dir;
  RecordingHost host;
};

TEST_F(JobPathChecks, EqualPathsAreRefused) {
  ExpectRefused(dir.File("a.hwpx"), "  " + dir.File("a.hwpx") + " ", job_text::kSamePaths);
}

// This file system tells case apart: a.hwpx and A.HWPX are two files, and the job
// goes on to read the source (which is no zip archive here).
TEST_F(JobPathChecks, NamesDifferingOnlyInCaseAreTwoFilesWhereCaseCounts) {
  ExpectRefused(dir.File("a.hwpx"), dir.File("A.HWPX"), "HwpX 형식만 처리 가능!\n(zip 파일 아님)",
                true);
  WriteFile(dir.File("A.HWPX"), "another document");
  host.messages.clear();
  ExpectRefused(dir.File("a.hwpx"), dir.File("A.HWPX"), "HwpX 형식만 처리 가능!\n(zip 파일 아님)",
                true);
}

TEST_F(JobPathChecks, SameFileUnderAnotherSpellingIsRefused) {
  ExpectRefused(dir.path() + "/./a.hwpx", dir.File("a.hwpx"), job_text::kSamePaths);
}

TEST_F(JobPathChecks, SymbolicAndHardLinksToTheSourceAreRefused) {
  ASSERT_EQ(::symlink(dir.File("a.hwpx").c_str(), dir.File("link.hwpx").c_str()), 0);
  ASSERT_EQ(::link(dir.File("a.hwpx").c_str(), dir.File("hard.hwpx").c_str()), 0);
  ExpectRefused(dir.File("a.hwpx"), dir.File("link.hwpx"), job_text::kSamePaths);
  host.messages.clear();
  ExpectRefused(dir.File("hard.hwpx"), dir.File("a.hwpx"), job_text::kSamePaths);
}

TEST_F(JobPathChecks, UnknownFormsGetTheShortMessage) {
  WriteFile(dir.File("short.hml"), "<?xml v");
  ExpectRefused(dir.File("short.hml"), dir.File("out.hml"), job_text::kNotADocument, true);
}

// A source that cannot be read is told for what it is, with the system's reason in
// the log; a FIFO is never opened (it would block for ever).
struct SourceProblemCase {
  const char* name;
  const char* message;
  const char* reason;  // the log line's end
};

void PrintTo(const SourceProblemCase& c, std::ostream* os) { *os << c.name; }

class SourceProblems : public ::testing::TestWithParam<SourceProblemCase> {};

TEST_P(SourceProblems, AreToldWithTheSystemsReasonInTheLog) {
  TempDir dir;
  TempDir tmp;
  const std::string name = GetParam().name;
  const std::string source = dir.File(name + ".hwpx");
  if (name == "folder") ::mkdir(source.c_str(), 0755);
  if (name == "fifo") ::mkfifo(source.c_str(), 0644);
  if (name == "unreadable") WriteFile(source, "PK\x03\x04 a package nobody may read");
  ::chmod(source.c_str(), name == "unreadable" ? 0 : 0755);
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(tmp.path().c_str(), 0777);
  // Unprivileged, so that the permission bits count also when the tests run as root.
  testing::ChildLimits limits;
  limits.unprivileged = true;
  const testing::ChildResult child = testing::RunInChild(limits, [&](std::string& report) {
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    RecordingHost host;
    ShrinkOptions options;
    options.keepTempFiles = true;
    const bool success = RunShrinkJob(source, dir.File("out.hwpx"), options, host);
    const std::vector<std::string> lines = testing::ReadLogLines(host.revealLogPath);
    report = host.messages.at(0).text + "|" + testing::WithoutStamp(lines.at(0));
    return success ? 1 : 0;
  });
  if (child.unsupported) GTEST_SKIP() << "cannot run unprivileged here";
  EXPECT_TRUE(child.exited && child.exitCode == 0);
  EXPECT_EQ(child.report, std::string(GetParam().message) + "|source `" + source +
                              "` cannot be read: " + GetParam().reason);
  EXPECT_FALSE(testing::FileExists(dir.File("out.hwpx")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceProblems,
    ::testing::Values(
        SourceProblemCase{"missing", job_text::kSourceMissing, "No such file or directory"},
        SourceProblemCase{"unreadable", job_text::kSourceDenied, "Permission denied"},
        SourceProblemCase{"folder", job_text::kSourceIsFolder, "Is a directory"},
        SourceProblemCase{"fifo", job_text::kSourceNotRegular, "a FIFO"}),
    [](const ::testing::TestParamInfo<SourceProblemCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(JobPathChecks, BinaryDocumentsGetTheAdviceToSaveAsHwpx) {
  WriteFile(dir.File("old.hwp"), "HWP Document File V3.00");
  ExpectRefused(dir.File("old.hwp"), dir.File("out.hwpx"), job_text::kBinaryDocument, true);
  host.messages.clear();
  WriteFile(dir.File("new.hwp"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "x");
  ExpectRefused(dir.File("new.hwp"), dir.File("out.hwpx"), job_text::kBinaryDocument, true);
}

TEST(Job, ProcessorFailureIsShownAndLeavesNoTemporaryFiles) {
  TempDir dir;
  TempDir tmp;
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  // Recognised as a zip by its first bytes, but no archive.
  WriteFile(dir.File("broken.hwpx"), std::string("PK\x03\x04", 4) + std::string(60, 'x'));
  RecordingHost host;
  EXPECT_FALSE(RunShrinkJob(dir.File("broken.hwpx"), dir.File("out.hwpx"), ShrinkOptions{}, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "HwpX 형식만 처리 가능!\n(zip 파일 아님)");
  EXPECT_TRUE(host.revealLogPath.empty());
  EXPECT_FALSE(testing::FileExists(dir.File("out.hwpx")));
  EXPECT_TRUE(testing::ListFolder(tmp.path()).empty());
  ::unsetenv("TMPDIR");
}

// A dry run builds the target among the temporary files and measures it: the same
// size and pictures a real run gives, and no file where the target would go.
TEST(Job, DryRunMeasuresWhatARunWritesAndLeavesNoFile) {
  TempDir dir;
  TempDir tmp;
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  const std::string samples = std::string(VELMORA_SOURCE_DIR) + "/samples/";
  for (const char* name : {"sample.hwpx", "sample.hml"}) {
    ShrinkOptions options;
    options.extraOptimisers = false;
    options.stampTime = 1700000000;
    RecordingHost host;
    WorkerPool pool(2);
    const std::string target = dir.File(std::string("real-") + name);
    const JobResult real = RunShrinkJobWithResult(samples + name, target, options, host, pool);
    ASSERT_EQ(real.status, JobStatus::kWritten) << real.message;
    options.dryRun = true;
    const std::string dryTarget = dir.File(std::string("dry-") + name);
    const JobResult dry = RunShrinkJobWithResult(samples + name, dryTarget, options, host, pool);
    EXPECT_EQ(dry.status, JobStatus::kMeasured) << dry.message;
    EXPECT_EQ(dry.targetBytes, static_cast<int64_t>(testing::ReadFile(target).size())) << name;
    EXPECT_EQ(dry.sourceBytes, static_cast<int64_t>(testing::ReadFile(samples + name).size()))
        << name;
    EXPECT_EQ(dry.pictures.size(), real.pictures.size()) << name;
    EXPECT_FALSE(testing::FileExists(dryTarget)) << name;
    EXPECT_TRUE(testing::ListFolder(tmp.path()).empty()) << name;
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text.substr(0, 40), host.messages[0].text.substr(0, 40));
  }
  ::unsetenv("TMPDIR");
}

TEST(Job, SuccessShowsTheSummaryAndKeptFilesStay) {
  TempDir dir;
  TempDir tmp;
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  testing::WriteZip(dir.File("doc.hwpx"), testing::MakeHwpxItems({}));
  RecordingHost host;
  ShrinkOptions options;
  options.keepTempFiles = true;
  EXPECT_TRUE(RunShrinkJob(dir.File("doc.hwpx"), dir.File("doc(pack).hwpx"), options, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_FALSE(host.messages[0].failure);
  EXPECT_EQ(host.messages[0].text.rfind("작업 완료: ", 0), 0u) << host.messages[0].text;
  // The log is kept, revealed, and ends with the closing line.
  ASSERT_FALSE(host.revealLogPath.empty());
  std::vector<std::string> lines = testing::ReadLogLines(host.revealLogPath);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(testing::WithoutStamp(lines.back()), "*writing HWPX finished!*");
  // Progress ends in the no-progress state after the summary.
  ASSERT_FALSE(host.events.empty());
  EXPECT_EQ(host.events.front(), "hidden");
  EXPECT_EQ(host.events.back(), "hidden");
  ::unsetenv("TMPDIR");
}

// A host that throws when a document processor starts on the pictures, as a job that
// runs out of memory between pictures would.
class ThrowingHost : public RecordingHost {
 public:
  void OnProgressState(ProgressState state) override {
    RecordingHost::OnProgressState(state);
    if (state == ProgressState::kRunning) throw std::bad_alloc();
  }
};

TEST(ShrinkJob, FailureThatEscapesTheJobIsItsOneMessageAndLeavesNothingBehind) {
  for (const char* sample : {"sample.hwpx", "sample.hml"}) {
    TempDir dir;
    TempDir tmp;
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    const std::string source = std::string(VELMORA_SOURCE_DIR) + "/samples/" + sample;
    ThrowingHost host;
    EXPECT_FALSE(RunShrinkJob(source, dir.File(sample), ShrinkOptions{}, host)) << sample;
    ::unsetenv("TMPDIR");
    ASSERT_EQ(host.messages.size(), 1u) << sample;
    EXPECT_EQ(host.messages[0].text, job_text::kUnexpectedFailure);
    EXPECT_TRUE(host.messages[0].failure);
    EXPECT_TRUE(testing::ListFolder(dir.path()).empty()) << sample;
    EXPECT_TRUE(testing::ListFolder(tmp.path()).empty()) << sample;
  }
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A new target of either form gets no more permissions than its source: a private
// document does not become one that others may read.
class TargetPermissions : public ::testing::TestWithParam<const char*> {};

TEST_P(TargetPermissions, FollowAPrivateSource) {
  TempDir dir;
  const std::string extension = GetParam();
  const std::string source = dir.File("private." + extension);
  WriteFile(source, testing::ReadFile(std::string(VELMORA_SOURCE_DIR) + "/samples/sample." + extension));
  ::chmod(source.c_str(), 0600);
  RecordingHost host;
  ShrinkOptions options;
  options.extraOptimisers = false;
  ASSERT_TRUE(RunShrinkJob(source, dir.File("out." + extension), options, host));
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("out." + extension).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(Forms, TargetPermissions, ::testing::Values("hwpx", "hml"));

}  // namespace
}  // namespace velmora
