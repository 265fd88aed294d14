// Base64 decoding and raw inflation, the two steps that turn an HWPML item's text into
// a picture file. Base64: decoding in pieces cut where the option bytes say gives the
// one-piece result, a limit gives its prefix, and encoding then decoding gives the
// bytes back. Inflation: the file inflater agrees with zlib driven directly.

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "document/base64.h"
#include "document/raw_inflate.h"
#include "fuzz_support.h"

namespace {

using namespace velmora;
using namespace velmora::fuzz;

constexpr size_t kMaxInput = 1 << 20;
constexpr int64_t kMaxOutput = 4 << 20;

// The raw stream inflated from memory; nullopt unless it reaches its end within
// maxOutput bytes. Bytes after the end of the stream are ignored, as the file inflater
// ignores them.
std::optional<std::string> InflateDirectly(std::string_view bytes, int64_t maxOutput) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  std::string out;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int status = Z_OK;
  char buffer[16384];
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (static_cast<int64_t>(out.size()) > maxOutput) status = Z_BUF_ERROR;
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const FuzzInput input(data, size, 3);
  const std::string_view body = input.Body();

  // Base64 in one piece and in three.
  int64_t produced = -1;
  const std::string whole = Base64Decode(body, produced);
  Require(produced == static_cast<int64_t>(whole.size()), "the count made is the bytes made");
  const size_t cut1 = body.empty() ? 0 : input.Option(0) * body.size() / 256;
  const size_t cut2 = std::max(cut1, body.empty() ? 0 : input.Option(1) * body.size() / 256);
  Base64Decoder decoder;
  std::string pieces;
  decoder.Feed(body.substr(0, cut1), pieces);
  decoder.Feed(body.substr(cut1, cut2 - cut1), pieces);
  decoder.Feed(body.substr(cut2), pieces);
  Require(pieces == whole, "decoding does not depend on where the text is cut");

  int64_t limit = input.Option(2);
  const std::string limited = Base64Decode(body, limit);
  Require(limited == whole.substr(0, static_cast<size_t>(input.Option(2))),
          "a limit gives the prefix of the whole result");

  const std::string encoded = Base64Encode(body);
  int64_t all = -1;
  Require(Base64Decode(encoded, all) == body, "decoding an encoding gives the bytes back");

  // The input as deflate data, and its Base64 decoding as deflate data.
  for (const std::string_view stream : {body, std::string_view(whole)}) {
    const std::string source = WriteScratchFile("deflated.bin", stream);
    const std::string target = ScratchFolder() + "/inflated.bin";
    const bool inflated = InflateFile(source, target, kMaxOutput);
    const std::optional<std::string> expected = InflateDirectly(stream, kMaxOutput);
    if (inflated) {
      Require(expected.has_value(), "only complete streams inflate");
      Require(ReadWholeFile(target) == *expected, "the file inflater gives zlib's bytes");
    } else if (expected && !expected->empty() && stream.size() >= 10) {
      Require(false, "a complete stream of at least 10 bytes inflates");
    }
  }
  return 0;
}
