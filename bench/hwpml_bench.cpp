// Generates a large HWPML document (many items, every fourth one compressed) in a
// fresh temporary folder, shrinks it with the job, and reports the time and the peak
// resident memory. Every tenth item is a real 24-bit bitmap screenshot, which the job
// decodes and rewrites as PNG; the others are bytes no codec recognises, which are
// only decoded from Base64 and copied. The document is written item by item, so
// generating it takes little memory of its own. The external optimisers are off, so
// the figures are those of the program itself.
//
//   velmora-bench-hwpml [number of items, default 420: about 320 MB] [folder]

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "job/shrink_job.h"
#include "core/text.h"
#include "document/base64.h"
#include "platform/platform.h"

namespace {

class PrintingHost : public velmora::JobHost {
 public:
  void ShowMessage(const std::string& text, bool failure) override {
    std::printf("%s: %s\n", failure ? "failed" : "message", text.c_str());
    succeeded = !failure;
  }
  bool succeeded = false;
};

std::string Deflate(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A bitmap-like item: a header, then rows of noise (plain items) or of smooth
// gradients that deflate well (compressed items).
std::string MakeItem(std::mt19937& random, size_t length, bool smooth) {
  std::string bytes = "BM";
  bytes.resize(length);
  for (size_t i = 2; i < length; ++i) {
    bytes[i] = smooth ? static_cast<char>((i / 3000) + ((i % 3000) / 12) + (random() & 1))
                      : static_cast<char>(random());
  }
  return bytes;
}

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 640 × 480 24-bit bitmap with window-like blocks and a little noise: a picture the
// job really decodes and re-encodes.
std::string MakeBitmap(std::mt19937& random) {
  const int width = 640, height = 480;
  const uint32_t stride = width * 3;
  std::string s = "BM";
  Put32(s, 54 + stride * height);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, width);
  Put32(s, height);
  s += '\x01', s += '\0', s += '\x18', s += '\0';
  Put32(s, 0);
  Put32(s, stride * height);
  for (int i = 0; i < 4; ++i) Put32(s, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool block = ((x / 40) + (y / 24)) % 3 == 0;
      const int noise = static_cast<int>(random() % 3);
      s += static_cast<char>(block ? 0x30 + noise : 0xF0 - noise);
      s += static_cast<char>(block ? 0x50 : 0xF0);
      s += static_cast<char>(block ? 0x90 : 0xF2);
    }
  }
  return s;
}

bool WriteAll(std::FILE* file, const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 420;
  std::string folder = argc > 2 ? argv[2] : platform::TempFolder() + "/velmora-bench-hwpml";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string source = folder + "/large.hml";
  const std::string target = folder + "/large(pack).hml";

  // Items of 384 KiB: 512 KiB of text each when stored plain.
  const size_t itemBytes = 384 * 1024;
  {
    platform::UniqueFile file = platform::OpenFile(source, "wb");
    if (!file) {
      std::printf("cannot write %s\n", source.c_str());
      return 1;
    }
    std::mt19937 random(20240607);
    bool ok = WriteAll(file.get(),
                       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"
                       "<HWPML Style=\"embed\" SubVersion=\"8.0.0.0\" Version=\"2.8\"><HEAD "
                       "SecCnt=\"1\"><MAPPINGTABLE>" +
                           velmora::Format("<BINDATALIST Count=\"%d\">", count));
    for (int k = 1; k <= count; ++k) {
      ok = ok && WriteAll(file.get(), velmora::Format("<BINITEM BinData=\"%d\" Format=\"bmp\" "
                                                      "Type=\"Embedding\"/>",
                                                      k));
    }
    ok = ok && WriteAll(file.get(), "</BINDATALIST></MAPPINGTABLE></HEAD><BODY><SECTION Id=\"0\">"
                                    "<P><TEXT>benchmark</TEXT></P></SECTION></BODY><TAIL>"
                                    "<BINDATASTORAGE>");
    for (int k = 1; k <= count && ok; ++k) {
      const bool compressed = k % 4 == 0;
      // A compressed item holds 8 times as much picture for about the same text.
      std::string item = k % 10 == 0 ? MakeBitmap(random)
                                     : MakeItem(random, compressed ? itemBytes * 8 : itemBytes,
                                                compressed);
      if (compressed) item = Deflate(item);
      ok = WriteAll(file.get(),
                    velmora::Format("<BINDATA %sEncoding=\"Base64\" Id=\"%d\" Size=\"%zu\">",
                                    compressed ? "Compress=\"true\" " : "", k, item.size())) &&
           WriteAll(file.get(), velmora::Base64Encode(item)) &&
           WriteAll(file.get(), "</BINDATA>");
    }
    ok = ok && WriteAll(file.get(), "</BINDATASTORAGE></TAIL></HWPML>\r\n");
    if (!ok || std::fclose(file.release()) != 0) {
      std::printf("writing %s failed\n", source.c_str());
      return 1;
    }
  }
  const int64_t sourceSize = platform::FileSize(source);
  const int64_t peakBefore = platform::PeakResidentBytes();
  std::printf("document: %s, %lld bytes, %d items (%d compressed, %d bitmaps)\n",
              source.c_str(), static_cast<long long>(sourceSize), count, count / 4, count / 10);
  std::printf("peak resident memory after generating: %.1f MiB\n", peakBefore / 1048576.0);

  velmora::ShrinkOptions options;
  options.extraOptimisers = false;
  PrintingHost host;
  const double start = platform::MonotonicMilliseconds();
  velmora::RunShrinkJob(source, target, options, host);
  const double elapsed = platform::MonotonicMilliseconds() - start;
  const int64_t peak = platform::PeakResidentBytes();

  std::printf("job: %s in %.1f s, target %lld bytes\n", host.succeeded ? "done" : "failed",
              elapsed / 1000.0, static_cast<long long>(platform::FileSize(target)));
  std::printf("peak resident memory: %.1f MiB (%.2f%% of the document)\n", peak / 1048576.0,
              100.0 * static_cast<double>(peak) / static_cast<double>(sourceSize));
  platform::RemoveFile(source);
  platform::RemoveFile(target);
  return host.succeeded ? 0 : 1;
}
