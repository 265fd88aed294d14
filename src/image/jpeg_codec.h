#pragma once
// JPEG pictures: decoding into the shared pixel form and encoding it again with the
// library's strongest compression settings, carrying the source's ICC colour profile
// over. EXIF metadata is added afterwards by CExifBlock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/pixel_buffer.h"

struct jpeg_compress_struct;

namespace velmora {

// Read status of CMyJPEG.
enum JpegReadStatus : int {
  kJpegComplete = 0,           // the whole picture was decoded
  kJpegDamaged = 1,            // decoding stopped early or the data was damaged or cut off
  kJpegUnreadable = 2,         // not a JPEG, unreadable, too large, or a fatal library error
  kJpegUnsupportedColour = 3,  // neither RGB with 3 components nor grey with 1 (CMYK, YCCK...)
};

class CMyJPEG {
 public:
  CMyJPEG() = default;
  virtual ~CMyJPEG() = default;
  CMyJPEG(const CMyJPEG&) = delete;
  CMyJPEG& operator=(const CMyJPEG&) = delete;

  // True when the file holds at least 24 bytes and starts with FF D8 FF.
  static bool IsJPEG(const std::string& path);

  // Decodes the file into the fields: 24 bits per pixel for colour, 8 for grey.
  // Returns true with status 0 (complete) or 1 (damaged or cut off: rows that could
  // not be decoded are zero), false with status 2 or 3 (see JpegReadStatus).
  bool Read(const std::string& path, int& status);

  // Encodes the picture (8 or 24 bits per pixel) into output at the quality, which is
  // clamped to 0..100. A nearly grey colour picture is written with one component.
  // When sourcePath names a JPEG with an ICC profile, the profile is copied. On
  // failure the output file is removed, so that no partial file is left behind.
  bool Write(const std::string& output, unsigned quality, const std::string& sourcePath) const;

  // The ICC profile of a JPEG file put together from its APP2 chunks; empty when the
  // file has none or its chunks are inconsistent.
  static std::string LoadIccProfile(const std::string& path);
  // Writes the profile as APP2 chunks of at most 65519 bytes; to be called between
  // the start of compression and the first row. False when the profile is too long
  // for 255 chunks.
  static bool EmbedIccProfile(jpeg_compress_struct* encoder, std::string_view profile);

  // True when every pixel of the RGB buffer has channel differences of at most 3.
  static bool IsNearlyGrey(const uint8_t* rgb, size_t pixelCount);
  // One byte per pixel, the mean of red, green and blue; null when memory is short.
  static PixelBuffer MakeGreyPlane(const uint8_t* rgb, size_t pixelCount);

  // The quality handed to the library: values above 100 are 100. The library itself
  // takes 0 as 1.
  static int ClampQuality(unsigned quality);

  int32_t width = 0;
  int32_t height = 0;
  uint8_t bitsPerPixel = 0;
  uint8_t sourceBitsPerPixel = 0;
  PixelBuffer pixels;
  float xResolution = 0;  // dots per inch, 0 when unknown
  float yResolution = 0;
};

}  // namespace velmora
