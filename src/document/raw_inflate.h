#pragma once
// Raw deflate data (no zlib or gzip header), as HWPML documents store compressed
// items, inflated from one file into another in fixed-size chunks.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace velmora {

class CMyZlib {
 public:
  CMyZlib();
  virtual ~CMyZlib() = default;
  CMyZlib(const CMyZlib&) = delete;
  CMyZlib& operator=(const CMyZlib&) = delete;

  // Status codes of Inflate: zlib's own, plus one for output beyond the limit.
  static constexpr int kOk = 0;
  static constexpr int kFileError = -1;
  static constexpr int kDataError = -3;
  static constexpr int kMemoryError = -4;
  static constexpr int kOutputTooLarge = -100;

  // Inflates one raw stream from input into output. kDataError also when the input
  // ends before the stream does. More than maxOutput bytes stop with kOutputTooLarge:
  // a few kilobytes of deflate data can claim gigabytes.
  int Inflate(std::FILE* input, std::FILE* output, int64_t maxOutput);

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
