#include "pictures.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>

namespace samples {

namespace {

// A small deterministic generator (xorshift32).
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double Unit() { return (Next() & 0xFFFFFF) / double(0x1000000); }

 private:
  uint32_t state_;
};

// Smooth value noise on a lattice, for textures that compress like real photos.
class ValueNoise {
 public:
  explicit ValueNoise(uint32_t seed) {
    Random random(seed);
    for (double& v : lattice_) v = random.Unit();
  }
  double At(double x, double y) const {
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    double fx = x - xi, fy = y - yi;
    auto corner = [&](int cx, int cy) { return lattice_[((cy & 255) << 8) | (cx & 255)]; };
    auto smooth = [](double t) { return t * t * (3 - 2 * t); };
    double a = corner(xi, yi), b = corner(xi + 1, yi), c = corner(xi, yi + 1),
           d = corner(xi + 1, yi + 1);
    double sx = smooth(fx), sy = smooth(fy);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
  }
  double Fractal(double x, double y, int octaves) const {
    double sum = 0, amplitude = 0.5, frequency = 1;
    for (int i = 0; i < octaves; ++i) {
      sum += amplitude * At(x * frequency, y * frequency);
      amplitude *= 0.5;
      frequency *= 2;
    }
    return sum;
  }

 private:
  double lattice_[256 * 256];
};

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

void Fill(Rgb& p, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = std::max(0, y0); y < std::min(p.height, y1); ++y) {
    for (int x = std::max(0, x0); x < std::min(p.width, x1); ++x) {
      uint8_t* px = &p.pixels[(static_cast<size_t>(y) * p.width + x) * 3];
      px[0] = r, px[1] = g, px[2] = b;
    }
  }
}

}  // namespace

Rgb MakePhoto(int width, int height) {
  Rgb p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  ValueNoise noise(7), grain(11);
  Random random(1234);
  const double horizon = height * 0.55;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double u = double(x) / width, v = double(y) / height;
      double r, g, b;
      // Distant ridges: summed sines with noise.
      double ridge = horizon - height * (0.12 + 0.06 * std::sin(u * 7.1) + 0.04 * std::sin(u * 17.3 + 1) +
                                         0.05 * noise.Fractal(u * 6, 0.5, 4));
      if (y < ridge) {
        // Sky: deep blue to hazy horizon, a sun with glow and soft clouds.
        double t = double(y) / horizon;
        r = 70 + 120 * t, g = 120 + 100 * t, b = 200 + 40 * t;
        double dx = u - 0.72, dy = v - 0.18;
        double sun = std::exp(-(dx * dx + dy * dy) * 90);
        r += 120 * sun, g += 100 * sun, b += 40 * sun;
        double cloud = std::max(0.0, noise.Fractal(u * 5 + 3, v * 9, 5) - 0.45) * 2.2;
        r += (250 - r) * cloud, g += (250 - g) * cloud, b += (252 - b) * cloud;
      } else if (y < horizon) {
        double shade = 0.6 + 0.4 * noise.Fractal(u * 30, v * 30, 5);
        r = 60 * shade, g = 90 * shade, b = 80 * shade;
      } else {
        // Meadow with a path and texture, darker towards the viewer.
        double t = (y - horizon) / (height - horizon);
        double tex = noise.Fractal(u * 80, v * 40, 6);
        r = (90 + 60 * tex) * (1 - 0.3 * t), g = (130 + 70 * tex) * (1 - 0.25 * t),
        b = (50 + 30 * tex) * (1 - 0.3 * t);
        double path = std::fabs(u - 0.5 - 0.15 * std::sin(t * 3)) - (0.02 + 0.2 * t);
        if (path < 0) r = 170 + 40 * tex, g = 150 + 30 * tex, b = 110 + 20 * tex;
      }
      // Sensor noise: what makes a camera picture expensive to store.
      double n = (grain.At(x * 0.9, y * 0.9) - 0.5) * 14 + (random.Unit() - 0.5) * 8;
      uint8_t* px = &p.pixels[(static_cast<size_t>(y) * width + x) * 3];
      px[0] = Clamp(r + n), px[1] = Clamp(g + n), px[2] = Clamp(b + n);
    }
  }
  return p;
}

Rgb MakeScreenshot(int width, int height) {
  Rgb p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  Random random(99);
  Fill(p, 0, 0, width, height, 0x3A, 0x6E, 0xA5);  // desktop
  const int wx = 20, wy = 16, ww = width - 40, wh = height - 40;
  Fill(p, wx, wy, wx + ww, wy + wh, 0xF3, 0xF3, 0xF3);
  for (int y = wy; y < wy + 28; ++y) {  // title bar gradient
    uint8_t c = static_cast<uint8_t>(0x2B + (y - wy) * 2);
    Fill(p, wx, y, wx + ww, y + 1, c, static_cast<uint8_t>(c + 0x30), 0xC8);
  }
  Fill(p, wx + ww - 26, wy + 6, wx + ww - 8, wy + 22, 0xE0, 0x40, 0x40);  // close box
  Fill(p, wx, wy + 28, wx + ww, wy + 50, 0xE8, 0xE8, 0xE8);  // menu bar
  for (int i = 0; i < 6; ++i) Fill(p, wx + 12 + i * 60, wy + 35, wx + 52 + i * 60, wy + 43, 0x40, 0x40, 0x40);
  for (int i = 0; i < 12; ++i) {  // toolbar icons
    uint8_t r = static_cast<uint8_t>(random.Next()), g = static_cast<uint8_t>(random.Next()),
            b = static_cast<uint8_t>(random.Next());
    Fill(p, wx + 10 + i * 30, wy + 56, wx + 32 + i * 30, wy + 78, r, g, b);
  }
  Fill(p, wx, wy + 84, wx + 150, wy + wh - 24, 0xE4, 0xEA, 0xF2);  // side panel
  for (int i = 0; i < 14; ++i) Fill(p, wx + 14, wy + 100 + i * 22, wx + 30 + static_cast<int>(random.Next() % 90), wy + 110 + i * 22, 0x30, 0x30, 0x60);
  // Text lines: words as dark blocks of varying width.
  for (int line = 0; wy + 100 + line * 18 < wy + wh - 40; ++line) {
    int x = wx + 170;
    while (x < wx + ww - 60) {
      int word = 10 + static_cast<int>(random.Next() % 60);
      Fill(p, x, wy + 100 + line * 18, x + word, wy + 110 + line * 18, 0x22, 0x22, 0x22);
      x += word + 7;
    }
  }
  Fill(p, wx, wy + wh - 24, wx + ww, wy + wh, 0xDD, 0xDD, 0xDD);  // status bar
  return p;
}

Rgb MakeChart(int width, int height) {
  Rgb p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, 0xFF)};
  const uint8_t colours[6][3] = {{0x4E, 0x79, 0xA7}, {0xF2, 0x8E, 0x2B}, {0xE1, 0x57, 0x59},
                                 {0x76, 0xB7, 0xB2}, {0x59, 0xA1, 0x4F}, {0xED, 0xC9, 0x48}};
  for (int i = 0; i <= 8; ++i) Fill(p, 50, 30 + i * 40, width - 20, 31 + i * 40, 0xD0, 0xD0, 0xD0);
  Fill(p, 50, 30, 52, height - 48, 0x20, 0x20, 0x20);
  Fill(p, 50, height - 50, width - 20, height - 48, 0x20, 0x20, 0x20);
  const int values[6] = {210, 150, 290, 120, 250, 180};
  for (int i = 0; i < 6; ++i) {
    int x = 80 + i * 85;
    Fill(p, x, height - 50 - values[i], x + 55, height - 50, colours[i][0], colours[i][1], colours[i][2]);
  }
  return p;
}

std::string EncodeJpeg(const Rgb& picture, int quality, const std::string& exifPayload) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour, as high-quality camera settings store it.
  for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  cinfo.density_unit = 1;
  cinfo.X_density = cinfo.Y_density = 72;
  jpeg_start_compress(&cinfo, TRUE);
  if (!exifPayload.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exifPayload.data()),
                      static_cast<unsigned>(exifPayload.size()));
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&picture.pixels[static_cast<size_t>(cinfo.next_scanline) * picture.width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

namespace {

void Put16(std::string& s, uint16_t v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, static_cast<uint16_t>(v & 0xFFFF)), Put16(s, static_cast<uint16_t>(v >> 16)); }

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

void PutIfd(std::string& s, const std::vector<Entry>& entries, uint32_t next) {
  Put16(s, static_cast<uint16_t>(entries.size()));
  for (const Entry& e : entries) Put16(s, e.tag), Put16(s, e.type), Put32(s, e.count), Put32(s, e.value);
  Put32(s, next);
}

}  // namespace

std::string MakeCameraExif(int width, int height, const std::string& thumbnailJpeg) {
  // Layout (TIFF offsets): header 0-7, IFD0 at 8 (9 entries), then its values, the
  // Exif IFD, its values, IFD1 and the thumbnail.
  const std::string make = "Velmora Optics", model = "Sample Camera S1";
  const std::string date = "2026:03:14 09:26:53";
  std::string t;
  t += "II";
  Put16(t, 42);
  Put32(t, 8);
  const uint32_t ifd0 = 8, ifd0Size = 2 + 9 * 12 + 4;
  uint32_t at = ifd0 + ifd0Size;
  const uint32_t makeAt = at;       at += static_cast<uint32_t>(make.size() + 1 + (make.size() + 1) % 2);
  const uint32_t modelAt = at;      at += static_cast<uint32_t>(model.size() + 1 + (model.size() + 1) % 2);
  const uint32_t xresAt = at;       at += 8;
  const uint32_t yresAt = at;       at += 8;
  const uint32_t dateAt = at;       at += 20;
  const uint32_t exifIfd = at;      const uint32_t exifSize = 2 + 5 * 12 + 4; at += exifSize;
  const uint32_t origAt = at;       at += 20;
  const uint32_t digiAt = at;       at += 20;
  const uint32_t ifd1 = at;         const uint32_t ifd1Size = 2 + 6 * 12 + 4; at += ifd1Size;
  const uint32_t thumbAt = at;
  PutIfd(t, {{0x010F, 2, static_cast<uint32_t>(make.size() + 1), makeAt},
             {0x0110, 2, static_cast<uint32_t>(model.size() + 1), modelAt},
             {0x0112, 3, 1, 1},
             {0x011A, 5, 1, xresAt},
             {0x011B, 5, 1, yresAt},
             {0x0128, 3, 1, 2},
             {0x0132, 2, 20, dateAt},
             {0x0213, 3, 1, 1},
             {0x8769, 4, 1, exifIfd}},
         ifd1);
  auto putText = [&](const std::string& text) {
    t += text;
    t += '\0';
    if ((text.size() + 1) % 2) t += '\0';
  };
  putText(make);
  putText(model);
  Put32(t, 72), Put32(t, 1), Put32(t, 72), Put32(t, 1);
  t += date, t += '\0';
  PutIfd(t, {{0x9000, 7, 4, 0x31333230},  // "0231"
             {0x9003, 2, 20, origAt},
             {0x9004, 2, 20, digiAt},
             {0xA002, 4, 1, static_cast<uint32_t>(width)},
             {0xA003, 4, 1, static_cast<uint32_t>(height)}},
         0);
  t += date, t += '\0';
  t += date, t += '\0';
  PutIfd(t, {{0x0103, 3, 1, 6},
             {0x011A, 5, 1, xresAt},
             {0x011B, 5, 1, yresAt},
             {0x0128, 3, 1, 2},
             {0x0201, 4, 1, thumbAt},
             {0x0202, 4, 1, static_cast<uint32_t>(thumbnailJpeg.size())}},
         0);
  if (t.size() != thumbAt) throw std::logic_error("EXIF layout");
  t += thumbnailJpeg;
  return std::string("Exif\0\0", 6) + t;
}

std::string EncodeBmp24(const Rgb& picture) {
  const uint32_t stride = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
  const uint32_t imageSize = stride * static_cast<uint32_t>(picture.height);
  std::string s = "BM";
  Put32(s, 54 + imageSize);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(picture.width));
  Put32(s, static_cast<uint32_t>(picture.height));  // bottom-up
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, imageSize);
  Put32(s, 3780);
  Put32(s, 3780);
  Put32(s, 0);
  Put32(s, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* px = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 3];
      row[x * 3] = static_cast<char>(px[2]);
      row[x * 3 + 1] = static_cast<char>(px[1]);
      row[x * 3 + 2] = static_cast<char>(px[0]);
    }
    s += row;
  }
  return s;
}

std::string EncodePngRgb(const Rgb& picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels.data(), 0, nullptr);
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, picture.pixels.data(), 0, nullptr)) {
    throw std::runtime_error("PNG encoding failed");
  }
  bytes.resize(size);
  return bytes;
}

namespace {

// LZW for GIF: variable code width from minimum code size + 1 up to 12 bits, with a
// clear code whenever the table fills.
std::string LzwEncode(const std::vector<uint8_t>& indices, int minimumCodeSize) {
  std::string out;
  uint32_t bitBuffer = 0;
  int bitCount = 0;
  const int clearCode = 1 << minimumCodeSize, endCode = clearCode + 1;
  int codeSize = minimumCodeSize + 1, nextCode = endCode + 1;
  auto emit = [&](int code) {
    bitBuffer |= static_cast<uint32_t>(code) << bitCount;
    bitCount += codeSize;
    while (bitCount >= 8) {
      out += static_cast<char>(bitBuffer & 0xFF);
      bitBuffer >>= 8;
      bitCount -= 8;
    }
  };
  std::vector<int> table(4096 * 256, -1);
  emit(clearCode);
  int prefix = -1;
  for (uint8_t index : indices) {
    if (prefix < 0) {
      prefix = index;
      continue;
    }
    int& slot = table[static_cast<size_t>(prefix) * 256 + index];
    if (slot >= 0) {
      prefix = slot;
      continue;
    }
    emit(prefix);
    if (nextCode < 4096) {
      slot = nextCode++;
      if (nextCode > (1 << codeSize) && codeSize < 12) ++codeSize;
    } else {
      emit(clearCode);
      std::fill(table.begin(), table.end(), -1);
      codeSize = minimumCodeSize + 1;
      nextCode = endCode + 1;
    }
    prefix = index;
  }
  if (prefix >= 0) emit(prefix);
  emit(endCode);
  if (bitCount > 0) out += static_cast<char>(bitBuffer & 0xFF);
  return out;
}

}  // namespace

std::string EncodeGif(int width, int height, const std::vector<uint8_t>& paletteRgb,
                      const std::vector<IndexedFrame>& frames, bool loop) {
  int entries = static_cast<int>(paletteRgb.size() / 3), sizeCode = 0;
  while ((2 << sizeCode) < entries) ++sizeCode;
  std::string s = "GIF89a";
  Put16(s, static_cast<uint16_t>(width));
  Put16(s, static_cast<uint16_t>(height));
  s += static_cast<char>(0x80 | (sizeCode << 4) | sizeCode);
  s += '\0', s += '\0';
  std::string palette(reinterpret_cast<const char*>(paletteRgb.data()), paletteRgb.size());
  palette.resize(static_cast<size_t>(2 << sizeCode) * 3, '\0');
  s += palette;
  if (loop) s += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  const int minimumCodeSize = std::max(2, sizeCode + 1);
  for (const IndexedFrame& frame : frames) {
    s += std::string("\x21\xF9\x04\x04", 4);  // keep the frame under the next one
    Put16(s, static_cast<uint16_t>(frame.delayCentiseconds));
    s += '\0', s += '\0';
    s += ',';
    Put16(s, 0), Put16(s, 0), Put16(s, static_cast<uint16_t>(width)), Put16(s, static_cast<uint16_t>(height));
    s += '\0';
    s += static_cast<char>(minimumCodeSize);
    std::string data = LzwEncode(frame.indices, minimumCodeSize);
    for (size_t i = 0; i < data.size(); i += 255) {
      size_t n = std::min<size_t>(255, data.size() - i);
      s += static_cast<char>(n);
      s += data.substr(i, n);
    }
    s += '\0';
  }
  s += ';';
  return s;
}

std::string MakeStillGif() {
  const int w = 320, h = 240;
  std::vector<uint8_t> palette;
  for (int i = 0; i < 16; ++i) {
    palette.push_back(static_cast<uint8_t>(255 - i * 12));
    palette.push_back(static_cast<uint8_t>(200 - i * 9));
    palette.push_back(static_cast<uint8_t>(80 + i * 10));
  }
  IndexedFrame frame;
  frame.indices.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double d = std::hypot(x - w * 0.4, y - h * 0.5) + 0.5 * std::hypot(x - w * 0.8, y - h * 0.3);
      frame.indices[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(static_cast<int>(d / 9) % 16);
    }
  }
  return EncodeGif(w, h, palette, {frame}, false);
}

std::string MakeAnimatedGif() {
  const int w = 160, h = 160;
  const std::vector<uint8_t> palette = {0xFF, 0xFF, 0xFF, 0x1F, 0x4E, 0x99, 0xE8, 0x6A, 0x17, 0x2E, 0x9E, 0x4F,
                                        0xC0, 0xC0, 0xC0, 0x40, 0x40, 0x40, 0xF5, 0xD0, 0x2A, 0x8A, 0x2B, 0xE2};
  std::vector<IndexedFrame> frames;
  for (int f = 0; f < 8; ++f) {
    IndexedFrame frame;
    frame.delayCentiseconds = 12;
    frame.indices.assign(static_cast<size_t>(w) * h, 0);
    for (int dot = 0; dot < 6; ++dot) {
      double angle = (f + dot * 1.3333) * 0.785398;
      double cx = w / 2 + 50 * std::cos(angle), cy = h / 2 + 50 * std::sin(angle);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          if (std::hypot(x - cx, y - cy) < 12 - dot) {
            frame.indices[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(1 + dot);
          }
        }
      }
    }
    frames.push_back(std::move(frame));
  }
  return EncodeGif(w, h, palette, frames, true);
}

}  // namespace samples
