#include "image/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/gif_lzw.h"
#include "image/picture_file.h"

namespace velmora {

namespace {

// The read-ahead buffer and the LZW code tables of one reading: too large for the
// stack, so they are made on the heap for each file.
struct GifDecoderState {
  ReadAhead in;
  GifLzwDecoder lzw;
};

constexpr size_t kHeaderSize = 13;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kCommentLabel = 0xFE;
constexpr uint8_t kApplicationLabel = 0xFF;

struct Rgba {
  uint8_t value[4];
};
constexpr Rgba kOpaqueWhite = {{255, 255, 255, 255}};

struct Descriptor {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  uint8_t flags = 0;
  bool HasLocalTable() const { return (flags & 0x80) != 0; }
  bool Interlaced() const { return (flags & 0x40) != 0; }
  int LocalEntries() const { return 2 << (flags & 7); }
};

// One reading of a file: both passes and the pictures they build.
class GifReading {
 public:
  GifReading(GifDecoderState& state, PictureFile& file) : in_(state.in), lzw_(state.lzw) {
    in_.Attach(&file);
  }
  ~GifReading() { in_.Attach(nullptr); }
  GifReading(const GifReading&) = delete;
  GifReading& operator=(const GifReading&) = delete;

  bool ReadHeader();
  int CountFrames();
  bool PaintFrames(int frameTotal);

  int screenWidth = 0;
  int screenHeight = 0;
  bool hasGlobalTable = false;
  PixelBuffer canvas;
  std::vector<uint8_t> rowPainted;  // one flag per screen row
  int framesPainted = 0;
  bool damaged = false;
  int composite = 0;

 private:
  bool ReadExtension();
  bool ReadDescriptor(Descriptor& descriptor);
  bool Usable(const Descriptor& descriptor) const;
  void SkipFrame(const Descriptor& descriptor);
  GifFrameOutcome DecodeData(const GifFrameTarget& target);
  void Resynchronise(int64_t from);
  void SetPalette(const uint8_t* table, int entries);
  bool PaintOneFrame(const Descriptor& descriptor);

  ReadAhead& in_;
  GifLzwDecoder& lzw_;
  uint8_t globalTable_[256 * 3] = {};
  int globalEntries_ = 0;
  int transparent_ = -1;  // set by each graphic control block, kept for later frames
  Rgba palette_[256];
  std::unique_ptr<uint16_t[]> indices_;
  int64_t indexCapacity_ = 0;
};

bool GifReading::ReadHeader() {
  uint8_t header[kHeaderSize];
  if (!in_.ReadExact(header, sizeof header)) return false;
  if (std::memcmp(header, "GIF8", 4) != 0) return false;
  screenWidth = LoadLe16(header + 6);
  screenHeight = LoadLe16(header + 8);
  const uint8_t flags = header[10];
  hasGlobalTable = (flags & 0x80) != 0;
  if (hasGlobalTable) {
    globalEntries_ = 2 << (flags & 7);
    if (!in_.ReadExact(globalTable_, static_cast<size_t>(globalEntries_) * 3)) return false;
  }
  // Frames without any colour table before them show their indices as grey levels.
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<uint8_t>(i);
    palette_[i] = Rgba{{level, level, level, 255}};
  }
  return true;
}

bool GifReading::ReadDescriptor(Descriptor& descriptor) {
  uint8_t bytes[9];
  if (!in_.ReadExact(bytes, sizeof bytes)) return false;
  descriptor.left = LoadLe16(bytes);
  descriptor.top = LoadLe16(bytes + 2);
  descriptor.width = LoadLe16(bytes + 4);
  descriptor.height = LoadLe16(bytes + 6);
  descriptor.flags = bytes[8];
  return true;
}

// A frame is used only when it lies wholly inside the logical screen and has pixels.
bool GifReading::Usable(const Descriptor& descriptor) const {
  return descriptor.width > 0 && descriptor.height > 0 &&
         descriptor.left + descriptor.width <= screenWidth &&
         descriptor.top + descriptor.height <= screenHeight;
}

// Passes over a frame that is not used, block by block, so that none of its bytes is
// mistaken for the start of a block.
void GifReading::SkipFrame(const Descriptor& descriptor) {
  if (descriptor.HasLocalTable()) in_.Skip(int64_t{3} * descriptor.LocalEntries());
  uint8_t minimumCodeSize = 0;
  if (in_.Next(minimumCodeSize)) SkipGifSubBlocks(in_);
}

bool GifReading::ReadExtension() {
  uint8_t label = 0;
  if (!in_.Next(label)) return false;
  // Reads one sub-block that must not be empty; false on an empty one or a short file.
  auto skipFilledSubBlock = [this]() {
    uint8_t length = 0;
    if (!in_.Next(length) || length == 0) return false;
    const int64_t end = in_.Tell() + length;
    in_.Skip(length);
    return in_.Tell() == end;
  };
  if (label == kGraphicControlLabel) {
    uint8_t size = 0;
    uint8_t block[4];
    if (!in_.Next(size) || !in_.ReadExact(block, sizeof block) || size != 4) return false;
    transparent_ = (block[0] & 1) != 0 ? block[3] : -1;
  } else if (label == kCommentLabel) {
    if (!skipFilledSubBlock()) return false;
  } else if (label == kApplicationLabel) {
    uint8_t size = 0;
    uint8_t identifier[11];
    if (!in_.Next(size) || size != sizeof identifier) return false;
    if (!in_.ReadExact(identifier, sizeof identifier) || !skipFilledSubBlock()) return false;
  }
  SkipGifSubBlocks(in_);
  return true;
}

GifFrameOutcome GifReading::DecodeData(const GifFrameTarget& target) {
  const int64_t start = in_.Tell();
  GifFrameOutcome outcome = lzw_.Decode(in_, target);
  if (outcome.badCodes) Resynchronise(start);
  return outcome;
}

// After damaged data the sub-block lengths cannot be trusted either. Reading goes on at
// the first image separator after the frame's data start that follows a zero byte, the
// way a data block ends (or at the end of the file when there is none).
void GifReading::Resynchronise(int64_t from) {
  in_.Seek(from);
  bool afterZero = true;
  uint8_t byte = 0;
  while (in_.Next(byte)) {
    if (byte == kImageSeparator && afterZero) {
      in_.Seek(in_.Tell() - 1);
      return;
    }
    afterZero = byte == 0;
  }
}

int GifReading::CountFrames() {
  const int64_t start = in_.Tell();
  int total = 0;
  bool atBlockStart = true;
  uint8_t byte = 0;
  while (in_.Next(byte)) {
    // Bytes are taken as block starts only where a block can start: after a zero byte
    // or after a block read as a whole. Stray bytes are passed over.
    if (!atBlockStart && byte != 0) continue;
    if (byte == kExtensionIntroducer) {
      ReadExtension();  // counting goes on after a damaged extension
    } else if (byte == kImageSeparator) {
      Descriptor descriptor;
      if (!ReadDescriptor(descriptor)) break;
      if (screenWidth == 0 && screenHeight == 0) {
        // A 0 × 0 screen takes the size of the first frame.
        screenWidth = descriptor.width;
        screenHeight = descriptor.height;
      }
      if (!Usable(descriptor)) {
        // Other viewers show such a frame clipped, often as one step of an animation;
        // a picture without it is not the whole picture.
        damaged = true;
        SkipFrame(descriptor);
        continue;
      }
      if (total < INT32_MAX) ++total;
      if (descriptor.HasLocalTable()) in_.Skip(int64_t{3} * descriptor.LocalEntries());
      GifFrameTarget target;
      target.width = descriptor.width;
      target.height = descriptor.height;
      target.interlaced = descriptor.Interlaced();
      DecodeData(target);
    } else if (byte == kTrailer) {
      break;
    } else {
      atBlockStart = byte == 0;
    }
  }
  in_.Seek(start);
  transparent_ = -1;
  return total;
}

void GifReading::SetPalette(const uint8_t* table, int entries) {
  // Indices past the end of the table are opaque white.
  std::fill(std::begin(palette_), std::end(palette_), kOpaqueWhite);
  for (int i = 0; i < entries && i < 256; ++i) {
    palette_[i] = Rgba{{table[3 * i], table[3 * i + 1], table[3 * i + 2], 255}};
  }
}

bool GifReading::PaintOneFrame(const Descriptor& descriptor) {
  const int64_t area = int64_t{descriptor.width} * descriptor.height;
  if (area > indexCapacity_) {
    indices_.reset(new (std::nothrow) uint16_t[static_cast<size_t>(area)]);
    indexCapacity_ = indices_ ? area : 0;
    if (!indices_) return false;
  }
  std::vector<uint8_t> rowWritten(static_cast<size_t>(descriptor.height), 0);
  GifFrameTarget target;
  target.indices = indices_.get();
  target.rowWritten = rowWritten.data();
  target.width = descriptor.width;
  target.height = descriptor.height;
  target.interlaced = descriptor.Interlaced();
  const GifFrameOutcome outcome = DecodeData(target);
  if (outcome.codeSizeRefused || outcome.badCodes || outcome.rowsWritten < descriptor.height) {
    damaged = true;
  }

  // Only rows that were decoded whole are painted; the rest of the frame leaves the
  // canvas as it was. Pixels of the transparent index leave it as it was too.
  for (int row = 0; row < descriptor.height; ++row) {
    if (rowWritten[static_cast<size_t>(row)] == 0) continue;
    const int screenRow = descriptor.top + row;
    rowPainted[static_cast<size_t>(screenRow)] = 1;
    const uint16_t* source = indices_.get() + int64_t{row} * descriptor.width;
    uint8_t* target = canvas.get() + (int64_t{screenRow} * screenWidth + descriptor.left) * 4;
    for (int x = 0; x < descriptor.width; ++x) {
      const uint16_t index = source[x];
      if (index == transparent_) continue;
      const Rgba& colour = index < 256 ? palette_[index] : kOpaqueWhite;
      std::memcpy(target + int64_t{x} * 4, colour.value, 4);
    }
  }
  return true;
}

bool GifReading::PaintFrames(int frameTotal) {
  canvas = AllocatePixels(screenWidth, screenHeight, 4);
  if (!canvas) return false;
  rowPainted.assign(static_cast<size_t>(screenHeight), 0);
  composite = frameTotal == 1 ? 0 : (hasGlobalTable ? 0 : 1);

  uint8_t localTable[256 * 3];
  bool atBlockStart = true;
  uint8_t byte = 0;
  while (in_.Next(byte)) {
    if (!atBlockStart && byte != 0) continue;
    if (byte == kExtensionIntroducer) {
      // A damaged extension ends the picture with the frames painted so far.
      if (!ReadExtension()) break;
    } else if (byte == kImageSeparator) {
      Descriptor descriptor;
      if (!ReadDescriptor(descriptor)) break;
      if (!Usable(descriptor)) {
        SkipFrame(descriptor);
        continue;
      }
      if (framesPainted == 0 && descriptor.width != screenWidth &&
          descriptor.height != screenHeight) {
        ++composite;
      }
      if (descriptor.HasLocalTable()) {
        const int entries = descriptor.LocalEntries();
        if (!in_.ReadExact(localTable, static_cast<size_t>(entries) * 3)) break;
        SetPalette(localTable, entries);
      } else if (hasGlobalTable) {
        SetPalette(globalTable_, globalEntries_);
      }
      // Without either table the previous frame's colours stay.
      if (!PaintOneFrame(descriptor)) return false;
      ++framesPainted;
      if (framesPainted == frameTotal) break;
    } else if (byte == kTrailer) {
      break;
    } else {
      atBlockStart = byte == 0;
    }
  }
  if (framesPainted < frameTotal) damaged = true;
  return framesPainted > 0;
}

}  // namespace

bool IsGifFile(const std::string& path) {
  PictureFile file;
  uint8_t header[kHeaderSize];
  return file.Open(path) && file.ReadExact(header, sizeof header) &&
         std::memcmp(header, "GIF8", 4) == 0;
}

ReadStatus ReadGif(const std::string& path, Picture& picture) {
  picture = Picture();
  PictureFile file;
  if (!file.Open(path)) return ReadStatus::kUnreadable;
  std::unique_ptr<GifDecoderState> state(new (std::nothrow) GifDecoderState);
  if (!state) return ReadStatus::kUnreadable;
  GifReading reading(*state, file);
  if (!reading.ReadHeader()) return ReadStatus::kUnreadable;
  const int frameTotal = reading.CountFrames();
  // The screen is checked before the canvas is made: a 13-byte header must not make
  // the reader allocate gigabytes.
  if (frameTotal == 0 || !PictureSizeAllowed(reading.screenWidth, reading.screenHeight)) {
    return ReadStatus::kUnreadable;
  }
  if (!reading.PaintFrames(frameTotal)) return ReadStatus::kUnreadable;

  picture.width = reading.screenWidth;
  picture.height = reading.screenHeight;
  picture.bitsPerPixel = 32;
  picture.sourceBitsPerPixel = reading.composite != 0 ? 24 : 8;
  picture.frames = reading.framesPainted;
  picture.pixels = std::move(reading.canvas);
  picture.xResolution = picture.yResolution = 72.0f;
  const bool edgesPainted = reading.rowPainted.front() != 0 && reading.rowPainted.back() != 0;
  return edgesPainted && !reading.damaged ? ReadStatus::kComplete : ReadStatus::kPartial;
}

}  // namespace velmora
