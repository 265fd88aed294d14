#include "support/gif_writer.h"

#include <algorithm>
#include <map>

namespace velmora::testing {

namespace {

void Put16(std::string& out, int value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

// The size code s of a table of 2^(s+1) entries that holds the colours, and the table
// padded to that size.
int TableCode(const std::vector<uint32_t>& colours) {
  int code = 0;
  while ((2u << code) < colours.size()) ++code;
  return code;
}

std::string TableBytes(const std::vector<uint32_t>& colours) {
  std::string out;
  const size_t entries = 2u << TableCode(colours);
  for (size_t i = 0; i < entries; ++i) {
    const uint32_t colour = i < colours.size() ? colours[i] : 0;
    out += static_cast<char>((colour >> 16) & 0xFF);
    out += static_cast<char>((colour >> 8) & 0xFF);
    out += static_cast<char>(colour & 0xFF);
  }
  return out;
}

std::vector<uint16_t> InterlacedOrder(const std::vector<uint16_t>& indices, int width, int height) {
  std::vector<uint16_t> out;
  const int start[4] = {0, 4, 2, 1};
  const int step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int row = start[pass]; row < height; row += step[pass]) {
      out.insert(out.end(), indices.begin() + row * width, indices.begin() + (row + 1) * width);
    }
  }
  return out;
}

}  // namespace

std::string PackCodes(int minimumCodeSize, const std::vector<std::pair<int, int>>& codes) {
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (const auto& [code, width] : codes) {
    bits |= static_cast<uint32_t>(code) << count;
    count += width;
    while (count >= 8) {
      bytes += static_cast<char>(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  }
  if (count > 0) bytes += static_cast<char>(bits & 0xFF);
  std::string out(1, static_cast<char>(minimumCodeSize));
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t length = std::min<size_t>(255, bytes.size() - at);
    out += static_cast<char>(length);
    out += bytes.substr(at, length);
  }
  return out + '\0';
}

std::string EncodeLzw(const std::vector<uint16_t>& indices, int minimumCodeSize) {
  const int clear = 1 << minimumCodeSize;
  std::vector<std::pair<int, int>> codes;
  std::map<std::pair<int, int>, int> table;
  // The code width follows the decoder, which adds one entry for every code after the
  // first of a table and widens codes when its next free slot reaches 2^width.
  int width = 0;
  int next = 0;
  bool first = true;
  auto emit = [&](int code) {
    codes.emplace_back(code, width);
    if (code == clear) {
      table.clear();
      width = minimumCodeSize + 1;
      next = clear + 2;
      first = true;
      return;
    }
    if (first) {
      first = false;
      return;
    }
    if (next < 4096) ++next;
    if (next == (1 << width) && width < 12) ++width;
  };
  width = minimumCodeSize + 1;
  emit(clear);
  int current = -1;
  for (uint16_t index : indices) {
    if (current < 0) {
      current = index;
      continue;
    }
    const auto found = table.find({current, index});
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    // The decoder's table is one entry behind: it fills this slot on the next code.
    table[{current, index}] = next;
    current = index;
    if (next >= 4094) emit(clear);  // start a new table before the decoder's fills up
  }
  if (current >= 0) emit(current);
  emit(clear + 1);
  return PackCodes(minimumCodeSize, codes);
}

std::string BuildGif(const GifSpec& layout) {
  std::string out = "GIF89a";
  Put16(out, layout.width);
  Put16(out, layout.height);
  if (layout.globalTable.empty()) {
    out += '\0';
  } else {
    out += static_cast<char>(0x80 | TableCode(layout.globalTable));
  }
  out += '\0';  // background index
  out += '\0';  // aspect
  if (!layout.globalTable.empty()) out += TableBytes(layout.globalTable);
  for (const GifFrameSpec& frame : layout.frames) {
    out += frame.before;
    if (frame.transparent != kNoGraphicControl) {
      out += "\x21\xF9\x04";
      out += static_cast<char>(frame.transparent >= 0 ? 1 : 0);
      out += std::string(2, '\0');  // delay
      out += static_cast<char>(frame.transparent >= 0 ? frame.transparent : 0);
      out += '\0';
    }
    out += '\x2C';
    Put16(out, frame.left);
    Put16(out, frame.top);
    Put16(out, frame.width);
    Put16(out, frame.height);
    int flags = frame.interlaced ? 0x40 : 0;
    if (!frame.localTable.empty()) flags |= 0x80 | TableCode(frame.localTable);
    out += static_cast<char>(flags);
    if (!frame.localTable.empty()) out += TableBytes(frame.localTable);
    if (!frame.data.empty()) {
      out += frame.data;
      continue;
    }
    int codeSize = frame.minimumCodeSize;
    if (codeSize == 0) {
      const uint16_t largest =
          frame.indices.empty() ? 0 : *std::max_element(frame.indices.begin(), frame.indices.end());
      codeSize = 2;
      while ((1 << codeSize) <= largest) ++codeSize;
    }
    out += EncodeLzw(frame.interlaced ? InterlacedOrder(frame.indices, frame.width, frame.height)
                                      : frame.indices,
                     codeSize);
  }
  if (layout.trailer) out += '\x3B';
  return out;
}

}  // namespace velmora::testing
