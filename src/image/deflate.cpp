#include "image/deflate.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace velmora {

namespace {

struct CompressorFreer {
  void operator()(libdeflate_compressor* compressor) const noexcept {
    libdeflate_free_compressor(compressor);
  }
};
using UniqueCompressor = std::unique_ptr<libdeflate_compressor, CompressorFreer>;

}  // namespace

std::optional<std::string> Deflate(std::string_view data, int level, DeflateFormat format) {
  if (level < 0 || level > kStrongestDeflate) return std::nullopt;
  UniqueCompressor compressor(libdeflate_alloc_compressor(level));
  if (!compressor) return std::nullopt;
  const bool zlib = format == DeflateFormat::kZlib;
  const size_t bound = zlib ? libdeflate_zlib_compress_bound(compressor.get(), data.size())
                            : libdeflate_deflate_compress_bound(compressor.get(), data.size());
  std::string out;
  // A picture's rows can be half a gigabyte: no memory for the result is an answer,
  // not an exception.
  try {
    out.assign(bound, '\0');
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  const size_t length =
      zlib ? libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(),
                                      out.size())
           : libdeflate_deflate_compress(compressor.get(), data.data(), data.size(), out.data(),
                                         out.size());
  // The bound is enough by the library's promise; 0 would mean it was not.
  if (length == 0) return std::nullopt;
  out.resize(length);
  return out;
}

}  // namespace velmora
