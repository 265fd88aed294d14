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

struct DecompressorFreer {
  void operator()(libdeflate_decompressor* decompressor) const noexcept {
    libdeflate_free_decompressor(decompressor);
  }
};
using UniqueDecompressor = std::unique_ptr<libdeflate_decompressor, DecompressorFreer>;

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

bool InflatesTo(std::string_view compressed, std::string_view expected, DeflateFormat format) {
  UniqueDecompressor decompressor(libdeflate_alloc_decompressor());
  if (!decompressor) return false;
  std::string out;
  try {
    out.assign(expected.size(), '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  size_t produced = 0;
  const libdeflate_result result =
      format == DeflateFormat::kZlib
          ? libdeflate_zlib_decompress(decompressor.get(), compressed.data(), compressed.size(),
                                       out.data(), out.size(), &produced)
          : libdeflate_deflate_decompress(decompressor.get(), compressed.data(),
                                          compressed.size(), out.data(), out.size(), &produced);
  return result == LIBDEFLATE_SUCCESS && produced == expected.size() && out == expected;
}

}  // namespace velmora
