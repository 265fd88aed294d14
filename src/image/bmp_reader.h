#pragma once
// Windows bitmap reader: files with or without the 14-byte file header, the 12-, 40- and
// 64-byte info headers and the longer ones, colour tables, 1/4/8/16/24/32 bits per
// pixel, RLE8 and RLE4, bit-field masks, bottom-up and top-down rows, truncated files.
// Every kind becomes 24-bit RGB except 32-bit bitmaps, which become 32-bit RGBA.

#include <cstdint>
#include <string>

#include "image/pixel_buffer.h"

namespace velmora {

class CMyBMP {
 public:
  CMyBMP() = default;
  virtual ~CMyBMP() = default;
  CMyBMP(const CMyBMP&) = delete;
  CMyBMP& operator=(const CMyBMP&) = delete;

  // True when the file starts with a bitmap info header this reader accepts, with or
  // without the file header in front of it.
  static bool IsBMP(const std::string& path);

  // Decodes the file into pixels. status: 0 complete, 1 data ended early or was damaged
  // (the picture then holds the complete rows), 2 unreadable (returns false). On false
  // the object holds no picture.
  bool Read(const std::string& path, int& status);

  int32_t width = 0;
  int32_t height = 0;
  uint8_t bitsPerPixel = 0;        // 24 or 32 after a successful read
  uint8_t sourceBitsPerPixel = 0;  // the file's bit count: 1, 4, 8, 16, 24 or 32
  PixelBuffer pixels;
  float xResolution = 0;  // dots per inch; 0 or less means unknown
  float yResolution = 0;

 private:
  void Clear();
};

}  // namespace velmora
