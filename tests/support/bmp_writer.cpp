#include "support/bmp_writer.h"

namespace velmora::testing {

namespace {

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

}  // namespace

std::string BuildBmp(const BmpLayout& layout) {
  std::string header;
  Put32(header, layout.headerSize);
  if (layout.headerSize == 12) {
    Put16(header, static_cast<uint32_t>(layout.width));
    Put16(header, static_cast<uint32_t>(layout.height));
    Put16(header, layout.planes);
    Put16(header, layout.bitCount);
  } else {
    Put32(header, static_cast<uint32_t>(layout.width));
    Put32(header, static_cast<uint32_t>(layout.height));
    Put16(header, layout.planes);
    Put16(header, layout.bitCount);
    Put32(header, layout.compression);
    Put32(header, layout.imageSize.value_or(static_cast<uint32_t>(layout.data.size())));
    Put32(header, static_cast<uint32_t>(layout.xPelsPerMetre));
    Put32(header, static_cast<uint32_t>(layout.yPelsPerMetre));
    Put32(header, layout.coloursUsed.value_or(static_cast<uint32_t>(layout.palette.size())));
    Put32(header, 0);  // colours important
  }
  std::string masks;
  for (uint32_t mask : layout.masks) Put32(masks, mask);
  if (layout.headerSize >= 52) {
    header += masks;
    masks.clear();
  }
  // Larger sizes are only claimed, for tests of headers that run past the file.
  if (header.size() < layout.headerSize && layout.headerSize <= 1024) {
    header.resize(layout.headerSize, '\0');
  }

  std::string table;
  for (uint32_t colour : layout.palette) {
    table += static_cast<char>(colour & 0xFF);
    table += static_cast<char>((colour >> 8) & 0xFF);
    table += static_cast<char>((colour >> 16) & 0xFF);
    if (layout.headerSize != 12) table += '\0';
  }

  std::string body = header + masks + table;
  if (!layout.fileHeader) return body + layout.data;
  std::string file = "BM";
  const auto offset = static_cast<uint32_t>(14 + body.size());
  Put32(file, static_cast<uint32_t>(offset + layout.data.size()));
  Put32(file, 0);
  Put32(file, layout.dataOffset.value_or(offset));
  return file + body + layout.data;
}

std::string PackRows(const std::vector<std::vector<uint32_t>>& rows, int bitCount, bool topDown) {
  std::string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::vector<uint32_t>& row = rows[topDown ? i : rows.size() - 1 - i];
    std::string packed;
    if (bitCount < 8) {
      packed.assign((row.size() * bitCount + 7) / 8, '\0');
      for (size_t x = 0; x < row.size(); ++x) {
        const size_t bit = x * bitCount;
        const int shift = 8 - bitCount - static_cast<int>(bit % 8);
        packed[bit / 8] = static_cast<char>(packed[bit / 8] | (row[x] << shift));
      }
    } else {
      for (uint32_t value : row) {
        for (int byte = 0; byte < bitCount / 8; ++byte) {
          packed += static_cast<char>((value >> (8 * byte)) & 0xFF);
        }
      }
    }
    packed.resize((packed.size() + 3) / 4 * 4, '\0');
    out += packed;
  }
  return out;
}

}  // namespace velmora::testing
