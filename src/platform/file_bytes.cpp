// Whole small files in and out of memory, through the C library on every system.

#include <cstdio>

#include "platform/platform.h"

namespace platform {

std::optional<std::string> ReadFileBytes(const std::string& path, uint64_t maxBytes) {
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    // The limit is checked before the bytes are kept: a file can grow while it is read.
    if (got > maxBytes - bytes.size()) return std::nullopt;
    bytes.append(buffer, got);
    if (got < sizeof buffer) {
      if (std::ferror(file.get()) != 0) return std::nullopt;
      return bytes;
    }
  }
}

bool WriteFileBytes(const std::string& path, std::string_view bytes) {
  UniqueFile file = OpenFile(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return std::fclose(file.release()) == 0 && written;
}

}  // namespace platform
