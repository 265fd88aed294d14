#include "support/png_builder.h"

#include <zlib.h>

namespace velmora::testing {

int ChannelsOf(int colourType) {
  switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

std::string BigEndian32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  return out;
}

uint32_t ReadBigEndian32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

std::string EncodeChunk(const std::string& type, const std::string& data) {
  std::string body = type + data;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian32(static_cast<uint32_t>(data.size())) + body +
         BigEndian32(static_cast<uint32_t>(crc));
}

namespace {

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// Appends one row of the sub-image made of every dx-th pixel from x0 in row y.
void AppendRow(const PngLayout& layout, uint32_t y, uint32_t x0, uint32_t dx, std::string& raw) {
  const int channels = ChannelsOf(layout.colourType);
  raw += '\0';  // filter type None
  uint32_t bitBuffer = 0;
  int bits = 0;
  for (uint32_t x = x0; x < layout.width; x += dx) {
    for (int c = 0; c < channels; ++c) {
      const uint16_t sample =
          layout.samples[(static_cast<size_t>(y) * layout.width + x) * channels + c];
      if (layout.bitDepth == 16) {
        raw += static_cast<char>(sample >> 8);
        raw += static_cast<char>(sample & 0xFF);
      } else if (layout.bitDepth == 8) {
        raw += static_cast<char>(sample);
      } else {
        bitBuffer = (bitBuffer << layout.bitDepth) | (sample & ((1u << layout.bitDepth) - 1));
        bits += layout.bitDepth;
        if (bits == 8) {
          raw += static_cast<char>(bitBuffer);
          bitBuffer = 0;
          bits = 0;
        }
      }
    }
  }
  if (bits > 0) raw += static_cast<char>(bitBuffer << (8 - bits));
}

}  // namespace

std::string EncodePng(const PngLayout& layout) {
  std::string raw;
  if (layout.interlaced) {
    static const uint32_t x0[7] = {0, 4, 0, 2, 0, 1, 0};
    static const uint32_t y0[7] = {0, 0, 4, 0, 2, 0, 1};
    static const uint32_t dx[7] = {8, 8, 4, 4, 2, 2, 1};
    static const uint32_t dy[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) {
      if (layout.width <= x0[pass] || layout.height <= y0[pass]) continue;  // empty pass
      for (uint32_t y = y0[pass]; y < layout.height; y += dy[pass]) {
        AppendRow(layout, y, x0[pass], dx[pass], raw);
      }
    }
  } else {
    for (uint32_t y = 0; y < layout.height; ++y) AppendRow(layout, y, 0, 1, raw);
  }
  std::string header = BigEndian32(layout.width) + BigEndian32(layout.height);
  header += static_cast<char>(layout.bitDepth);
  header += static_cast<char>(layout.colourType);
  header += '\0';
  header += '\0';
  header += static_cast<char>(layout.interlaced ? 1 : 0);
  std::string file("\x89PNG\r\n\x1a\n", 8);
  file += EncodeChunk("IHDR", header);
  for (const PngChunk& chunk : layout.chunks) file += EncodeChunk(chunk.type, chunk.data);
  file += EncodeChunk("IDAT", Deflate(raw));
  file += EncodeChunk("IEND", "");
  return file;
}

std::string IccpData(const std::string& name, const std::string& profile) {
  return name + std::string(2, '\0') + Deflate(profile);
}

std::string MinimalIccProfile(const char* colourSpace) {
  // 128 bytes of filler after the empty tag table keep the compressed chunk long
  // enough: libpng refuses iCCP chunks shorter than 92 bytes.
  std::string profile(260, '\0');
  uint32_t state = 12345;
  for (size_t i = 132; i < profile.size(); ++i) {
    state = state * 1103515245 + 12345;
    profile[i] = static_cast<char>(state >> 24);
  }
  profile.replace(0, 4, BigEndian32(260));
  profile.replace(8, 4, std::string("\x02\x10\x00\x00", 4));  // version 2.1
  profile.replace(12, 4, "mntr");
  profile.replace(16, 4, colourSpace);
  profile.replace(20, 4, "XYZ ");
  profile.replace(36, 4, "acsp");
  // The D50 illuminant in s15Fixed16: 0.9642, 1.0, 0.8249.
  profile.replace(68, 12,
                  BigEndian32(0x0000F6D6) + BigEndian32(0x00010000) + BigEndian32(0x0000D32D));
  return profile;  // tag count 0 at offset 128
}

std::vector<PngChunk> ListChunks(const std::string& file) {
  std::vector<PngChunk> chunks;
  size_t offset = 8;
  while (offset + 12 <= file.size()) {
    const uint32_t length = ReadBigEndian32(file, offset);
    if (length > file.size() - offset - 12) break;
    chunks.push_back({file.substr(offset + 4, 4), file.substr(offset + 8, length)});
    offset += 12 + static_cast<size_t>(length);
  }
  return chunks;
}

std::string ChunkTypes(const std::string& file) {
  std::string types;
  for (const PngChunk& chunk : ListChunks(file)) {
    if (!types.empty()) types += ' ';
    types += chunk.type;
  }
  return types;
}

const PngChunk* FindChunk(const std::vector<PngChunk>& chunks, const std::string& type) {
  for (const PngChunk& chunk : chunks) {
    if (chunk.type == type) return &chunk;
  }
  return nullptr;
}

std::string AnimatedPng(uint32_t width, uint32_t height) {
  PngLayout layout;
  layout.width = width;
  layout.height = height;
  layout.colourType = 2;
  for (uint32_t i = 0; i < width * height * 3; ++i) {
    layout.samples.push_back(static_cast<uint16_t>(i % 251));
  }
  layout.chunks.push_back({"acTL", BigEndian32(2) + BigEndian32(0)});
  return EncodePng(layout);
}

}  // namespace velmora::testing
