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

bool CopyFileAtomically(const std::string& from, const std::string& to,
                        const std::string& modeSource) {
  UniqueFile in = OpenFile(from, "rb");
  if (!in) return false;
  AtomicFile out;
  if (!out.Open(to, modeSource)) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    // A stopped job leaves no target: the destructor removes the sibling.
    if (StopRequested()) return false;
    size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got > 0 && !out.Write(buffer.data(), got)) return false;
    if (got < buffer.size()) {
      if (std::ferror(in.get()) != 0) return false;
      break;
    }
  }
  return out.Commit();
}

std::string SiblingName(const std::string& base, const std::string& suffix, size_t maxBytes) {
  const size_t fixed = 1 + suffix.size();
  size_t keep = base.size();
  if (fixed + keep > maxBytes) {
    keep = maxBytes > fixed ? maxBytes - fixed : 0;
    // Back to the start of a UTF-8 sequence, so that the name stays valid text.
    while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
  }
  // Appended piece by piece: GCC 12 warns (wrongly) about "." + std::string.
  std::string name;
  name.reserve(fixed + keep);
  name += '.';
  name.append(base, 0, keep);
  name += suffix;
  return name;
}

}  // namespace platform
