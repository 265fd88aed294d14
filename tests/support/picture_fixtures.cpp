#include "support/picture_fixtures.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "support/bmp_writer.h"
#include "support/gif_writer.h"

namespace velmora::testing {

namespace {

constexpr uint32_t kStripeColours[16] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x008080, 0x800080, 0xC0C0C0, 0x808080};

std::vector<uint32_t> StripePalette() {
  return std::vector<uint32_t>(std::begin(kStripeColours), std::end(kStripeColours));
}

std::string BigEndian(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  return out;
}

std::string Chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(static_cast<uint32_t>(data.size())) + body +
         BigEndian(static_cast<uint32_t>(crc));
}

}  // namespace

uint32_t GradientColour(int x, int y) {
  const uint32_t red = static_cast<uint32_t>(x * 3 + y * y / 16) & 0xFF;
  const uint32_t green = static_cast<uint32_t>(y * 5 + x * x / 32) & 0xFF;
  const uint32_t blue = static_cast<uint32_t>((x ^ y) * 4) & 0xFF;
  return (red << 16) | (green << 8) | blue;
}

std::string GradientRgb(int width, int height) {
  std::string rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = GradientColour(x, y);
      rgb += static_cast<char>(c >> 16);
      rgb += static_cast<char>((c >> 8) & 0xFF);
      rgb += static_cast<char>(c & 0xFF);
    }
  }
  return rgb;
}

std::string GradientBmp(int width, int height, int bitCount) {
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t alpha = bitCount == 32 && x >= width / 2 ? 0u : 0xFF000000u;
      rows[static_cast<size_t>(y)].push_back(GradientColour(x, y) | alpha);
    }
  }
  BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitCount = static_cast<uint16_t>(bitCount);
  layout.xPelsPerMetre = layout.yPelsPerMetre = 3780;
  layout.data = PackRows(rows, bitCount, false);
  return BuildBmp(layout);
}

uint32_t NoiseColour(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h & 0xFFFFFFu;
}

std::string NoiseBmp(int width, int height, int bitCount) {
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t colour = NoiseColour(x, y);
      rows[static_cast<size_t>(y)].push_back(bitCount == 8 ? colour % 16 : colour | 0xFF000000u);
    }
  }
  BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitCount = static_cast<uint16_t>(bitCount);
  if (bitCount == 8) layout.palette = StripePalette();
  layout.data = PackRows(rows, bitCount, false);
  return BuildBmp(layout);
}

std::string StripedBmp(int width, int height, int bitCount) {
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) rows[static_cast<size_t>(y)].push_back((x / 4) % 16);
  }
  BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitCount = static_cast<uint16_t>(bitCount);
  layout.palette = StripePalette();
  layout.data = PackRows(rows, bitCount, false);
  return BuildBmp(layout);
}

std::string StripedGif(int width, int height) {
  GifSpec layout;
  layout.width = width;
  layout.height = height;
  layout.globalTable = StripePalette();
  GifFrameSpec frame;
  frame.width = width;
  frame.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      frame.indices.push_back(static_cast<uint16_t>(((x + y) / 3) % 16));
    }
  }
  layout.frames.push_back(frame);
  return BuildGif(layout);
}

std::string MovingSquareGif(int width, int height, int frames) {
  GifSpec layout;
  layout.width = width;
  layout.height = height;
  layout.globalTable = StripePalette();
  const int side = std::max(1, std::min(width, height) / 4);
  for (int f = 0; f < frames; ++f) {
    GifFrameSpec frame;
    frame.width = width;
    frame.height = height;
    frame.transparent = -1;  // a graphic control block, as animations have
    const int left = (f * 2) % std::max(1, width - side);
    const int top = (f * 3) % std::max(1, height - side);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool square = x >= left && x < left + side && y >= top && y < top + side;
        frame.indices.push_back(static_cast<uint16_t>(square ? 2 : (y / 4) % 2 == 0 ? 14 : 15));
      }
    }
    layout.frames.push_back(frame);
  }
  return BuildGif(layout);
}

std::string GradientPng(int width, int height, int zlibLevel) {
  std::string raw;
  const std::string rgb = GradientRgb(width, height);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // no filter
    raw += rgb.substr(static_cast<size_t>(y) * stride, stride);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string deflated(size, '\0');
  compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
            reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), zlibLevel);
  deflated.resize(size);
  std::string header = BigEndian(static_cast<uint32_t>(width)) +
                       BigEndian(static_cast<uint32_t>(height)) + std::string("\x08\x02\0\0\0", 5);
  return "\x89PNG\r\n\x1A\n" + Chunk("IHDR", header) +
         Chunk("tEXt", std::string("Comment\0", 8) + std::string(80, 'c')) +
         Chunk("IDAT", deflated) + Chunk("IEND", "");
}

}  // namespace velmora::testing
