#pragma once
// Writes the target package: every entry of the source in its order, each copied as
// stored, compressed again more strongly, or replaced by new content. The content of
// an entry that is not replaced never changes; only the way it is stored may.

#include <cstdint>
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

// Writes the entries into target (beside it, renamed into place when whole; a new
// target takes the permissions of modeSource, as far as the user's default for new
// files allows). Entries are compressed again on the pool. A stop request ends the
// write with nothing written. Entries larger than this are copied as stored:
// compressing them needs them whole in memory.
inline constexpr uint64_t kMaxRecompressedEntry = 256ull << 20;
PackageWriteResult WritePackage(const ZipArchive& source, const std::vector<EntryPlan>& plans,
                                const std::string& target, WorkerPool& pool,
                                const std::string& modeSource = {});

// The smallest stored form of content: deflated at the strongest level, or stored when
// that is not smaller. Fills method, crc, sizes of the header; nothing when memory is
// short.
std::optional<std::string> StoredForm(const std::string& content, ZipEntryHeader& header);

}  // namespace velmora
