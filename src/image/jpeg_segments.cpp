#include "image/jpeg_segments.h"

#include <cstdio>

#include "platform/platform.h"

namespace velmora {

namespace {

uint32_t BigEndian16(const std::string& bytes, size_t position) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[position])) << 8) |
         static_cast<uint8_t>(bytes[position + 1]);
}

bool IsStartOfFrame(uint8_t marker) {
  return marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC3 || marker == 0xC9 ||
         marker == 0xCA || marker == 0xCB;
}

}  // namespace

bool JpegSegmentWalker::Next(JpegSegment& segment) {
  for (;;) {
    if (next_ + 2 > bytes_.size()) return false;
    if (static_cast<uint8_t>(bytes_[next_]) != 0xFF) {
      const size_t found = bytes_.find('\xFF', next_ + 1);
      if (found == std::string::npos) return false;
      next_ = found;
      continue;
    }
    const auto marker = static_cast<uint8_t>(bytes_[next_ + 1]);
    if (marker == 0xFF) {
      ++next_;
      continue;
    }
    if (marker == 0x00) {  // a stuffed zero among the garbage, not a marker
      next_ += 2;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {  // no length follows
      segment = {next_, marker, next_ + 2};
      next_ += 2;
      return true;
    }
    if (next_ + 4 > bytes_.size()) return false;
    const size_t length = BigEndian16(bytes_, next_ + 2);
    if (length < 2 || next_ + 2 + length > bytes_.size()) return false;
    segment = {next_, marker, next_ + 2 + length};
    next_ = segment.end;
    return true;
  }
}

bool StartsLikeJpeg(const std::string& bytes) {
  return bytes.size() >= 4 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
         static_cast<uint8_t>(bytes[1]) == 0xD8 && static_cast<uint8_t>(bytes[2]) == 0xFF;
}

bool FindJpegFrameSize(const std::string& bytes, uint32_t& width, uint32_t& height) {
  if (!StartsLikeJpeg(bytes)) return false;
  JpegSegmentWalker walker(bytes);
  JpegSegment segment{};
  while (walker.Next(segment)) {
    if (segment.marker == 0xDA || segment.marker == 0xD9) return false;
    // Length, precision, then height and width.
    if (IsStartOfFrame(segment.marker) && segment.end - segment.position >= 9) {
      height = BigEndian16(bytes, segment.position + 5);
      width = BigEndian16(bytes, segment.position + 7);
      return true;
    }
  }
  return false;
}

bool SegmentPayloadStartsWith(const std::string& bytes, const JpegSegment& segment,
                              std::string_view text) {
  const size_t payload = segment.position + 4;
  return segment.end >= payload + text.size() && bytes.compare(payload, text.size(), text) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::optional<std::string> read = platform::ReadFileBytes(path);
  if (!read) return false;
  bytes = std::move(*read);
  return true;
}

bool ReadJpegHead(const std::string& path, std::string& bytes) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  bytes.clear();
  char buffer[1 << 16];
  // One walk over the growing bytes: it stops where a segment runs past what has been
  // read, and goes on from there once more is read.
  JpegSegmentWalker walker(bytes);
  JpegSegment segment{};
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) return std::ferror(file.get()) == 0;
    // Enough once the walk reaches the scan or the end marker: the segments in front
    // of them are all here.
    while (walker.Next(segment)) {
      if (segment.marker == 0xDA || segment.marker == 0xD9) return true;
    }
    if (bytes.size() >= kMaxJpegHeadBytes) return true;
  }
}

}  // namespace velmora
