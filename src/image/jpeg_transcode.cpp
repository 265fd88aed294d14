#include "image/jpeg_transcode.h"

#include <cstring>
#include <vector>

#include "build_config.h"
#include "image/jpeg_library.h"
#include "image/picture.h"
#include "platform/platform.h"

namespace velmora {

using namespace jpeg_detail;

namespace {

// Each Guarded... function holds the one setjmp of its library calls: every object
// with a destructor is declared by the caller before the call, nothing with a
// destructor is created in them, and nothing they changed after setjmp is read after
// the jump. They return false after a fatal library error.

bool GuardedReadCoefficients(Decompressor& d, std::FILE* file, jvirt_barray_ptr** coefficients) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_create_decompress(&d.info);
  d.info.mem->max_memory_to_use = kMaxLibraryMemory;
  d.info.progress = &d.progress;
  jpeg_stdio_src(&d.info, file);
  // Every marker segment in front of the picture data is kept, whole.
  for (int marker = 0; marker < 16; ++marker) jpeg_save_markers(&d.info, JPEG_APP0 + marker, 0xFFFF);
  jpeg_save_markers(&d.info, JPEG_COM, 0xFFFF);
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  // Refused before the coefficient buffers are made: a header of a few bytes must not
  // make the library allocate gigabytes.
  if (!PictureSizeAllowed(d.info.image_width, d.info.image_height)) return false;
  *coefficients = jpeg_read_coefficients(&d.info);
  return *coefficients != nullptr;
}

bool GuardedWriteCoefficients(Decompressor& d, Compressor& c, std::FILE* file,
                              jvirt_barray_ptr* coefficients) {
  if (setjmp(c.errors.jump) != 0) return false;
  jpeg_create_compress(&c.info);
  jpeg_stdio_dest(&c.info, file);
  jpeg_copy_critical_parameters(&d.info, &c.info);
  // The saved JFIF and Adobe segments are written again as they were; the library
  // must not add its own as well.
  c.info.write_JFIF_header = FALSE;
  c.info.write_Adobe_marker = FALSE;
#if VELMORA_HAVE_MOZJPEG
  jpeg_c_set_int_param(&c.info, JINT_COMPRESS_PROFILE, JCP_MAX_COMPRESSION);
#endif
  c.info.optimize_coding = TRUE;
  jpeg_simple_progression(&c.info);
  jpeg_write_coefficients(&c.info, coefficients);
  for (jpeg_saved_marker_ptr marker = d.info.marker_list; marker != nullptr; marker = marker->next) {
    jpeg_write_marker(&c.info, marker->marker, marker->data, marker->data_length);
  }
  jpeg_finish_compress(&c.info);
  return true;
}

bool GuardedFinish(Decompressor& d) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_finish_decompress(&d.info);
  return true;
}

// Reads one file's samples whole, in the colour space it is stored in.
bool GuardedDecodeSamples(Decompressor& d, std::FILE* file, std::vector<uint8_t>* samples) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_create_decompress(&d.info);
  d.info.mem->max_memory_to_use = kMaxLibraryMemory;
  d.info.progress = &d.progress;
  jpeg_stdio_src(&d.info, file);
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  if (!PictureSizeAllowed(d.info.image_width, d.info.image_height)) return false;
  d.info.out_color_space = d.info.jpeg_color_space;
  jpeg_start_decompress(&d.info);
  const size_t stride = static_cast<size_t>(d.info.output_width) * d.info.output_components;
  samples->resize(stride * d.info.output_height);
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = samples->data() + static_cast<size_t>(d.info.output_scanline) * stride;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d.info);
  return d.errors.pub.num_warnings == 0;
}

bool DecodeSamples(const std::string& path, std::vector<uint8_t>& samples) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  Decompressor d;
  return GuardedDecodeSamples(d, file.get(), &samples);
}

}  // namespace

TranscodeStatus TranscodeJpegLosslessly(const std::string& input, const std::string& output) {
  platform::UniqueFile in = platform::OpenFile(input, "rb");
  if (!in) return TranscodeStatus::kUnreadable;
  Decompressor d;
  jvirt_barray_ptr* coefficients = nullptr;
  // A file the library warns about is damaged: its coefficients are not the picture
  // its viewers show, and it keeps its bytes.
  if (!GuardedReadCoefficients(d, in.get(), &coefficients) || d.errors.damaged ||
      d.errors.pub.num_warnings > 0) {
    return TranscodeStatus::kUnreadable;
  }
  platform::UniqueFile out = platform::OpenFile(output, "wb");
  if (!out) return TranscodeStatus::kFailed;
  bool written = false;
  {
    Compressor c;
    written = GuardedWriteCoefficients(d, c, out.get(), coefficients) && GuardedFinish(d) &&
              d.errors.pub.num_warnings == 0;
  }
  // A close that fails may have lost buffered bytes.
  written = std::fclose(out.release()) == 0 && written;
  if (!written) {
    platform::RemoveFile(output);
    return TranscodeStatus::kFailed;
  }
  return TranscodeStatus::kWritten;
}

bool DecodeToSameSamples(const std::string& a, const std::string& b) {
  std::vector<uint8_t> first;
  std::vector<uint8_t> second;
  return DecodeSamples(a, first) && DecodeSamples(b, second) && first == second;
}

}  // namespace velmora
