#pragma once
// The segment structure of JPEG files, as far as metadata handling needs it: walking
// the segments in front of the picture data and finding the frame size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

struct JpegSegment {
  size_t position;  // of the FF
  uint8_t marker;
  size_t end;       // one past the segment
};

// Walks the segments of a JPEG file held in memory, from the byte after the start of
// image. Fill bytes are skipped, and so are stray bytes between segments, up to the
// next marker, as decoders skip them: metadata behind a few damaged bytes belongs to
// a picture that decodes. The walk ends at a segment whose length is impossible or
// runs past the end.
class JpegSegmentWalker {
 public:
  explicit JpegSegmentWalker(const std::string& bytes) : bytes_(bytes) {}
  bool Next(JpegSegment& segment);

 private:
  const std::string& bytes_;
  size_t next_ = 2;
};

// True when the bytes start FF D8 FF and hold at least 4 bytes.
bool StartsLikeJpeg(const std::string& bytes);
// Width and height from the frame header; false when the scan or the end comes first.
bool FindJpegFrameSize(const std::string& bytes, uint32_t& width, uint32_t& height);
// True when the segment's payload (after marker and length) starts with the text.
bool SegmentPayloadStartsWith(const std::string& bytes, const JpegSegment& segment,
                              std::string_view text);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The file's bytes up to its first scan (or its end), which is all that the segment
// walk in front of the picture data needs: a picture of gigabytes is not read whole
// for its metadata. At most kMaxJpegHeadBytes are read. False when it cannot be read.
bool ReadJpegHead(const std::string& path, std::string& bytes);
inline constexpr size_t kMaxJpegHeadBytes = size_t{16} << 20;

}  // namespace velmora
