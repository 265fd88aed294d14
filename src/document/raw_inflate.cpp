#include "document/raw_inflate.h"

#include <zlib.h>

#include "platform/platform.h"

namespace velmora {

namespace {

// Owner of an initialised inflater: every way out of Inflate ends it.
class InflaterOwner {
 public:
  InflaterOwner() = default;
  ~InflaterOwner() {
    if (initialised_) inflateEnd(&stream_);
  }
  InflaterOwner(const InflaterOwner&) = delete;
  InflaterOwner& operator=(const InflaterOwner&) = delete;

  // Raw deflate: negative window bits mean no header and no check value.
  int InitRaw() {
    int status = inflateInit2(&stream_, -MAX_WBITS);
    initialised_ = status == Z_OK;
    return status;
  }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool initialised_ = false;
};

}  // namespace

RawInflater::RawInflater()
    : in_(std::make_unique<unsigned char[]>(kChunkBytes)),
      out_(std::make_unique<unsigned char[]>(kChunkBytes)) {}

InflateStatus RawInflater::Inflate(std::FILE* input, std::FILE* output, int64_t maxOutput) {
  if (input == nullptr || output == nullptr) return InflateStatus::kFileError;
  InflaterOwner inflater;
  if (inflater.InitRaw() != Z_OK) return InflateStatus::kMemoryError;
  z_stream& stream = inflater.stream();
  int64_t written = 0;
  int status = Z_OK;
  do {
    stream.avail_in = static_cast<uInt>(std::fread(in_.get(), 1, kChunkBytes, input));
    if (std::ferror(input) != 0) return InflateStatus::kFileError;
    if (stream.avail_in == 0) break;
    stream.next_in = in_.get();
    do {
      stream.avail_out = static_cast<uInt>(kChunkBytes);
      stream.next_out = out_.get();
      status = inflate(&stream, Z_NO_FLUSH);
      if (status == Z_NEED_DICT || status == Z_DATA_ERROR) return InflateStatus::kDataError;
      if (status == Z_MEM_ERROR) return InflateStatus::kMemoryError;
      const size_t have = kChunkBytes - stream.avail_out;
      written += static_cast<int64_t>(have);
      if (written > maxOutput) return InflateStatus::kOutputTooLarge;
      if (have > 0 && std::fwrite(out_.get(), 1, have, output) != have) {
        return InflateStatus::kFileError;
      }
    } while (stream.avail_out == 0);
  } while (status != Z_STREAM_END);
  return status == Z_STREAM_END ? InflateStatus::kOk : InflateStatus::kDataError;
}

bool InflateFile(const std::string& source, const std::string& target, int64_t maxOutput) {
  // Fewer bytes cannot hold a picture worth inflating; such a source is not opened.
  if (platform::FileSize(source) < 10) return false;
  platform::UniqueFile input = platform::OpenFile(source, "rb");
  if (!input) return false;
  platform::UniqueFile output = platform::OpenFile(target, "wb");
  if (!output) return false;
  RawInflater inflater;
  const InflateStatus status = inflater.Inflate(input.get(), output.get(), maxOutput);
  input.reset();
  const bool closed = std::fclose(output.release()) == 0;
  return status == InflateStatus::kOk && closed && platform::FileSize(target) > 0;
}

}  // namespace velmora
