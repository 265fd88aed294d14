#pragma once
// GIF reader: decodes every frame of a GIF, painted over the previous ones in file order
// (disposal methods are not applied), into one 32-bit RGBA picture the size of the
// logical screen, and counts the frames, so that animated pictures can be told apart.

#include <cstdint>
#include <memory>
#include <string>

#include "image/pixel_buffer.h"

namespace velmora {

class GifDecoderState;

class CMyGIF {
 public:
  CMyGIF();
  virtual ~CMyGIF();
  CMyGIF(const CMyGIF&) = delete;
  CMyGIF& operator=(const CMyGIF&) = delete;

  // True when the file is at least 13 bytes long and starts with "GIF8".
  static bool IsGIF(const std::string& path);

  // Decodes the file. status: 0 complete, 1 damaged or cut short (the picture holds
  // what could be decoded), 2 unreadable (returns false, and the object holds no
  // picture).
  bool Read(const std::string& path, int& status);

  int32_t width = 0;   // the logical screen
  int32_t height = 0;
  uint8_t bitsPerPixel = 0;        // 32 after a successful read
  uint8_t sourceBitsPerPixel = 0;  // 8 for a plain palette picture, 24 for a composite
  // Frames painted; stays at 255 for more, so that any count above one still reads as
  // animated.
  uint8_t frameCount = 0;
  // The exact number, for checks that a rewritten animation kept every frame.
  int32_t framesRead = 0;
  PixelBuffer pixels;
  float xResolution = 72.0f;  // GIF files carry no resolution
  float yResolution = 72.0f;

 private:
  // Code tables and read-ahead buffer of the decoder, made on the first read and kept
  // for later ones; each object has its own, so pictures can be read in parallel.
  std::unique_ptr<GifDecoderState> state_;
};

}  // namespace velmora
