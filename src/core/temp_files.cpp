#include "core/temp_files.h"

#include <cstdlib>
#include <ctime>

#include "core/text.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// Four letters from A-Z and a-z. The system's random source keeps tags of program
// instances started in the same second apart; the clock is only a fallback.
std::string MakeTag() {
  unsigned char random[4] = {};
  if (!platform::RandomBytes(random, sizeof random)) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    for (unsigned char& r : random) r = static_cast<unsigned char>(std::rand());
  }
  std::string tag;
  for (unsigned char r : random) {
    int c = r % 52;
    tag += static_cast<char>(c < 26 ? 'A' + c : 'a' + (c - 26));
  }
  return tag;
}

}  // namespace

std::string TempFiles::NormaliseFolder(const std::string& folder) {
  std::string out = folder;
  while (!out.empty() && out.back() == platform::kSeparator) out.pop_back();
  out += platform::kSeparator;
  return out;
}

TempFiles::TempFiles(bool removeAtEnd) : removeAtEnd_(removeAtEnd), tag_(MakeTag()) {
  folder_ = NormaliseFolder(platform::TempFolder());
  if (Probe()) return;
  std::string desktop = platform::DesktopFolder();
  if (!desktop.empty()) {
    folder_ = NormaliseFolder(desktop);
    if (Probe()) return;
  }
  folder_ = std::string(".") + platform::kSeparator;
}

TempFiles::TempFiles(bool removeAtEnd, std::string folder)
    : folder_(NormaliseFolder(folder)), removeAtEnd_(removeAtEnd), tag_(MakeTag()) {}

TempFiles::TempFiles(TempFiles& parent, const std::string& namedFile)
    : folder_(parent.folder_), parent_(&parent), removeAtEnd_(false), counter_(1),
      tag_(parent.tag_) {
  const size_t dot = namedFile.rfind('.');
  const size_t separator = namedFile.rfind(platform::kSeparator);
  const bool hasExtension = dot != std::string::npos &&
                            (separator == std::string::npos || dot > separator);
  stem_ = hasExtension ? namedFile.substr(0, dot) : namedFile;
}

TempFiles::~TempFiles() {
  if (!removeAtEnd_) return;
  for (const std::string& path : registered_) platform::RemoveFile(path);
}

std::vector<std::string> TempFiles::Registered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registered_;
}

bool TempFiles::Probe() {
  std::string name = NewName("tmp", true);
  // NewName has created the file when the folder is writable; removing it proves
  // that deletion works too.
  return platform::IsRegularFile(name) && platform::RemoveFile(name);
}

std::string TempFiles::NewName(const std::string& extension, bool suffix) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (;;) {
    int n = counter_++;
    std::string name =
        parent_ != nullptr
            ? Format("%s-%d.%s", stem_.c_str(), n, extension.c_str())
            : Format("%sVL_%s_%03d.%s", folder_.c_str(), tag_.c_str(), n, extension.c_str());
    if (suffix) name += "_c";
    switch (platform::CreateExclusive(name)) {
      case platform::CreateResult::kCreated:
        return name;
      case platform::CreateResult::kExists:
        continue;
      case platform::CreateResult::kFailed:
        // The folder cannot take files; the name is still free, and the caller's own
        // create fails the same way.
        if (!platform::PathExists(name) || platform::IsDirectory(name)) return name;
        continue;
    }
  }
}

void TempFiles::Register(const std::string& path) {
  if (parent_ != nullptr) {
    parent_->Register(path);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  registered_.push_back(path);
}

}  // namespace velmora
