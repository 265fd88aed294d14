#pragma once
// What the JPEG codec and the lossless transcoder share: the library's handles with
// their error handling. Only the JPEG files of this folder include it.

#include <csetjmp>
#include <cstdio>

// jpeglib.h first: jerror.h depends on the configuration it brings in.
#include <jpeglib.h>
#include <jerror.h>

namespace velmora::jpeg_detail {

// A progressive file may hold any number of scans, each of which makes the library
// pass over the whole coefficient buffer again: a small file could keep the decoder
// busy for hours (CPU bomb). Real encoders write about ten.
inline constexpr int kMaxScans = 1000;

// The library's working memory for one picture. Progressive files need a coefficient
// buffer of the whole picture besides our pixel buffer; the cap keeps a hostile file
// within the picture limits in memory as well.
inline constexpr long kMaxLibraryMemory = 1024L * 1024L * 1024L;

// Fatal library errors jump back to the guarded function that made the failing call
// (the library cannot continue after one); warnings are counted, and those that mean
// picture data is missing or wrong are remembered.
struct ErrorManager {
  jpeg_error_mgr pub;  // first member: the library hands this pointer back to us
  std::jmp_buf jump;
  bool damaged;
};

inline ErrorManager& ErrorsOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

[[noreturn]] inline void OnFatalError(j_common_ptr info) { std::longjmp(ErrorsOf(info).jump, 1); }

inline void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace output
  ErrorManager& errors = ErrorsOf(info);
  ++errors.pub.num_warnings;
  switch (errors.pub.msg_code) {
    case JWRN_JPEG_EOF:           // the file ended: the rest of the picture is grey filler
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      errors.damaged = true;
      break;
    default:                      // unusual but harmless markers and extra bytes
      break;
  }
}

inline void DiscardOutput(j_common_ptr /*info*/) {}

inline void InitErrorManager(ErrorManager& errors) {
  jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnFatalError;
  errors.pub.emit_message = OnMessage;
  errors.pub.output_message = DiscardOutput;
  errors.damaged = false;
}

inline void LimitScans(j_common_ptr info) {
  if (!info->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    info->err->msg_code = JERR_BAD_SCAN_SCRIPT;
    info->err->error_exit(info);
  }
}

// Owner of a decompressor and its error manager. The library keeps pointers into
// both, so the object never moves.
class Decompressor {
 public:
  Decompressor() {
    InitErrorManager(errors);
    info.err = &errors.pub;
    progress.progress_monitor = LimitScans;
  }
  ~Decompressor() { jpeg_destroy_decompress(&info); }  // safe before creation: mem is null
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
};

class Compressor {
 public:
  Compressor() {
    InitErrorManager(errors);
    info.err = &errors.pub;
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  jpeg_compress_struct info{};
  ErrorManager errors{};
};

}  // namespace velmora::jpeg_detail
