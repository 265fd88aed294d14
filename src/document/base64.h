#pragma once
// Base64 (the standard alphabet with "=" padding, no line breaks) for the pictures
// an HWPML document stores as text. Decoding is lenient: every byte outside the
// alphabet is skipped, a short final group yields the bytes it completes, and a zero
// byte ends the text.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Decodes text that arrives in pieces; the result does not depend on where the
// pieces are cut.
class Base64Decoder {
 public:
  // At most limit bytes are produced; a negative limit means no limit, so the output
  // is bounded by the text alone.
  explicit Base64Decoder(int64_t limit = -1) : limit_(limit) {}

  // Appends the bytes that the next piece of text completes to out.
  void Feed(std::string_view text, std::string& out);
  int64_t Produced() const { return produced_; }
  // True once the limit is reached or a zero byte has ended the text.
  bool Done() const { return done_; }

 private:
  int64_t limit_;
  int64_t produced_ = 0;
  int phase_ = 0;          // 6-bit values taken in the current group of four
  unsigned previous_ = 0;  // the value before the current one
  bool done_ = false;
};

// Encodes bytes that arrive in pieces into one line of text.
class Base64Encoder {
 public:
  void Feed(std::string_view bytes, std::string& out);
  // Writes the last group with its padding.
  void Finish(std::string& out);

 private:
  unsigned char pending_[2] = {};
  int pendingCount_ = 0;
};

// The bytes as one line of text.
std::string Base64Encode(std::string_view bytes);
// limit: at most this many bytes (negative: no limit); replaced by the count made.
std::string Base64Decode(std::string_view text, int64_t& limit);
// Decodes into a new file at path (replacing one there); false when it cannot be
// written.
bool Base64DecodeToFile(std::string_view text, int64_t& limit, const std::string& path);
// The whole file as one line of text, or nothing (length 0) when it cannot be read or
// is empty; length becomes the number of bytes encoded.
std::optional<std::string> Base64EncodeFile(const std::string& path, int64_t& length);
// Streams the file's text to sink in pieces, never holding the whole file; false when
// the file cannot be read or sink refuses a piece. length as above.
bool Base64EncodeFileTo(const std::string& path, const std::function<bool(std::string_view)>& sink,
                        int64_t& length);

}  // namespace velmora
