#pragma once
// Writes a zip archive entry by entry into a file that appears only when complete.
// Each entry's data arrives already in its stored form (stored or deflated), so that
// entries can be copied from another archive without being decompressed and
// compressed again, and new ones compressed by the strongest deflate at hand. Zip64
// records are written where sizes, offsets or the number of entries need them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velmora {

inline constexpr uint16_t kZipStored = 0;
inline constexpr uint16_t kZipDeflated = 8;

// What the directories of an archive say of one entry.
struct ZipEntryHeader {
  std::string name;  // the bytes as stored in the archive
  uint16_t method = kZipStored;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0x21;  // 1980-01-01
  uint16_t madeBy = 20;     // high byte: the system whose attributes these are
  uint32_t externalAttributes = 0;
  uint16_t internalAttributes = 0;
  std::string comment;
};

class ZipWriter {
 public:
  // The archive is written into out, which the caller opened and commits.
  explicit ZipWriter(platform::AtomicFile& out) : out_(out) {}

  // An entry whose data (compressedSize bytes in its stored form) follows in pieces:
  // Begin, then Data until the size is reached. False when the file refuses bytes.
  bool Begin(const ZipEntryHeader& header);
  bool Data(std::string_view bytes);
  // An entry whose whole data is at hand.
  bool Add(const ZipEntryHeader& header, std::string_view data) {
    return Begin(header) && Data(data);
  }
  // Writes the central directory and its end records, with the archive comment.
  bool Finish(const std::string& comment);
  // True once the file refused bytes (a full disk, a failing device).
  bool Refused() const { return refused_; }

  uint64_t Written() const { return offset_; }

 private:
  struct Placed {
    ZipEntryHeader header;
    uint64_t offset;
  };
  bool Put(std::string_view bytes);

  platform::AtomicFile& out_;
  uint64_t offset_ = 0;
  uint64_t pending_ = 0;  // data bytes the current entry still expects
  bool refused_ = false;
  std::vector<Placed> entries_;
};

// The DOS date and time of a moment (local time, two-second steps), as zip stores
// them; 1980-01-01 00:00 for moments before 1980.
void ToDosTime(int64_t secondsSinceEpoch, uint16_t& dosTime, uint16_t& dosDate);

}  // namespace velmora
