#pragma once
// JPEG files made and inspected with libjpeg itself, for the tests of the JPEG
// recompression and its metadata.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmora::testing {

struct JpegLayout {
  int width = 24;
  int height = 16;
  int components = 3;  // 1 grey, 3 RGB, 4 CMYK
  // width × height × components samples; empty gives a colourful gradient.
  std::string samples;
  bool jfif = true;
  int densityUnit = 1;
  int xDensity = 72;
  int yDensity = 72;
  int quality = 95;
  bool progressive = false;
  int restartRows = 0;  // a restart marker every this many MCU rows; 0 for none
  // Sampling factors of the first component (2×2 is 4:2:0, 2×1 4:2:2, 1×1 4:4:4).
  int hSampling = 2;
  int vSampling = 2;
  // Segments written right after the encoder's own: marker code and payload.
  std::vector<std::pair<int, std::string>> markers;
};

// The bytes of a JPEG file made to the layout.
std::string MakeJpeg(const JpegLayout& layout);

// The segments in front of the first scan that are no coding tables (quantisation,
// Huffman, restart interval, frame): what a lossless transcode carries over byte for
// byte and in order.
std::vector<std::string> KeptJpegSegments(const std::string& bytes);

// A gradient whose pixels differ by channel, so that it is never nearly grey.
std::string ColourfulSamples(int width, int height);

// The payload of one APP2 chunk of an ICC profile.
std::string IccChunk(int sequence, int count, const std::string& bytes);

// What libjpeg reads from a file's header.
struct JpegHeader {
  int width = 0;
  int height = 0;
  int components = 0;
  bool jfif = false;
  int densityUnit = 0;
  int xDensity = 0;
  int yDensity = 0;
  bool progressive = false;
  int firstLuminanceQuantiser = 0;  // entry 0 of quantisation table 0
};
std::optional<JpegHeader> ReadJpegHeader(const std::string& path);

// The segments of a file from the start of image up to and including the first scan
// header: marker and payload (without the length field). A segment running past the
// end fails the test.
std::vector<std::pair<int, std::string>> JpegSegments(const std::string& bytes);

// The payload of the file's first EXIF segment (starting "Exif"), or nullopt.
std::optional<std::string> ExifPayload(const std::string& bytes);

}  // namespace velmora::testing
