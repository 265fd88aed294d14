#include <gtest/gtest.h>
#include <unistd.h>

#include "core/job.h"
#include "support/recording_host.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

struct FormCase {
  std::string bytes;
  bool accepted;
  int form;
};

class DetectDocumentFormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(DetectDocumentFormTest, DecidesByTheFirstEightBytes) {
  TempDir dir;
  WriteFile(dir.File("doc"), GetParam().bytes);
  DocumentForm form = DetectDocumentForm(dir.File("doc"));
  EXPECT_EQ(form.accepted, GetParam().accepted);
  EXPECT_EQ(form.form, GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DetectDocumentFormTest,
    ::testing::Values(FormCase{std::string("PK\x03\x04\0\0\0\0", 8), true, kFormHwpx},
                      FormCase{"<?xml version", true, kFormHwpml},
                      FormCase{"<?whatever", true, kFormHwpml},
                      FormCase{"\xEF\xBB\xBF<?xml ", true, kFormHwpml},
                      FormCase{"HWP Document File", false, kFormHwpBinary},
                      FormCase{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest", false, kFormCompound},
                      // Seven bytes are too few, whatever they begin with.
                      FormCase{"<?xml v", false, kFormUnknown},
                      FormCase{" <?xml version", false, kFormUnknown},
                      FormCase{"\xFF\xFE<\0?\0x\0m\0", false, kFormUnknown},
                      FormCase{"PK\x05\x06\0\0\0\0", false, kFormUnknown},
                      FormCase{"HWP Docx", false, kFormUnknown},
                      FormCase{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE0", false, kFormUnknown}));

TEST(DetectDocumentForm, MissingFileIsUnknown) {
  EXPECT_EQ(DetectDocumentForm("/nonexistent/velmora/doc").form, kFormUnknown);
  EXPECT_FALSE(DetectDocumentForm("").accepted);
}

class JobPathChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.File("a.hwpx"), std::string("PK\x03\x04", 4) + std::string(100, '\0'));
    host.revealLogPath = "earlier log";
  }
  // Runs a job that must be refused before anything is created.
  void ExpectRefused(const std::string& source, const std::string& target,
                     const std::string& message) {
    std::vector<std::string> before = testing::ListFolder(dir.path());
    EXPECT_FALSE(RunShrinkJob(source, target, ShrinkOptions{}, host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, message);
    EXPECT_TRUE(host.messages[0].failure);
    EXPECT_EQ(host.revealLogPath, "earlier log");
    EXPECT_EQ(testing::ListFolder(dir.path()), before);
  }
  TempDir dir;
  RecordingHost host;
};

TEST_F(JobPathChecks, EqualPathsIgnoringCaseAreRefused) {
  ExpectRefused(dir.File("a.hwpx"), "  " + dir.File("A.HWPX") + " ", kMessageSamePaths);
}

TEST_F(JobPathChecks, SameFileUnderAnotherSpellingIsRefused) {
  ExpectRefused(dir.path() + "/./a.hwpx", dir.File("a.hwpx"), kMessageSamePaths);
}

TEST_F(JobPathChecks, SymbolicAndHardLinksToTheSourceAreRefused) {
  ASSERT_EQ(::symlink(dir.File("a.hwpx").c_str(), dir.File("link.hwpx").c_str()), 0);
  ASSERT_EQ(::link(dir.File("a.hwpx").c_str(), dir.File("hard.hwpx").c_str()), 0);
  ExpectRefused(dir.File("a.hwpx"), dir.File("link.hwpx"), kMessageSamePaths);
  host.messages.clear();
  ExpectRefused(dir.File("hard.hwpx"), dir.File("a.hwpx"), kMessageSamePaths);
}

TEST_F(JobPathChecks, UnknownFormsGetTheShortMessage) {
  WriteFile(dir.File("short.hml"), "<?xml v");
  ExpectRefused(dir.File("short.hml"), dir.File("out.hml"), kMessageNotADocument);
}

TEST_F(JobPathChecks, MissingSourceGetsTheShortMessage) {
  ExpectRefused(dir.File("missing.hwpx"), dir.File("out.hwpx"), kMessageNotADocument);
}

TEST_F(JobPathChecks, BinaryDocumentsGetTheAdviceToSaveAsHwpx) {
  WriteFile(dir.File("old.hwp"), "HWP Document File V3.00");
  ExpectRefused(dir.File("old.hwp"), dir.File("out.hwpx"), kMessageBinaryDocument);
  host.messages.clear();
  WriteFile(dir.File("new.hwp"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "x");
  ExpectRefused(dir.File("new.hwp"), dir.File("out.hwpx"), kMessageBinaryDocument);
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
  EXPECT_EQ(host.events.front(), "state 0");
  EXPECT_EQ(host.events.back(), "state 0");
  ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace velmora
