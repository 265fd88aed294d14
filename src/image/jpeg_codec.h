#pragma once
// JPEG pictures: decoding into the shared picture form and encoding it again with the
// library's strongest compression settings, carrying the source's ICC colour profile
// over. EXIF metadata is added afterwards (exif_block.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/picture.h"

struct jpeg_compress_struct;

namespace velmora {

// True when the file holds at least 24 bytes and starts with FF D8 FF.
bool IsJpegFile(const std::string& path);

// Decodes the file: 24 bits per pixel for colour, 8 for grey. kPartial: decoding
// stopped early or the data was damaged or cut off, and rows that could not be decoded
// are zero. kUnsupported: neither RGB with 3 components nor grey with 1 (CMYK, YCCK).
ReadStatus ReadJpeg(const std::string& path, Picture& picture);
// The same with the library's working memory held to memoryLimit bytes: a picture
// that needs more is kUnreadable.
ReadStatus ReadJpegWithin(const std::string& path, Picture& picture, uint64_t memoryLimit);

// What the frame header says, read without decoding any picture data.
struct JpegHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  int components = 0;
  bool progressive = false;  // the library then holds every coefficient while decoding
};
bool ReadJpegHeader(const std::string& path, JpegHeader& header);

// Encodes an 8- or 24-bit picture into output at the quality, which is clamped to
// 0..100. A nearly grey colour picture is written with one component. When
// sourcePath names a JPEG with an ICC profile, the profile is copied. On failure the
// output file is removed, so that no partial file is left behind.
bool WriteJpeg(const std::string& output, const Picture& picture, unsigned quality,
               const std::string& sourcePath);

// The ICC profile of a JPEG file put together from its APP2 chunks; empty when the
// file has none or its chunks are inconsistent.
std::string LoadIccProfile(const std::string& path);
// Writes the profile as APP2 chunks of at most 65519 bytes; to be called between the
// start of compression and the first row. False when the profile is too long for 255
// chunks.
bool EmbedIccProfile(jpeg_compress_struct* encoder, std::string_view profile);

// True when every pixel of the RGB buffer has channel differences of at most 3.
bool IsNearlyGrey(const uint8_t* rgb, size_t pixelCount);
// One byte per pixel, the mean of red, green and blue; null when memory is short.
PixelBuffer MakeGreyPlane(const uint8_t* rgb, size_t pixelCount);

// The quality handed to the library: values above 100 are 100. The library itself
// takes 0 as 1.
int ClampJpegQuality(unsigned quality);

// The JPEG library this build encodes with, e.g. "libjpeg-turbo 2.1.5".
std::string JpegLibraryText();

}  // namespace velmora
