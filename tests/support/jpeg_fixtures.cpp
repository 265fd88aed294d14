#include "support/jpeg_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "image/jpeg_segments.h"

namespace velmora::testing {

namespace {

struct FixtureErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<FixtureErrors*>(info->err)->jump, 1);
}
void Quiet(j_common_ptr) {}

// setjmp lives here only; nothing with a destructor is created below it.
bool Encode(jpeg_compress_struct& c, FixtureErrors& errors, const JpegLayout& layout,
            const std::string& samples, unsigned char** out, unsigned long* size) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, out, size);
  c.image_width = static_cast<JDIMENSION>(layout.width);
  c.image_height = static_cast<JDIMENSION>(layout.height);
  c.input_components = layout.components;
  c.in_color_space = layout.components == 1 ? JCS_GRAYSCALE : layout.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  c.write_JFIF_header = layout.jfif ? TRUE : FALSE;
  c.density_unit = static_cast<UINT8>(layout.densityUnit);
  c.X_density = static_cast<UINT16>(layout.xDensity);
  c.Y_density = static_cast<UINT16>(layout.yDensity);
  jpeg_set_quality(&c, layout.quality, TRUE);
  if (layout.components == 3) {
    c.comp_info[0].h_samp_factor = layout.hSampling;
    c.comp_info[0].v_samp_factor = layout.vSampling;
  }
  c.restart_in_rows = layout.restartRows;
  if (layout.progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (const auto& [marker, payload] : layout.markers) {
    jpeg_write_marker(&c, marker, reinterpret_cast<const JOCTET*>(payload.data()),
                      static_cast<unsigned>(payload.size()));
  }
  const size_t stride = static_cast<size_t>(layout.width) * layout.components;
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<char*>(samples.data())) +
                   c.next_scanline * stride;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  return true;
}

bool Inspect(jpeg_decompress_struct& d, FixtureErrors& errors, std::FILE* file) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, file);
  return jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK;
}

}  // namespace

std::string ColourfulSamples(int width, int height) {
  std::string samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      samples += static_cast<char>(40 + x * 180 / std::max(1, width - 1));
      samples += static_cast<char>(220 - y * 150 / std::max(1, height - 1));
      samples += static_cast<char>((x * 7 + y * 13) % 64);
    }
  }
  return samples;
}

std::string MakeJpeg(const JpegLayout& layout) {
  std::string samples = layout.samples;
  if (samples.empty()) {
    if (layout.components == 3) {
      samples = ColourfulSamples(layout.width, layout.height);
    } else {
      for (int i = 0; i < layout.width * layout.height * layout.components; ++i) {
        samples += static_cast<char>((i * 37) % 256);
      }
    }
  }
  EXPECT_EQ(samples.size(), static_cast<size_t>(layout.width) * layout.height * layout.components);
  jpeg_compress_struct c{};
  FixtureErrors errors{};
  c.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JumpOut;
  errors.pub.output_message = Quiet;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const bool ok = Encode(c, errors, layout, samples, &out, &size);
  jpeg_destroy_compress(&c);
  std::string bytes = ok ? std::string(reinterpret_cast<char*>(out), size) : std::string();
  std::free(out);
  EXPECT_TRUE(ok) << "libjpeg refused the fixture";
  return bytes;
}

std::vector<std::string> KeptJpegSegments(const std::string& bytes) {
  std::vector<std::string> kept;
  JpegSegmentWalker walker(bytes);
  JpegSegment segment;
  while (walker.Next(segment) && segment.marker != 0xDA) {
    const uint8_t m = segment.marker;
    const bool coding = m == 0xDB || m == 0xC4 || m == 0xDD || (m >= 0xC0 && m <= 0xCF);
    if (!coding) kept.push_back(bytes.substr(segment.position, segment.end - segment.position));
  }
  return kept;
}

std::string IccChunk(int sequence, int count, const std::string& bytes) {
  std::string payload("ICC_PROFILE\0", 12);
  payload += static_cast<char>(sequence);
  payload += static_cast<char>(count);
  return payload + bytes;
}

std::optional<JpegHeader> ReadJpegHeader(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  jpeg_decompress_struct d{};
  FixtureErrors errors{};
  d.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JumpOut;
  errors.pub.output_message = Quiet;
  std::optional<JpegHeader> header;
  if (Inspect(d, errors, file)) {
    JpegHeader h;
    h.width = static_cast<int>(d.image_width);
    h.height = static_cast<int>(d.image_height);
    h.components = d.num_components;
    h.jfif = d.saw_JFIF_marker != FALSE;
    h.densityUnit = d.density_unit;
    h.xDensity = d.X_density;
    h.yDensity = d.Y_density;
    h.progressive = d.progressive_mode != FALSE;
    if (d.quant_tbl_ptrs[0] != nullptr) h.firstLuminanceQuantiser = d.quant_tbl_ptrs[0]->quantval[0];
    header = h;
  }
  jpeg_destroy_decompress(&d);
  std::fclose(file);
  return header;
}

std::vector<std::pair<int, std::string>> JpegSegments(const std::string& bytes) {
  std::vector<std::pair<int, std::string>> segments;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() < 2 || byte(0) != 0xFF || byte(1) != 0xD8) {
    ADD_FAILURE() << "no start of image";
    return segments;
  }
  segments.emplace_back(0xD8, "");
  size_t i = 2;
  while (i + 4 <= bytes.size()) {
    if (byte(i) != 0xFF) {
      ADD_FAILURE() << "no marker at " << i;
      break;
    }
    const int marker = byte(i + 1);
    const size_t length = (byte(i + 2) << 8) | byte(i + 3);
    if (length < 2 || i + 2 + length > bytes.size()) {
      ADD_FAILURE() << "segment at " << i << " runs past the end";
      break;
    }
    segments.emplace_back(marker, bytes.substr(i + 4, length - 2));
    if (marker == 0xDA) break;
    i += 2 + length;
  }
  return segments;
}

std::optional<std::string> ExifPayload(const std::string& bytes) {
  for (const auto& [marker, payload] : JpegSegments(bytes)) {
    if (marker == 0xE1 && payload.compare(0, 4, "Exif") == 0) return payload;
  }
  return std::nullopt;
}

}  // namespace velmora::testing
