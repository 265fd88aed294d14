// The EXIF block: loaded from a JPEG, edited, finished and written into a JPEG again.
// An input that starts like a JPEG is taken as the whole file; any other input is the
// payload of an APP1 segment put in front of a small valid picture. The option byte
// chooses the edits. Whatever the block held, the rewritten file must still be the
// same picture, and a block written into it must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "image/exif_block.h"
#include "image/jpeg_codec.h"
#include "image/pixel_buffer.h"

namespace {

using namespace velmora;
using namespace velmora::fuzz;

constexpr size_t kMaxInput = 1 << 18;
constexpr int64_t kNow = 1700000000;  // a fixed time, so that every run replays exactly

// A small complete JPEG made once by the project's own encoder: everything after its
// start-of-image marker follows the fuzzed segment.
const std::string& BasePicture() {
  static const std::string bytes = [] {
    Picture jpeg;
    jpeg.width = 16;
    jpeg.height = 8;
    jpeg.bitsPerPixel = 24;
    jpeg.pixels = AllocatePixels(16, 8, 3);
    for (int i = 0; i < 16 * 8 * 3; ++i) jpeg.pixels[i] = static_cast<uint8_t>(i * 37);
    const std::string path = ScratchFolder() + "/base.jpg";
    Require(WriteJpeg(path, jpeg, 90, ""), "the base picture is written");
    return ReadWholeFile(path);
  }();
  return bytes;
}

std::string WithExifSegment(std::string_view payload) {
  if (payload.size() > ExifBlock::kMaxSegmentPayload) {
    payload = payload.substr(0, ExifBlock::kMaxSegmentPayload);
  }
  std::string file = "\xFF\xD8\xFF\xE1";
  file += static_cast<char>((payload.size() + 2) >> 8);
  file += static_cast<char>((payload.size() + 2) & 0xFF);
  file += payload;
  file += BasePicture().substr(2);
  return file;
}

// Where the segments in front of the picture data (application and comment
// segments) end, at a table or frame segment; npos when the walk meets anything else
// first (fill bytes, stray bytes, other markers), which is left uncompared.
size_t PictureDataStart(const std::string& file) {
  size_t at = 2;
  while (at + 4 <= file.size() && file[at] == '\xFF') {
    const auto marker = static_cast<unsigned char>(file[at + 1]);
    const bool tables = marker == 0xDB || marker == 0xC4 || marker == 0xDD || marker == 0xCC;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8;
    if (tables || frame) return at;
    if (marker != 0xFE && (marker < 0xE0 || marker > 0xEF)) return std::string::npos;
    const size_t length = (static_cast<unsigned char>(file[at + 2]) << 8) |
                          static_cast<unsigned char>(file[at + 3]);
    if (length < 2) return std::string::npos;
    at += 2 + length;
  }
  return std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const FuzzInput input(data, size, 1);
  const std::string_view body = input.Body();
  const bool wholeFile = body.size() >= 2 && body[0] == '\xFF' && body[1] == '\xD8';
  const std::string file = wholeFile ? std::string(body) : WithExifSegment(body);
  const std::string path = WriteScratchFile("exif.jpg", file);

  Picture before;
  const bool picture = HasPicture(ReadJpeg(path, before));

  const uint8_t edits = input.Option(0);
  ExifBlock exif;
  if (exif.LoadFromJpeg(path) == ExifStatus::kParsed) {
    if (edits & 0x01) exif.RemoveThumbnail();
    if (edits & 0x02) exif.SetSoftware();
    if (edits & 0x04) exif.StampDates(kNow);
    if (edits & 0x08) exif.EnsureDateTime(kNow);
  } else if (edits & 0x10) {
    exif.Create(kNow);
  }
  if (edits & 0x20) {
    exif.SetWidth(static_cast<uint32_t>(size) * 977u);
    exif.SetHeight(static_cast<uint32_t>(size) * 131u);
  }
  if (edits & 0x40) exif.SetResolution(static_cast<float>(size % 1200), 72.0f);
  exif.Finish();

  const ExifBlock::WriteResult result = exif.WriteIntoJpeg(path);
  if (result != ExifBlock::WriteResult::kWritten) {
    Require(ReadWholeFile(path) == file, "a file that was not written is left as it was");
    return 0;
  }
  // The picture data is carried over untouched. (Whether the decoder notices damage in
  // already damaged data can depend on where it falls in the decoder's input buffer,
  // so the bytes are compared, not the read status.)
  const std::string written = ReadWholeFile(path);
  const size_t rest = PictureDataStart(file);
  if (rest != std::string::npos) {
    const size_t length = file.size() - rest;
    Require(written.size() >= length && written.compare(written.size() - length, length, file,
                                                        rest, length) == 0,
            "the tables, frame and scans are carried over byte for byte");
  }
  if (picture) {
    Picture after;
    Require(HasPicture(ReadJpeg(path, after)), "a picture stays readable with its new block");
    Require(after.width == before.width && after.height == before.height,
            "a picture keeps its size with its new block");
  }
  if (!exif.Empty()) {
    ExifBlock again;
    Require(again.LoadFromJpeg(path) == ExifStatus::kParsed, "a written block loads again");
  }
  return 0;
}
