#pragma once
// Helpers shared by the tests: temporary folders, whole-file I/O, zip packages built
// and read independently of the code under test, the shared corpus, and the log.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/picture.h"

namespace velmora::testing {

// Runs a picture reader and gives its status as the number the process log shows
// (0 complete, 1 partial, 2 unreadable, 3 unsupported); true when a picture was read.
template <typename Reader>
bool ReadWithStatus(Reader read, const std::string& path, Picture& picture, int& status) {
  const ReadStatus result = read(path, picture);
  status = static_cast<int>(result);
  return HasPicture(result);
}

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Names of the entries of a folder (not recursive), sorted.
std::vector<std::string> ListFolder(const std::string& folder);

// The shared corpus of real documents and pictures, or empty when it is absent.
std::string CorpusDir();
// Files of a corpus sub-folder with one of the extensions (lower-case, with dot),
// sorted; empty when the corpus is absent.
std::vector<std::string> CorpusFiles(const std::string& subFolder,
                                     const std::vector<std::string>& extensions);
// The cases of a parameterised corpus suite: the files of the sub-folders with the
// extensions, or one empty placeholder when the corpus is absent, so that the suite is
// still instantiated and its one case reports itself skipped (VELMORA_REQUIRE_CORPUS).
using CorpusFolder = std::pair<std::string, std::vector<std::string>>;
std::vector<std::string> CorpusCases(const std::vector<CorpusFolder>& folders);
// A test name for a corpus case: the file name with every character other than a
// letter or digit as '_'; "absent" for the placeholder.
std::string CorpusCaseName(const ::testing::TestParamInfo<std::string>& info);

#define VELMORA_REQUIRE_CORPUS()                                         \
  do {                                                                   \
    if (::velmora::testing::CorpusDir().empty()) GTEST_SKIP() << "corpus absent"; \
  } while (0)

// A zip entry as a test writes or reads it.
struct ZipItem {
  std::string name;
  std::string bytes;
  bool stored = false;  // false: deflated
  bool directory = false;
};
// Writes a zip archive with the entries in order.
void WriteZip(const std::string& path, const std::vector<ZipItem>& items);
// Reads every entry (name, bytes, stored flag, directory flag) in central-directory
// order; nullopt when the file is no readable zip.
std::optional<std::vector<ZipItem>> ReadZip(const std::string& path);

// A minimal valid HWPX package around the given manifest items and picture entries.
struct HwpxPicture {
  std::string id;          // "image1"
  std::string href;        // "BinData/image1.jpg"
  std::string mediaType;   // "image/jpg"
  std::string bytes;
  std::string isEmbeded = "1";
};
std::vector<ZipItem> MakeHwpxItems(const std::vector<HwpxPicture>& pictures);
std::string MakeManifest(const std::vector<HwpxPicture>& pictures);

// The lines of a process log (UTF-16LE with BOM, CR LF) as UTF-8 texts; the time
// stamps are kept. Fails the test when the encoding is wrong.
std::vector<std::string> ReadLogLines(const std::string& path);
// A log line without its "* [....] " time stamp; plain lines come back unchanged.
std::string WithoutStamp(const std::string& line);

// Runs a shell command; returns its exit status and standard output.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult RunCommand(const std::string& command);
// The shell quoting of a path.
std::string ShellQuote(const std::string& text);

}  // namespace velmora::testing
