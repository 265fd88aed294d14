#pragma once
// Synthetic pictures for the bundled sample documents, each made to look like what
// offices paste into documents: a camera photo, a screenshot, a chart, a drawing and
// a small animation. Everything is deterministic, so the samples rebuild byte for byte.

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

struct Rgb {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // RGB, top row first
};

// Picture generators.
Rgb MakePhoto(int width, int height);
Rgb MakeScreenshot(int width, int height);
Rgb MakeChart(int width, int height);

// Encoders. Each returns the file's bytes.
std::string EncodeJpeg(const Rgb& picture, int quality, const std::string& exifPayload);
std::string EncodeBmp24(const Rgb& picture);
std::string EncodePngRgb(const Rgb& picture);
// The EXIF payload of a camera photo (little-endian TIFF with IFD0, an Exif IFD and a
// thumbnail in IFD1), starting with "Exif\0\0".
std::string MakeCameraExif(int width, int height, const std::string& thumbnailJpeg);

// GIF pictures with their own palette; frames share the global palette.
struct IndexedFrame {
  std::vector<uint8_t> indices;  // width × height palette indices
  int delayCentiseconds = 0;
};
std::string EncodeGif(int width, int height, const std::vector<uint8_t>& paletteRgb,
                      const std::vector<IndexedFrame>& frames, bool loop);
std::string MakeStillGif();
std::string MakeAnimatedGif();

}  // namespace samples
