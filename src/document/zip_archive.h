#pragma once
// A thin owner of a libzip archive opened for reading: its entries, their contents,
// and their data as stored (still compressed), to be copied into another archive
// without being decompressed and compressed again.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/zip_writer.h"

struct zip;

namespace velmora {

struct ZipEntry {
  std::string name;
  int64_t index = -1;
  uint64_t size = 0;  // uncompressed
  int64_t mtime = 0;  // seconds since the epoch, as the archive holds it
  bool IsFile() const { return name.empty() || name.back() != '/'; }
};

// Everything the archive's directory says of an entry, as another archive would say it.
struct StoredEntry {
  int64_t index = -1;
  ZipEntryHeader header;
  bool encrypted = false;
};

class ZipArchive {
 public:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens an archive for reading; false when it is not a zip archive.
  bool Open(const std::string& path);
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
  // Every entry in the order of the archive's directory; nothing when the directory
  // cannot be read whole.
  std::optional<std::vector<StoredEntry>> Entries() const;
  // The archive's comment, as stored.
  std::string Comment() const;
  // Hands the entry's data as stored (compressedSize bytes) to sink in pieces; false
  // when it cannot be read whole or sink refuses a piece.
  bool ReadStored(const StoredEntry& entry,
                  const std::function<bool(std::string_view)>& sink) const;
  // Hands the entry's bytes, decompressed (header.size bytes), to sink in pieces of at
  // most 64 KiB; false when the entry is larger than maxBytes, cannot be read whole, or
  // sink refuses a piece.
  bool ReadInPieces(const StoredEntry& entry, uint64_t maxBytes,
                    const std::function<bool(std::string_view)>& sink) const;

 private:
  // length bytes of the entry at index, decompressed or as stored, to sink in pieces.
  bool ReadPieces(int64_t index, uint64_t length, bool asStored,
                  const std::function<bool(std::string_view)>& sink) const;

  zip* archive_ = nullptr;
};

}  // namespace velmora
