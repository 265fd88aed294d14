#pragma once
// Writes the target package: every entry of the source in its order, each copied as
// stored, compressed again more strongly, or replaced by new content. The content of
// an entry that is not replaced never changes; only the way it is stored may.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/worker_pool.h"
#include "document/zip_archive.h"

namespace velmora {

// What becomes of one entry of the source.
struct EntryPlan {
  enum class Change {
    kCopy,        // its stored bytes as they are
    kRecompress,  // its content, stored or deflated at the strongest level when smaller
    kReplace,     // new content from a file (and maybe a new name)
  };
  StoredEntry source;
  Change change = Change::kCopy;
  std::string name;         // kReplace: the entry's name in the target
  std::string contentPath;  // kReplace: the new content
  std::string contentBytes; // kReplace without a path: the new content itself
};

struct PackageWriteResult {
  bool written = false;
  bool targetRefused = false;  // the target's place took no file, or not all of it
  int recompressed = 0;      // entries stored smaller than in the source
  int64_t bytesSaved = 0;    // by those entries
};

// Entries compressed ahead of the write, on the pool while the pictures are processed:
// an entry whose content certainly stays (no picture, not the manifest) need not wait
// for the slowest picture. Each is compressed exactly as the write would compress it.
// Their content and stored forms are held until the write, so the entries taken are
// bounded by bytes.
class EntriesCompressedAhead {
 public:
  EntriesCompressedAhead();
  ~EntriesCompressedAhead();
  EntriesCompressedAhead(const EntriesCompressedAhead&) = delete;
  EntriesCompressedAhead& operator=(const EntriesCompressedAhead&) = delete;

  // Reads the entry on this thread (the archive is no place for two threads) and
  // queues its compression on batch; false when it is not taken (too large, past the
  // bound, encrypted or unreadable), and the write then compresses it itself.
  bool Add(const ZipArchive& source, const StoredEntry& entry, WorkerPool::Batch& batch);

  // What the entry's batch made of it, or nothing when it was not taken.
  struct Entry;
  Entry* Find(int64_t index) const;

 private:
  // By the entry's index in the source; owned one by one, so that the references the
  // queued tasks hold stay put.
  std::map<int64_t, std::unique_ptr<Entry>> byIndex_;
  uint64_t bytes_ = 0;
};

// Writes the entries into target (beside it, renamed into place when whole; a new
// target takes the permissions of modeSource, as far as the user's default for new
// files allows). Entries are compressed again on the pool. A stop request ends the
// write with nothing written. Entries larger than this are copied as stored:
// compressing them needs them whole in memory. An entry to be compressed again that
// ahead holds (its batch ended) is taken from there.
inline constexpr uint64_t kMaxRecompressedEntry = 256ull << 20;
PackageWriteResult WritePackage(const ZipArchive& source, const std::vector<EntryPlan>& plans,
                                const std::string& target, WorkerPool& pool,
                                const std::string& modeSource = {},
                                EntriesCompressedAhead* ahead = nullptr);

// The smallest stored form of content: deflated at the strongest level, or stored when
// that is not smaller. Fills method, crc, sizes of the header; nothing when memory is
// short.
std::optional<std::string> StoredForm(const std::string& content, ZipEntryHeader& header);

}  // namespace velmora
