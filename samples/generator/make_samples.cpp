// Builds the bundled sample documents: samples/sample.hwpx and samples/sample.hml.
// Usage: velmora-make-samples OUTPUT_FOLDER

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "documents.h"
#include "pictures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  using namespace samples;

  const Rgb photo = MakePhoto(1280, 960);
  const Rgb thumbnail = [&] {
    Rgb small{160, 120, std::vector<uint8_t>(160 * 120 * 3)};
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 160; ++x)
        for (int c = 0; c < 3; ++c)
          small.pixels[(y * 160 + x) * 3 + c] = photo.pixels[((y * 8) * 1280 + x * 8) * 3 + c];
    return small;
  }();
  const std::string exif = MakeCameraExif(photo.width, photo.height, EncodeJpeg(thumbnail, 80, ""));
  const Rgb screenshot = MakeScreenshot(800, 600);
  const Rgb chart = MakeChart(600, 400);

  std::vector<SamplePicture> pictures = {
      {"image1", "jpg", EncodeJpeg(photo, 95, exif), photo.width, photo.height, false, false,
       "그림 1. 카메라 사진 (JPEG)"},
      {"image2", "bmp", EncodeBmp24(screenshot), screenshot.width, screenshot.height, true, true,
       "그림 2. 화면 캡처 (24비트 BMP)"},
      {"image3", "png", EncodePngRgb(chart), chart.width, chart.height, false, false,
       "그림 3. 막대 그래프 (PNG)"},
      {"image4", "gif", MakeStillGif(), 320, 240, false, true, "그림 4. 도형 (GIF)"},
      {"image5", "gif", MakeAnimatedGif(), 160, 160, false, false, "그림 5. 움직이는 그림 (GIF)"},
  };

  if (!WriteHwpx(folder + "/sample.hwpx", pictures)) {
    std::fprintf(stderr, "cannot write %s/sample.hwpx\n", folder.c_str());
    return 1;
  }
  std::ofstream hml(folder + "/sample.hml", std::ios::binary | std::ios::trunc);
  const std::string document = MakeHwpml(pictures);
  hml.write(document.data(), static_cast<std::streamsize>(document.size()));
  if (!hml) {
    std::fprintf(stderr, "cannot write %s/sample.hml\n", folder.c_str());
    return 1;
  }
  for (const SamplePicture& p : pictures) {
    std::printf("%s.%s %zu bytes\n", p.id.c_str(), p.extension.c_str(), p.bytes.size());
  }
  return 0;
}
