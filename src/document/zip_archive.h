#pragma once
// A thin owner of a libzip archive opened for update. Changes are collected and
// written by Close; an archive that is destroyed without Close is discarded, so an
// early return never writes a half-changed package.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct zip;
struct zip_source;

namespace velmora {

struct ZipEntry {
  std::string name;
  int64_t index = -1;
  uint64_t size = 0;  // uncompressed
  int64_t mtime = 0;  // seconds since the epoch, as the archive holds it
  bool IsFile() const { return name.empty() || name.back() != '/'; }
};

class ZipArchive {
 public:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens an existing archive for modification; false when it is not a zip archive.
  bool OpenForUpdate(const std::string& path);
  int64_t EntryCount() const;
  std::optional<ZipEntry> Find(const std::string& name, bool ignoreCase) const;
  // The entry at an index from 0 to EntryCount() - 1; nothing for a deleted one.
  std::optional<ZipEntry> EntryAt(int64_t index) const;
  // Hands the entry's bytes to consume in pieces of at most 64 KiB. False when the
  // entry is larger than maxBytes or cannot be read whole, or consume returned false.
  bool ReadInPieces(const ZipEntry& entry, uint64_t maxBytes,
                    const std::function<bool(std::string_view)>& consume) const;
  // The entry's bytes, exactly its size; nullopt when fewer can be read or the entry
  // is larger than maxBytes (an archive can claim any size for an entry).
  std::optional<std::string> ReadWhole(const ZipEntry& entry, uint64_t maxBytes) const;
  // Writes the entry's bytes into a file; false (and an empty file) when the entry
  // cannot be read whole or is larger than maxBytes.
  bool ExtractToFile(const ZipEntry& entry, const std::string& path, uint64_t maxBytes) const;
  bool Delete(const ZipEntry& entry);
  // Adds an entry whose data is read from the file when the archive is closed,
  // replacing an entry of the same name in its place. The entry, and any folder
  // entry made for it, carries the given time: a target then depends on the
  // document alone, not on when it was written.
  bool AddFile(const std::string& name, const std::string& path, int64_t mtime);
  // The same from memory; the caller keeps the bytes alive until Close.
  bool AddData(const std::string& name, const void* data, size_t length, int64_t mtime);
  // Writes the archive with every change. False when writing failed.
  bool Close();

 private:
  bool AddDirectoryPrefixes(const std::string& name, int64_t mtime);
  bool AddSource(const std::string& name, zip_source* source, int64_t mtime);

  zip* archive_ = nullptr;
};

}  // namespace velmora
