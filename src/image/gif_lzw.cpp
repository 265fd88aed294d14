#include "image/gif_lzw.h"

namespace velmora {

namespace {

constexpr int kEndOfFile = -1;
constexpr int kEmptyBlock = -2;
constexpr int kMaxCodeSize = 12;

// Places decoded indices row by row, in interlaced order when the frame is interlaced.
class RowWriter {
 public:
  explicit RowWriter(const GifFrameTarget& target)
      : target_(target), done_(target.width <= 0 || target.height <= 0) {}

  void Put(uint16_t index) {
    if (done_) return;  // data beyond the frame's last row is ignored
    if (target_.indices != nullptr) {
      target_.indices[static_cast<int64_t>(row_) * target_.width + column_] = index;
    }
    if (++column_ < target_.width) return;
    column_ = 0;
    if (target_.rowWritten != nullptr) target_.rowWritten[row_] = 1;
    ++rowsWritten;
    NextRow();
  }

  int rowsWritten = 0;

 private:
  void NextRow() {
    if (!target_.interlaced) {
      done_ = ++row_ >= target_.height;
      return;
    }
    // Four passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd
    // from 1. A pass whose start lies below the frame is skipped.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    row_ += kStep[pass_];
    while (row_ >= target_.height) {
      if (++pass_ == 4) {
        done_ = true;
        return;
      }
      row_ = kStart[pass_];
    }
  }

  const GifFrameTarget& target_;
  int row_ = 0;
  int column_ = 0;
  int pass_ = 0;
  bool done_;
};

}  // namespace

void SkipGifSubBlocks(ReadAhead& in) {
  uint8_t length = 0;
  while (in.Next(length) && length != 0) in.Skip(length);
}

void GifLzwDecoder::ResetTable() {
  codeSize_ = minimumCodeSize_ + 1;
  limit_ = 1 << codeSize_;
  nextFree_ = clearCode_ + 2;
}

int GifLzwDecoder::NextCode(ReadAhead& in) {
  while (bitCount_ < codeSize_) {
    if (blockLeft_ == 0) {
      uint8_t length = 0;
      if (!in.Next(length)) return kEndOfFile;
      if (length == 0) return kEmptyBlock;
      blockLeft_ = length;
    }
    uint8_t byte = 0;
    if (!in.Next(byte)) return kEndOfFile;
    --blockLeft_;
    bits_ |= static_cast<uint32_t>(byte) << bitCount_;
    bitCount_ += 8;
  }
  const int code = static_cast<int>(bits_ & ((1u << codeSize_) - 1));
  bits_ >>= codeSize_;
  bitCount_ -= codeSize_;
  return code;
}

int GifLzwDecoder::ExpandString(int code) {
  // Damaged data can link table entries into loops or to slots never filled; the walk
  // is bounded by the stack, so whatever the data holds it ends inside the stack.
  int length = 0;
  while (code >= clearCode_ && length < kMaxCodes - 1) {
    stack_[length++] = suffix_[code];
    code = prefix_[code];
  }
  stack_[length++] = static_cast<uint16_t>(code);
  return length;
}

void GifLzwDecoder::Begin(int minimumCodeSize) {
  minimumCodeSize_ = minimumCodeSize;
  clearCode_ = 1 << minimumCodeSize_;
  blockLeft_ = 0;
  bits_ = 0;
  bitCount_ = 0;
  for (int code = 0; code < kMaxCodes; ++code) {
    prefix_[code] = 0;
    suffix_[code] = static_cast<uint16_t>(code < clearCode_ ? code : 0);
  }
  ResetTable();
}

void GifLzwDecoder::AddEntry(int previous, uint16_t first) {
  if (nextFree_ >= limit_) return;
  prefix_[nextFree_] = static_cast<uint16_t>(previous);
  suffix_[nextFree_] = first;
  ++nextFree_;
  if (nextFree_ == limit_ && codeSize_ < kMaxCodeSize) {
    ++codeSize_;
    limit_ <<= 1;
  }
}

void GifLzwDecoder::SkipRestOfData(ReadAhead& in) {
  in.Skip(blockLeft_);
  blockLeft_ = 0;
  SkipGifSubBlocks(in);
}

GifFrameOutcome GifLzwDecoder::Decode(ReadAhead& in, const GifFrameTarget& target) {
  GifFrameOutcome outcome;
  uint8_t minimumCodeSize = 0;
  if (!in.Next(minimumCodeSize)) return outcome;
  // Code sizes above 9 would need literal codes beyond what the table can follow with
  // room to grow; such frames are passed over.
  if (minimumCodeSize < 2 || minimumCodeSize > 9) {
    outcome.codeSizeRefused = true;
    SkipGifSubBlocks(in);
    return outcome;
  }
  Begin(minimumCodeSize);
  const int endCode = clearCode_ + 1;

  RowWriter writer(target);
  int previous = -1;  // -1: the next code starts a new table
  uint16_t firstOfPrevious = 0;
  for (;;) {
    const int code = NextCode(in);
    if (code == kEndOfFile) break;
    if (code == kEmptyBlock || code == endCode) {
      outcome.reachedEnd = true;
      // The end code may sit before the end of its sub-block; the rest of the data,
      // up to the empty sub-block, is passed over.
      if (code == endCode) SkipRestOfData(in);
      break;
    }
    if (code == clearCode_) {
      ResetTable();
      previous = -1;
      continue;
    }
    uint16_t first = 0;
    if (previous < 0) {
      // The first code of a table must be a literal; anything else is damage and
      // reads as index 0.
      if (code < clearCode_) {
        first = static_cast<uint16_t>(code);
      } else {
        outcome.badCodes = true;
      }
      writer.Put(first);
      previous = first;
      firstOfPrevious = first;
      continue;
    }
    // A code one past the table is the previous string followed by its own first
    // character; a code further out cannot be formed by an encoder.
    const bool pastTable = code >= nextFree_;
    if (code > nextFree_) outcome.badCodes = true;
    const int length = ExpandString(pastTable ? previous : code);
    for (int i = length - 1; i >= 0; --i) writer.Put(stack_[i]);
    if (pastTable) writer.Put(firstOfPrevious);
    first = pastTable ? firstOfPrevious : stack_[length - 1];
    AddEntry(previous, first);
    previous = code;
    firstOfPrevious = first;
  }
  outcome.rowsWritten = writer.rowsWritten;
  return outcome;
}

}  // namespace velmora
