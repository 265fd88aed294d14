#include "image/bmp_rle.h"

namespace velmora {

namespace {

class RleCanvas {
 public:
  RleCanvas(uint8_t* indices, int64_t width, int64_t height)
      : indices_(indices), width_(width), height_(height) {}

  void Put(uint8_t index) {
    if (row < height_ && column < width_) indices_[row * width_ + column] = index;
    ++column;
  }
  bool Finished() const { return row >= height_; }

  int64_t row = 0;
  int64_t column = 0;

 private:
  uint8_t* indices_;
  int64_t width_;
  int64_t height_;
};

}  // namespace

int64_t DecodeBmpRle(ReadAhead& in, bool fourBit, uint8_t* indices, int64_t width, int64_t height) {
  RleCanvas canvas(indices, width, height);
  uint8_t count = 0;
  uint8_t value = 0;
  while (!canvas.Finished() && in.Next(count)) {
    if (count > 0) {
      if (!in.Next(value)) break;
      for (int i = 0; i < count; ++i) {
        // RLE4 runs alternate the high and the low nibble of their byte.
        canvas.Put(fourBit ? static_cast<uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      continue;
    }
    uint8_t escape = 0;
    if (!in.Next(escape)) break;
    if (escape == 0) {  // end of line
      canvas.column = 0;
      ++canvas.row;
    } else if (escape == 1) {  // end of bitmap
      // The row this code ends is complete: encoders commonly close the last row with
      // this code alone, and a bitmap that stops early leaves the rest at index 0.
      return canvas.row + 1 < height ? canvas.row + 1 : height;
    } else if (escape == 2) {  // delta: move right and down
      uint8_t dx = 0;
      uint8_t dy = 0;
      if (!in.Next(dx) || !in.Next(dy)) break;
      canvas.column += dx;
      canvas.row += dy;
    } else {  // absolute run of escape pixels, padded to a 16-bit boundary
      const int pixels = escape;
      const int bytes = fourBit ? (pixels + 1) / 2 : pixels;
      bool complete = true;
      for (int i = 0; i < pixels && complete; ++i) {
        if (fourBit && i % 2 == 1) {
          canvas.Put(value & 0x0F);
          continue;
        }
        complete = in.Next(value);
        if (complete) canvas.Put(fourBit ? static_cast<uint8_t>(value >> 4) : value);
      }
      if (!complete) break;
      if (bytes % 2 == 1 && !in.Next(value)) break;
    }
  }
  return canvas.row < height ? canvas.row : height;
}

}  // namespace velmora
