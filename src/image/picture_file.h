#pragma once
// Reading a picture file with its size known up front. Offsets taken from a file's
// headers can point anywhere; a position past the end reads nothing instead of
// reaching the C library, so no header value turns into a huge or failing seek.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velmora {

class PictureFile {
 public:
  // False when the file cannot be opened or measured.
  bool Open(const std::string& path);
  int64_t Size() const { return size_; }
  int64_t Tell() const { return position_; }
  int64_t Remaining() const { return size_ - position_; }
  // Moves to the position, or to the end when the position lies past it.
  void Seek(int64_t position);
  void Skip(int64_t count) { Seek(position_ + count); }
  // Reads up to count bytes; returns how many were read.
  size_t Read(void* destination, size_t count);
  bool ReadExact(void* destination, size_t count) { return Read(destination, count) == count; }

 private:
  platform::UniqueFile file_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A read-ahead buffer over a PictureFile, for decoders that take their input a byte at a
// time (run-length and LZW data).
class ReadAhead {
 public:
  static constexpr size_t kCapacity = 16383;

  void Attach(PictureFile* file);
  // Position in the file of the next byte this buffer hands out.
  int64_t Tell() const { return bufferStart_ + static_cast<int64_t>(next_); }
  void Seek(int64_t position);
  // False at the end of the file.
  bool Next(uint8_t& byte) {
    if (next_ == fill_ && !Refill()) return false;
    byte = buffer_[next_++];
    return true;
  }
  // Reads up to count bytes; returns how many were read.
  size_t Read(uint8_t* destination, size_t count);
  bool ReadExact(uint8_t* destination, size_t count) { return Read(destination, count) == count; }
  void Skip(int64_t count) { Seek(Tell() + count); }

 private:
  bool Refill();

  PictureFile* file_ = nullptr;
  int64_t bufferStart_ = 0;
  size_t fill_ = 0;
  size_t next_ = 0;
  uint8_t buffer_[kCapacity];
};

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace velmora
