#pragma once
// A thin owner of a libzip archive opened for update. Changes are collected and
// written by Close; an archive that is destroyed without Close is discarded, so an
// early return never writes a half-changed package.

#include <cstdint>
#include <optional>
#include <string>

struct zip;

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
  // The entry's bytes, exactly its size; nullopt when fewer can be read or the entry
  // is larger than maxBytes (an archive can claim any size for an entry).
  std::optional<std::string> ReadWhole(const ZipEntry& entry, uint64_t maxBytes) const;
  // Writes the entry's bytes into a file; false (and an empty file) when the entry
  // cannot be read whole or is larger than maxBytes.
  bool ExtractToFile(const ZipEntry& entry, const std::string& path, uint64_t maxBytes) const;
  // The first entry name that the archive holds more than once (byte for byte);
  // nothing when every name is unique. Readers disagree on which of two such entries
  // they take, so a package with one cannot be rewritten faithfully.
  std::optional<std::string> RepeatedName() const;
  bool Delete(const ZipEntry& entry);

  // Adds an entry written by this program, whose data is read when the archive is
  // closed, replacing an entry of the same name in its place, so that it looks like
  // the entries it joins: the external attributes (permission bits and
  // the system that made them) and the time of model, and deflated only when
  // deflating makes it smaller, stored otherwise. Folder entries, with the same time,
  // are added for its folders only when the archive has folder entries already. The data comes from the file, or from
  // memory that the caller keeps alive until Close.
  bool AddFileLike(const std::string& name, const std::string& path, const ZipEntry& model);
  bool AddDataLike(const std::string& name, const void* data, size_t length,
                   const ZipEntry& model);

  // Writes the archive with every change. False when writing failed, and when the
  // process's stop request arrived while it was written.
  bool Close();

 private:
  bool AddDirectoryPrefixes(const std::string& name, int64_t mtime);
  bool UsesFolderEntries() const;
  // Gives the entry at index the model's attributes and the cheaper of storing and
  // deflating its uncompressedBytes / deflatedBytes.
  bool MatchEntry(int64_t index, const ZipEntry& model, uint64_t uncompressedBytes,
                  uint64_t deflatedBytes);

  zip* archive_ = nullptr;
};

}  // namespace velmora
