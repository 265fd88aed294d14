#pragma once
// LZW decoding of one GIF frame's image data into palette indices.

#include <cstdint>

#include "image/picture_file.h"

namespace velmora {

// Where the indices of one frame go. Rows are the frame's own rows; indices may be
// null when only the end of the data is wanted.
struct GifFrameTarget {
  uint16_t* indices = nullptr;   // width × height, row-major
  uint8_t* rowWritten = nullptr;  // height flags, set to 1 for each complete row
  int width = 0;
  int height = 0;
  bool interlaced = false;
};

struct GifFrameOutcome {
  bool codeSizeRefused = false;  // minimum code size outside 2..9: nothing decoded
  bool badCodes = false;         // codes that the table could not hold: data damaged
  bool reachedEnd = false;       // the end code or the closing empty sub-block was met
  int rowsWritten = 0;
};

// Passes over data sub-blocks up to and including the empty one that ends them.
void SkipGifSubBlocks(ReadAhead& in);

class GifLzwDecoder {
 public:
  // Reads the minimum code size and the data sub-blocks at the current position.
  // Without bad codes the input is left after the sub-block that ends the data;
  // after bad codes its position is wherever decoding stopped.
  GifFrameOutcome Decode(ReadAhead& in, const GifFrameTarget& target);

 private:
  static constexpr int kMaxCodes = 4096;

  // Next code of codeSize_ bits; -1 at the end of the file, -2 at an empty sub-block.
  int NextCode(ReadAhead& in);
  void Begin(int minimumCodeSize);
  void ResetTable();
  // Adds the previous string followed by first to the table while it has room.
  void AddEntry(int previous, uint16_t first);
  // Passes over the rest of the frame's data, up to its closing empty sub-block.
  void SkipRestOfData(ReadAhead& in);
  // Writes the string of a code into stack_ (last character first); returns its length.
  int ExpandString(int code);

  int clearCode_ = 0;
  int codeSize_ = 0;
  int minimumCodeSize_ = 0;
  int nextFree_ = 0;
  int limit_ = 0;
  int blockLeft_ = 0;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
  uint16_t prefix_[kMaxCodes] = {};
  uint16_t suffix_[kMaxCodes] = {};
  uint16_t stack_[kMaxCodes] = {};
};

}  // namespace velmora
