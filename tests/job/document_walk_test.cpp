#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "job/document_walk.h"
#include "support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(DocumentNames, DocumentsAndEarlierTargetsByTheirExtensionInAnyCase) {
  struct Row {
    const char* name;
    bool document;
    bool earlierTarget;
  };
  const Row rows[] = {
      {"report.hwpx", true, false},     {"REPORT.HWPX", true, false},
      {"notes.Hml", true, false},       {"archive.tar.hml", true, false},
      {"old.hwp", false, false},        {"notes.xml", false, false},
      {"hwpx", false, false},           {"report.hwpx.bak", false, false},
      {"report(pack).hwpx", true, true}, {"report(PACK).HML", true, true},
      {"(pack).hwpx", true, true},      {"report(pack)2.hwpx", true, false},
      {"report (pack).hwpx", true, true}, {"report(pack).hwp", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsDocumentName(row.name), row.document) << row.name;
    EXPECT_EQ(IsEarlierTarget(row.name), row.earlierTarget) << row.name;
  }
}

// A tree with documents at two depths, names in mixed case, earlier targets, other
// files, links to a document and to folders (one leading out of the tree, one back to
// its root) and an output folder inside it.
class FolderTree : public ::testing::Test {
 protected:
  FolderTree() : root_(dir_.File("archive")) {
    for (const char* folder : {"archive/2023/q1", "archive/out/made", "elsewhere"}) {
      fs::create_directories(dir_.File(folder));
    }
    for (const char* file : {"archive/a.hwpx", "archive/B.HML", "archive/a(pack).hwpx",
                             "archive/list.txt", "archive/2023/c.Hwpx", "archive/2023/q1/d.hml",
                             "archive/2023/q1/d(pack).hml", "archive/out/made/e.hwpx",
                             "elsewhere/outside.hwpx"}) {
      testing::WriteFile(dir_.File(file), "x");
    }
    fs::create_symlink(dir_.File("archive/a.hwpx"), dir_.File("archive/link.hwpx"));
    fs::create_directory_symlink(dir_.File("elsewhere"), dir_.File("archive/2023/away"));
    fs::create_directory_symlink(root_, dir_.File("archive/2023/q1/circle"));
  }

  std::vector<std::string> Found(bool recursive, const std::string& skip) const {
    std::vector<std::string> relative;
    const FolderWalk walk = FindDocuments(root_, recursive, skip);
    EXPECT_TRUE(walk.unreadable.empty());
    for (const FoundDocument& found : walk.documents) {
      EXPECT_EQ(found.path, root_ + "/" + found.relative);
      relative.push_back(found.relative);
    }
    return relative;
  }

  TempDir dir_;
  std::string root_;
};

TEST_F(FolderTree, WalksOneLevelOrAllWithoutLinksOrEarlierTargets) {
  struct Row {
    bool recursive;
    std::string skip;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {false, "", {"B.HML", "a.hwpx"}},
      {true, "", {"2023/c.Hwpx", "2023/q1/d.hml", "B.HML", "a.hwpx", "out/made/e.hwpx"}},
      // An output folder inside the tree is no source, under any spelling.
      {true, root_ + "/out", {"2023/c.Hwpx", "2023/q1/d.hml", "B.HML", "a.hwpx"}},
      {true, root_ + "/2023/../out/", {"2023/c.Hwpx", "2023/q1/d.hml", "B.HML", "a.hwpx"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Found(row.recursive, row.skip), row.expected) << row.recursive << " " << row.skip;
  }
}

TEST(FolderWalk, FolderThatCannotBeListedIsReportedNotThrown) {
  TempDir dir;
  const FolderWalk walk = FindDocuments(dir.File("vanished"), true, "");
  EXPECT_TRUE(walk.documents.empty());
  EXPECT_EQ(walk.unreadable, std::vector<std::string>{dir.File("vanished")});
}

TEST(FolderWalk, MirroredTargetKeepsTheSubFolders) {
  EXPECT_EQ(MirroredTarget("small", "2023/q1/d.hml"), "small/2023/q1/d.hml");
  EXPECT_EQ(MirroredTarget("small/", "a.hwpx"), "small/a.hwpx");
}

}  // namespace
}  // namespace velmora
