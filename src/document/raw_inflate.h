#pragma once
// Raw deflate data (no zlib or gzip header), as HWPML documents store compressed
// items, inflated from one file into another in fixed-size chunks.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace velmora {

enum class InflateStatus {
  kOk,
  kFileError,       // a file could not be read or written
  kDataError,       // not a raw deflate stream, or it ends before its last block
  kMemoryError,     // the inflater could not be made
  kOutputTooLarge,  // more than the limit would come out
};

// Inflates one raw stream from a file into another in fixed-size chunks, so that
// memory does not grow with the item.
class RawInflater {
 public:
  RawInflater();
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;

  // More than maxOutput bytes stop with kOutputTooLarge: a few kilobytes of deflate
  // data can claim gigabytes.
  InflateStatus Inflate(std::FILE* input, std::FILE* output, int64_t maxOutput);

  static constexpr size_t kChunkBytes = 16384;

 private:
  std::unique_ptr<unsigned char[]> in_;
  std::unique_ptr<unsigned char[]> out_;
};

// Largest inflated item accepted: item sizes are 32-bit numbers in the rest of the
// program.
constexpr int64_t kMaxInflatedBytes = 0x7FFFFFFF;

// True when source (at least 10 bytes) held a complete raw deflate stream that
// inflated to a non-empty target. The target of a failed inflation may hold partial
// output; it belongs to the caller's temporary files.
bool InflateFile(const std::string& source, const std::string& target,
                 int64_t maxOutput = kMaxInflatedBytes);

}  // namespace velmora
