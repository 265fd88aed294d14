#pragma once
// PNG files built and taken apart byte by byte, without libpng, so that the reader is
// tested against data that the code under test had no hand in, and the writers'
// chunks can be inspected.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

struct PngChunk {
  std::string type;
  std::string data;
};

struct PngLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colourType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey-alpha, 6 RGBA
  bool interlaced = false;
  // Unpacked samples, width × height × channels, rows top to bottom.
  std::vector<uint16_t> samples;
  // Chunks between IHDR and the image data, in order (PLTE, tRNS, gAMA, ...).
  std::vector<PngChunk> chunks;
};

int ChannelsOf(int colourType);
// A whole PNG file; IDAT holds the rows with filter 0, in Adam7 order when interlaced.
std::string EncodePng(const PngLayout& layout);
// An RGB PNG whose animation control chunk (two frames) stands before its image data.
std::string AnimatedPng(uint32_t width, uint32_t height);
// One chunk with length and CRC.
std::string EncodeChunk(const std::string& type, const std::string& data);
std::string BigEndian32(uint32_t value);
// The data of an iCCP chunk: name, compression method 0 and the deflated profile.
std::string IccpData(const std::string& name, const std::string& profile);
// An ICC profile of the given colour space ("RGB ", "GRAY") without tags: the header
// that libpng checks and filler.
std::string MinimalIccProfile(const char* colourSpace);

// The chunks of a PNG file in order; stops at the first malformed one.
std::vector<PngChunk> ListChunks(const std::string& file);
// The types of the chunks, e.g. "IHDR sBIT pHYs IDAT IEND".
std::string ChunkTypes(const std::string& file);
const PngChunk* FindChunk(const std::vector<PngChunk>& chunks, const std::string& type);
uint32_t ReadBigEndian32(const std::string& bytes, size_t offset);

}  // namespace velmora::testing
