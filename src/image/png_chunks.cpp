#include <csetjmp>
#include <cstdio>

#include "image/png_codec.h"
#include "image/png_libpng.h"
#include "platform/platform.h"

namespace velmora {

using namespace png_detail;

namespace {

// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ReadInfoGuarded(png_structp png, png_infop info, std::FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  return true;
}


enum ChunkItem { kChrm, kGama, kIccp, kSrgb, kItemCount };

int32_t& ItemState(ChunkCopyRecord& record, int item) {
  switch (item) {
    case kChrm: return record.cHRM;
    case kGama: return record.gAMA;
    case kIccp: return record.iCCP;
    default: return record.sRGB;
  }
}

// Hands one item to the write side when the source has it; may raise a libpng error,
// so it is called only from guarded functions.
void SetChunk(png_structp png, png_infop info, const ColourChunks& chunks, int item) {
  switch (item) {
    case kChrm:
      if (chunks.hasChrm) {
        const png_fixed_point* c = chunks.chrm;
        png_set_cHRM_fixed(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
      }
      break;
    case kGama:
      if (chunks.hasGama) png_set_gAMA_fixed(png, info, chunks.gama);
      break;
    case kIccp:
      if (chunks.hasIccp) {
        png_set_iCCP(png, info, chunks.iccpName.c_str(), chunks.iccpCompression,
                     chunks.iccpProfile.data(),
                     static_cast<png_uint_32>(chunks.iccpProfile.size()));
      }
      break;
    case kSrgb:
      if (chunks.hasSrgb) png_set_sRGB(png, info, chunks.srgbIntent);
      break;
    default: break;
  }
}

// The record lives in the caller, so the item that was being tried when libpng
// refused it is still marked kTrying afterwards.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool TryChunksGuarded(png_structp png, png_infop info, const ColourChunks* chunks,
                      ChunkCopyRecord* record) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int item = 0; item < kItemCount; ++item) {
    int32_t& state = ItemState(*record, item);
    // An item that ended the previous pass failed. A failed item is not tried again:
    // it would only fail again, and each retry would double the passes. Accepted
    // items are set again, because a later item may be judged against them (sRGB
    // against cHRM and gAMA).
    if (state == ChunkCopyRecord::kTrying) state = ChunkCopyRecord::kFailed;
    if (state == ChunkCopyRecord::kFailed) continue;
    state = ChunkCopyRecord::kTrying;
    SetChunk(png, info, *chunks, item);
    state = ChunkCopyRecord::kAccepted;
  }
  return true;
}

// A 128 × 128 RGBA header: the colour type decides which profiles libpng accepts,
// and RGB, RGBA and palette are judged alike.
// setjmp rule: libpng errors longjmp back here, so every object with a destructor
// lives in the caller and none is created between setjmp and the libpng calls.
bool ProbeSetupGuarded(png_structp png, png_infop info, std::FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, 1);
  png_set_compression_buffer_size(png, kCompressionBufferBytes);
  png_init_io(png, file);
  png_set_IHDR(png, info, 128, 128, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  return true;
}

}  // namespace

namespace png_detail {

bool ReadColourChunks(const std::string& source, ColourChunks& chunks) {
  platform::UniqueFile file = platform::OpenFile(source, "rb");
  if (!file) return false;
  PngReadHandle handle;
  if (!handle.ok() || !ReadInfoGuarded(handle.png(), handle.info(), file.get())) return false;
  png_structp png = handle.png();
  png_infop info = handle.info();
  png_fixed_point* c = chunks.chrm;
  chunks.hasChrm =
      png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
  chunks.hasGama = png_get_gAMA_fixed(png, info, &chunks.gama) != 0;
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && name != nullptr &&
      profile != nullptr) {
    chunks.hasIccp = true;
    chunks.iccpName = name;
    chunks.iccpCompression = compression;
    chunks.iccpProfile.assign(profile, profile + length);
  }
  chunks.hasSrgb = png_get_sRGB(png, info, &chunks.srgbIntent) != 0;
  return true;
}


bool PrepareChunkCopy(const std::string& output, const std::string& source, ChunkCopyRecord& record,
                      ColourChunks& chunks) {
  record = ChunkCopyRecord();
  int passes = 1;
  while (!ProbeCopyableChunks(output, source, record)) {
    if (++passes > kMaxProbePasses) return false;
  }
  if (record.probe != ChunkCopyRecord::kAccepted || source.empty() || !IsPngFile(source)) {
    return false;
  }
  return ReadColourChunks(source, chunks);
}


void SetAcceptedChunks(png_structp png, png_infop info, const ColourChunks& chunks,
                       const ChunkCopyRecord& record) {
  ChunkCopyRecord states = record;
  for (int item = 0; item < kItemCount; ++item) {
    if (ItemState(states, item) == ChunkCopyRecord::kAccepted) SetChunk(png, info, chunks, item);
  }
}

}  // namespace png_detail

bool ProbeCopyableChunks(const std::string& output, const std::string& source,
                                 ChunkCopyRecord& record) {
  platform::UniqueFile file = platform::OpenFile(output, "wb");
  if (!file) {
    record.probe = ChunkCopyRecord::kFailed;
    return true;
  }
  record.probe = ChunkCopyRecord::kAccepted;
  PngWriteHandle handle;
  if (!handle.ok() || !ProbeSetupGuarded(handle.png(), handle.info(), file.get())) {
    record.probe = ChunkCopyRecord::kFailed;
    return true;
  }
  if (source.empty() || !IsPngFile(source)) return true;
  ColourChunks chunks;
  if (!ReadColourChunks(source, chunks)) {
    // A source that libpng cannot read up to its image data gives no chunks at all.
    for (int item = 0; item < kItemCount; ++item) {
      ItemState(record, item) = ChunkCopyRecord::kFailed;
    }
    return true;
  }
  return TryChunksGuarded(handle.png(), handle.info(), &chunks, &record);
}

}  // namespace velmora
