#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ShellQuote;
using testing::TempDir;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Every file and link below the folder with its bytes (a link: where it points).
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) {
      files[relative] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      files[relative] = testing::ReadFile(entry.path().string());
    }
  }
  return files;
}

// Documents in a tree: two good packages at two depths, an earlier target, a link to
// a document, and a file that is no document; every run works in its own TMPDIR.
class FolderRuns : public ::testing::Test {
 protected:
  FolderRuns() : tree_(dir_.File("tree")), out_(dir_.File("out")), tmp_(dir_.File("tmp")) {
    fs::create_directories(tree_ + "/sub/deeper");
    fs::create_directories(tmp_);
    testing::WriteZip(tree_ + "/a.hwpx", testing::MakeHwpxItems({}));
    testing::WriteZip(tree_ + "/sub/deeper/B.HWPX", testing::MakeHwpxItems({}));
    testing::WriteFile(tree_ + "/sub/c(pack).hwpx", "an earlier target");
    testing::WriteFile(tree_ + "/notes.txt", "no document");
    fs::create_symlink(tree_ + "/a.hwpx", tree_ + "/sub/link.hwpx");
  }

  Outcome Run(const std::string& arguments) {
    const std::string command = "TMPDIR=" + ShellQuote(tmp_) + " " +
                                ShellQuote(VELMORA_CLI_PATH) + " " + arguments + " 2>" +
                                ShellQuote(dir_.File("err")) + " </dev/null";
    const testing::CommandResult result = testing::RunCommand(command);
    return {result.status, result.out, testing::ReadFile(dir_.File("err"))};
  }

  std::vector<std::string> Written(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(folder)) {
      if (before_.count(name) == 0 || before_[name] != bytes) names.push_back(name);
    }
    return names;
  }

  TempDir dir_;
  std::string tree_, out_, tmp_;
  std::map<std::string, std::string> before_;
};

TEST_F(FolderRuns, TargetsGoBesideTheirSourcesOrMirroredIntoTheOutputFolder) {
  struct Row {
    std::string arguments;
    std::string folder;  // where the targets appear
    std::vector<std::string> targets;
  };
  const Row rows[] = {
      {"", tree_, {"a(pack).hwpx"}},
      {"-R", tree_, {"a(pack).hwpx", "sub/deeper/B(pack).hwpx"}},
      {"--recursive -O " + ShellQuote(out_), out_, {"a.hwpx", "sub/deeper/B.HWPX"}},
      // A document named directly goes into the output folder itself.
      {"-O " + ShellQuote(out_) + " " + ShellQuote(tree_ + "/sub/deeper/B.HWPX"), out_,
       {"B.HWPX"}},
  };
  for (const Row& row : rows) {
    fs::remove_all(out_);
    for (const char* earlier : {"a(pack).hwpx", "sub/deeper/B(pack).hwpx"}) {
      fs::remove(tree_ + "/" + earlier);
    }
    before_ = Snapshot(row.folder);
    const std::string sources = row.arguments.find("B.HWPX") == std::string::npos
                                    ? " " + ShellQuote(tree_)
                                    : std::string();
    const Outcome run = Run(row.arguments + sources);
    EXPECT_EQ(run.status, 0) << row.arguments << "\n" << run.err;
    EXPECT_EQ(Written(row.folder), row.targets) << row.arguments;
    EXPECT_EQ(testing::ListFolder(tmp_), std::vector<std::string>{}) << row.arguments;
  }
}

TEST_F(FolderRuns, FailingDocumentDoesNotStopTheOthers) {
  testing::WriteFile(tree_ + "/sub/broken.hwpx", "PK\x03\x04 but no archive");
  before_ = Snapshot(out_);
  const Outcome run = Run("-R -O " + ShellQuote(out_) + " " + ShellQuote(tree_));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Written(out_), (std::vector<std::string>{"a.hwpx", "sub/deeper/B.HWPX"}));
  // Several documents: each message says whose it is.
  EXPECT_NE(run.err.find(tree_ + "/sub/broken.hwpx: "), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(tree_ + "/a.hwpx: 작업 완료: "), std::string::npos) << run.out;
}

TEST_F(FolderRuns, ExistingTargetsAreReplacedOnlyWhenAskedFor) {
  struct Row {
    std::string arguments;
    std::string target;
    bool replaced;
  };
  const std::string source = ShellQuote(tree_ + "/a.hwpx");
  const Row rows[] = {
      {source, tree_ + "/a(pack).hwpx", false},
      {"--force " + source, tree_ + "/a(pack).hwpx", true},
      {"-O " + ShellQuote(out_) + " " + ShellQuote(tree_), out_ + "/a.hwpx", false},
      {"-f -O " + ShellQuote(out_) + " " + ShellQuote(tree_), out_ + "/a.hwpx", true},
      // An explicit target is replaced as it always was.
      {source + " -o " + ShellQuote(dir_.File("named.hwpx")), dir_.File("named.hwpx"), true},
  };
  for (const Row& row : rows) {
    fs::create_directories(out_);
    testing::WriteFile(row.target, "an older target");
    const Outcome run = Run(row.arguments);
    EXPECT_EQ(run.status, 0) << row.arguments << "\n" << run.err;
    EXPECT_EQ(testing::ReadFile(row.target) != "an older target", row.replaced) << row.arguments;
    EXPECT_EQ(run.err.find("left alone (--force replaces it)") != std::string::npos, !row.replaced)
        << row.arguments << "\n" << run.err;
  }
}

TEST_F(FolderRuns, TargetsThatWouldOverwriteASourceOrEachOtherAreRefused) {
  fs::create_directories(dir_.File("other"));
  testing::WriteZip(dir_.File("other/a.hwpx"), testing::MakeHwpxItems({}));
  const std::map<std::string, std::string> tree = Snapshot(tree_);
  const Outcome twice = Run("-O " + ShellQuote(out_) + " " + ShellQuote(tree_ + "/a.hwpx") + " " +
                            ShellQuote(dir_.File("other/a.hwpx")));
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("another source of this run has the same target"), std::string::npos);
  EXPECT_TRUE(fs::exists(out_ + "/a.hwpx"));

  const Outcome intoItself = Run("--force -O " + ShellQuote(tree_) + " " + ShellQuote(tree_));
  EXPECT_EQ(intoItself.status, 1);
  EXPECT_NE(intoItself.err.find("is a source of this run"), std::string::npos) << intoItself.err;
  EXPECT_EQ(Snapshot(tree_), tree);
}

TEST_F(FolderRuns, DryRunWritesNothingAndSaysWhatItWouldSave) {
  const std::map<std::string, std::string> before = Snapshot(dir_.path());
  for (const std::string& arguments :
       {std::string("-n -R"), "--dry-run -R -O " + ShellQuote(out_)}) {
    const Outcome run = Run(arguments + " " + ShellQuote(tree_));
    EXPECT_EQ(run.status, 0) << arguments << "\n" << run.err;
    EXPECT_NE(run.out.find("dry run, nothing written: 2 document(s), "), std::string::npos)
        << run.out;
    std::map<std::string, std::string> after = Snapshot(dir_.path());
    after.erase("err");
    EXPECT_EQ(after, before) << arguments;
  }
}

TEST_F(FolderRuns, FolderWithOutputToOneTargetIsAUsageError) {
  const Outcome run = Run(ShellQuote(tree_) + " -o " + ShellQuote(dir_.File("x.hwpx")));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "velmora: --output needs exactly one source document (see 'velmora --help')\n");
}

}  // namespace
}  // namespace velmora
