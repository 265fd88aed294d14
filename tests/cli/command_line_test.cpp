#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/command_line.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using cli::ParseCommandLine;
using testing::TempDir;

struct ParseCase {
  std::vector<std::string> arguments;
  int rule;
  unsigned quality;
  std::string background;
  bool keep;
  bool optimisers;
  std::vector<std::string> sources;
  std::string target;
  unsigned toolSeconds = ShrinkOptions::kDefaultToolSecondsPerMegapixel;
  unsigned memoryMiB = ShrinkOptions::kDefaultMemoryBudgetMiB;
  bool classic = false;
  int ppi = 0;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.arguments); }

constexpr unsigned kTool = ShrinkOptions::kDefaultToolSecondsPerMegapixel;
constexpr unsigned kMiB = ShrinkOptions::kDefaultMemoryBudgetMiB;

class ParseOptionsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptionsTest, FillsTheOptionSet) {
  cli::ParseResult result = ParseCommandLine(GetParam().arguments);
  ASSERT_TRUE(result.commandLine) << result.error;
  const cli::CommandLine& line = *result.commandLine;
  EXPECT_EQ(static_cast<int>(line.options.conversionRule), GetParam().rule);
  EXPECT_EQ(line.options.jpegQuality, GetParam().quality);
  EXPECT_EQ(line.options.backgroundText, GetParam().background);
  EXPECT_EQ(line.options.keepTempFiles, GetParam().keep);
  EXPECT_EQ(line.options.extraOptimisers, GetParam().optimisers);
  EXPECT_EQ(line.sources, GetParam().sources);
  EXPECT_EQ(line.target.value_or(""), GetParam().target);
  EXPECT_EQ(line.options.toolSecondsPerMegapixel, GetParam().toolSeconds);
  EXPECT_EQ(line.options.memoryBudgetMiB, GetParam().memoryMiB);
  EXPECT_EQ(line.options.classic, GetParam().classic);
  EXPECT_EQ(line.options.ppi, GetParam().ppi);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseOptionsTest,
    ::testing::Values(
        ParseCase{{"a.hwpx"}, 0, 90, "FFFFFF", false, true, {"a.hwpx"}, ""},
        ParseCase{{"-r", "jpeg", "a.hwpx", "-q", "75", "b.hml"}, 1, 75, "FFFFFF", false, true,
                  {"a.hwpx", "b.hml"}, ""},
        ParseCase{{"--rule=2", "--quality=0", "--background=a0B1c2", "--keep-temp",
                   "--no-optimisers", "a", "--output", "b"},
                  2, 0, "a0B1c2", true, false, {"a"}, "b"},
        ParseCase{{"-kq50", "-rPNGQUANT", "-oout.hwpx", "in.hwpx"}, 2, 50, "FFFFFF", true, true,
                  {"in.hwpx"}, "out.hwpx"},
        ParseCase{{"-q", "100", "--", "-k", "--rule=1"}, 0, 100, "FFFFFF", false, true,
                  {"-k", "--rule=1"}, ""},
        ParseCase{{"--classic", "a"}, 0, 90, "FFFFFF", false, true, {"a"}, "", kTool, kMiB, true},
        // A lone "-" is a source like any other name.
        ParseCase{{"-b", "00ff00", "-"}, 0, 90, "00ff00", false, true, {"-"}, ""},
        // Printing densities at both ends of the range, in both forms.
        ParseCase{{"--ppi", "96", "a"}, 0, 90, "FFFFFF", false, true, {"a"}, "", kTool, kMiB,
                  false, 96},
        ParseCase{{"a", "--ppi=600"}, 0, 90, "FFFFFF", false, true, {"a"}, "", kTool, kMiB, false,
                  600},
        ParseCase{{"--ppi=150", "-q80", "--classic", "a"}, 0, 80, "FFFFFF", false, true, {"a"}, "",
                  kTool, kMiB, true, 150},
        // The two budgets, at their bounds.
        ParseCase{{"--tool-time", "0", "--memory-limit=16", "a"}, 0, 90, "FFFFFF", false, true,
                  {"a"}, "", 0, 16},
        ParseCase{{"--tool-time=3600", "--memory-limit", "1048576", "a"}, 0, 90, "FFFFFF", false,
                  true, {"a"}, "", 3600, 1048576}));

TEST(ParseCommandLine, FolderReportAndDryRunOptions) {
  struct Row {
    std::vector<std::string> arguments;
    bool recursive, force, dryRun;
    std::string outputFolder, report;
  };
  const Row rows[] = {
      {{"dir"}, false, false, false, "", ""},
      {{"-Rfn", "-O", "out", "--report", "r.json", "dir"}, true, true, true, "out", "r.json"},
      {{"--recursive", "--force", "--dry-run", "--output-dir=out", "--report=-", "a", "b"},
       true, true, true, "out", "-"},
      {{"-Oout", "dir"}, false, false, false, "out", ""},
  };
  for (const Row& row : rows) {
    cli::ParseResult result = ParseCommandLine(row.arguments);
    ASSERT_TRUE(result.commandLine) << result.error;
    const cli::CommandLine& line = *result.commandLine;
    EXPECT_EQ(line.recursive, row.recursive);
    EXPECT_EQ(line.force, row.force);
    EXPECT_EQ(line.options.dryRun, row.dryRun);
    EXPECT_EQ(line.outputFolder.value_or(""), row.outputFolder);
    EXPECT_EQ(line.report.value_or(""), row.report);
  }
}

TEST(ParseCommandLine, UsageErrorsAreRefusedWithAHint) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--keep-temp"},
      {"-q", "9x", "a"},
      {"-q", "-5", "a"},
      {"-q", "+5", "a"},
      {"-q", "", "a"},
      // Qualities beyond 100 and colours that are not six hexadecimal digits.
      {"-q", "101", "a"},
      {"-q", "999999999", "a"},
      {"-b", "GGGGGG", "a"},
      {"-b", "#123", "a"},
      {"-b", "FFFFFF0", "a"},
      {"--rule", "gif", "a"},
      // Budgets outside their bounds or not whole numbers.
      {"--tool-time", "3601", "a"},
      {"--tool-time", "-1", "a"},
      {"--memory-limit", "15", "a"},
      {"--memory-limit", "1048577", "a"},
      {"--memory-limit", "512M", "a"},
      {"--bogus", "a"},
      {"-z", "a"},
      {"a", "b", "-o", "c"},
      {"a", "-o"},
      {"--keep-temp=yes", "a"},
      {"-o", "x", "-o", "y", "a"},
      {"  "},
      // Densities outside 96..600, or not a whole number.
      {"--ppi", "95", "a"},
      {"--ppi", "601", "a"},
      {"--ppi=0", "a"},
      {"--ppi", "150dpi", "a"},
      {"--ppi", "", "a"},
      {"--ppi", "999999999", "a"},
      {"a", "--ppi"},
      {"-o", "x", "-O", "y", "a"},
      {"-O", "x", "--output-dir=y", "a"},
      {"--report", "r.json", "--report=-", "a"},
      {"--report=", "a"},
      {"-O", "", "a"},
      {"--dry-run=yes", "a"},
  };
  for (const auto& arguments : bad) {
    cli::ParseResult result = ParseCommandLine(arguments);
    EXPECT_FALSE(result.commandLine) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
  }
  EXPECT_EQ(ParseCommandLine({"--ppi", "601", "a"}).error,
            "invalid ppi '601' (a whole number from 96 to 600)");
}

// Runs the real program; returns its exit status with standard output and error.
struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunProgram(const std::string& arguments) {
  TempDir dir;
  std::string command = testing::ShellQuote(VELMORA_CLI_PATH) + " " + arguments +
                        " 2>" + testing::ShellQuote(dir.File("err")) + " </dev/null";
  testing::CommandResult result = testing::RunCommand(command);
  return {result.status, result.out, testing::ReadFile(dir.File("err"))};
}

TEST(CommandLineProgram, ExitStatusAndStreams) {
  TempDir dir;
  testing::WriteZip(dir.File("doc.hwpx"), testing::MakeHwpxItems({}));
  testing::WriteFile(dir.File("old.hwp"), "HWP Document File");

  Outcome usage = RunProgram("-q abc " + testing::ShellQuote(dir.File("doc.hwpx")));
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.out.empty());
  EXPECT_EQ(usage.err,
            "velmora: invalid quality 'abc' (a whole number from 0 to 100) (see 'velmora --help')\n");
  EXPECT_FALSE(testing::FileExists(dir.File("doc(pack).hwpx")));

  Outcome good = RunProgram(testing::ShellQuote(dir.File("doc.hwpx")));
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out.rfind("작업 완료: ", 0), 0u) << good.out;
  EXPECT_TRUE(good.err.empty()) << good.err;  // no terminal: no progress bar
  EXPECT_TRUE(testing::FileExists(dir.File("doc(pack).hwpx")));

  // One failing job among several makes the status 1; the others still run, and each
  // message says whose it is. The target of the first run is replaced as asked.
  Outcome mixed = RunProgram("--force " + testing::ShellQuote(dir.File("old.hwp")) + " " +
                             testing::ShellQuote(dir.File("doc.hwpx")));
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.err, dir.File("old.hwp") +
                           ": 한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!\n(HWP 파일은 HWPX로 "
                           "다시 저장하기 바랍니다)\n");
  EXPECT_EQ(mixed.out.rfind(dir.File("doc.hwpx") + ": 작업 완료: ", 0), 0u) << mixed.out;
}

TEST(CommandLineProgram, KeepTempPrintsTheLogPath) {
  TempDir dir;
  TempDir tmp;
  testing::WriteZip(dir.File("doc.hwpx"), testing::MakeHwpxItems({}));
  testing::CommandResult result = testing::RunCommand(
      "TMPDIR=" + testing::ShellQuote(tmp.path()) + " " +
      testing::ShellQuote(VELMORA_CLI_PATH) + " -k " +
      testing::ShellQuote(dir.File("doc.hwpx")) + " -o " + testing::ShellQuote(dir.File("x.hwpx")));
  ASSERT_EQ(result.status, 0);
  size_t at = result.out.find("\nlog: ");
  ASSERT_NE(at, std::string::npos) << result.out;
  std::string path = result.out.substr(at + 6);
  path.pop_back();  // line end
  EXPECT_EQ(path.rfind(tmp.path() + "/VL_", 0), 0u) << path;
  EXPECT_TRUE(testing::FileExists(path));
}

TEST(CommandLineProgram, HelpAndVersion) {
  Outcome help = RunProgram("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--no-optimisers"), std::string::npos);
  EXPECT_NE(help.out.find("--ppi N"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  Outcome version = RunProgram("-V");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("velmora ", 0), 0u);
  EXPECT_NE(version.out.find("JPEG: "), std::string::npos);
}

}  // namespace
}  // namespace velmora
