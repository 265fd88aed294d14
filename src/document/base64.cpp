#include "document/base64.h"

#include <array>
#include <vector>

#include "platform/platform.h"

namespace velmora {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kSkip = 0xFF;

const std::array<unsigned char, 256>& DecodeTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    t.fill(kSkip);
    for (unsigned char i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = i;
    return t;
  }();
  return table;
}

constexpr size_t kFileChunk = 3 * 16384;  // a multiple of 3: no padding between chunks

}  // namespace

void Base64Decoder::Feed(std::string_view text, std::string& out) {
  const auto& table = DecodeTable();
  for (char c : text) {
    if (done_) return;
    if (c == '\0') {
      done_ = true;
      return;
    }
    const unsigned value = table[static_cast<unsigned char>(c)];
    if (value == kSkip) continue;
    // Each value after the first of a group completes one output byte.
    switch (phase_) {
      case 0:
        break;
      case 1:
        out += static_cast<char>((previous_ << 2) | (value >> 4));
        break;
      case 2:
        out += static_cast<char>(((previous_ & 0x0F) << 4) | (value >> 2));
        break;
      case 3:
        out += static_cast<char>(((previous_ & 0x03) << 6) | value);
        break;
    }
    if (phase_ != 0) {
      ++produced_;
      if (limit_ >= 0 && produced_ >= limit_) done_ = true;
    }
    previous_ = value;
    phase_ = (phase_ + 1) & 3;
  }
}

void Base64Encoder::Feed(std::string_view bytes, std::string& out) {
  size_t i = 0;
  auto emit = [&out](unsigned char a, unsigned char b, unsigned char c) {
    out += kAlphabet[a >> 2];
    out += kAlphabet[((a & 0x03) << 4) | (b >> 4)];
    out += kAlphabet[((b & 0x0F) << 2) | (c >> 6)];
    out += kAlphabet[c & 0x3F];
  };
  while (pendingCount_ > 0 && pendingCount_ < 3 && i < bytes.size()) {
    if (pendingCount_ == 2) {
      emit(pending_[0], pending_[1], static_cast<unsigned char>(bytes[i++]));
      pendingCount_ = 0;
    } else {
      pending_[pendingCount_++] = static_cast<unsigned char>(bytes[i++]);
    }
  }
  out.reserve(out.size() + (bytes.size() - i) / 3 * 4 + 4);
  for (; i + 3 <= bytes.size(); i += 3) {
    emit(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1]),
         static_cast<unsigned char>(bytes[i + 2]));
  }
  for (; i < bytes.size(); ++i) pending_[pendingCount_++] = static_cast<unsigned char>(bytes[i]);
}

void Base64Encoder::Finish(std::string& out) {
  if (pendingCount_ == 1) {
    out += kAlphabet[pending_[0] >> 2];
    out += kAlphabet[(pending_[0] & 0x03) << 4];
    out += "==";
  } else if (pendingCount_ == 2) {
    out += kAlphabet[pending_[0] >> 2];
    out += kAlphabet[((pending_[0] & 0x03) << 4) | (pending_[1] >> 4)];
    out += kAlphabet[(pending_[1] & 0x0F) << 2];
    out += '=';
  }
  pendingCount_ = 0;
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 3 * 4 + 4);
  Base64Encoder encoder;
  encoder.Feed(bytes, out);
  encoder.Finish(out);
  return out;
}

std::string Base64Decode(std::string_view text, int64_t& limit) {
  std::string out;
  if (limit == 0) return out;
  // Three bytes for every four characters at most: the reservation follows the text,
  // never a number the document claims.
  size_t bound = text.size() / 4 * 3 + 2;
  if (limit > 0 && static_cast<uint64_t>(limit) < bound) bound = static_cast<size_t>(limit);
  out.reserve(bound);
  Base64Decoder decoder(limit);
  decoder.Feed(text, out);
  limit = decoder.Produced();
  return out;
}

bool Base64DecodeToFile(std::string_view text, int64_t& limit, const std::string& path) {
  std::string bytes = Base64Decode(text, limit);
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return false;
  }
  return std::fclose(file.release()) == 0;
}

bool Base64EncodeFileTo(const std::string& path,
                           const std::function<bool(std::string_view)>& sink, int64_t& length) {
  length = 0;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  std::vector<char> chunk(kFileChunk);
  std::string text;
  Base64Encoder encoder;
  for (;;) {
    size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got > 0) {
      text.clear();
      encoder.Feed(std::string_view(chunk.data(), got), text);
      if (!sink(text)) return false;
      length += static_cast<int64_t>(got);
    }
    if (got < chunk.size()) {
      if (std::ferror(file.get()) != 0) return false;
      break;
    }
  }
  text.clear();
  encoder.Finish(text);
  return text.empty() || sink(text);
}

std::optional<std::string> Base64EncodeFile(const std::string& path, int64_t& length) {
  std::string text;
  bool ok = Base64EncodeFileTo(
      path,
      [&text](std::string_view piece) {
        text.append(piece);
        return true;
      },
      length);
  if (!ok || length == 0) {
    length = 0;
    return std::nullopt;
  }
  return text;
}

}  // namespace velmora
