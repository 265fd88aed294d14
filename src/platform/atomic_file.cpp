// The parts of AtomicFile that are the same on every system; creating the sibling
// file and moving it into place are in the system's own file.

#include <vector>

#include "platform/platform.h"

namespace platform {

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Write(const void* data, size_t length) {
  if (!file_ || failed_) return false;
  if (length > 0 && std::fwrite(data, 1, length, file_.get()) != length) failed_ = true;
  return !failed_;
}

void AtomicFile::Discard() {
  if (file_) file_.reset();
  if (!temporaryPath_.empty()) {
    RemoveFile(temporaryPath_);
    temporaryPath_.clear();
  }
}

bool CopyFileAtomically(const std::string& from, const std::string& to) {
  UniqueFile in = OpenFile(from, "rb");
  if (!in) return false;
  AtomicFile out;
  if (!out.Open(to)) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got > 0 && !out.Write(buffer.data(), got)) return false;
    if (got < buffer.size()) {
      if (std::ferror(in.get()) != 0) return false;
      break;
    }
  }
  return out.Commit();
}

}  // namespace platform
