// Writes the starting corpus of every fuzz harness into OUTPUT/<unit>/: pictures,
// EXIF blocks and documents made by the tests' fixture writers, the bundled samples,
// and the files of the shared corpus of real documents and pictures when it is there.
// Every seed ends with the option bytes its harness takes, so that copied files keep
// all their own bytes.
//
//   velmora-fuzz-seeds OUTPUT

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/png_builder.h"
#include "support/bmp_writer.h"
#include "support/exif_fixtures.h"
#include "support/gif_writer.h"
#include "support/hwpml_builder.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

namespace {

using namespace velmora::testing;
namespace fs = std::filesystem;

// Option bytes appended to every seed of a unit (see each harness).
const std::map<std::string, std::string> kOptions = {{"bmp", "\x01"},
                                                     {"gif", "\x01"},
                                                     {"png", "\x03"},
                                                     {"jpeg", "\x01Z"},
                                                     {"exif", "\x7F"},
                                                     {"xml_scanner", std::string(1, '\0')},
                                                     {"base64_inflate", "@\x80\x10"},
                                                     {"manifest", ""},
                                                     {"hwpx_job", std::string("\0Z", 2)},
                                                     {"hwpml_job", std::string("\0Z", 2)}};

// Largest seed taken per unit, as the harnesses take no longer input.
const std::map<std::string, uintmax_t> kMaxSeed = {{"bmp", 1 << 20},
                                                   {"gif", 1 << 20},
                                                   {"png", 1 << 20},
                                                   {"jpeg", 1 << 20},
                                                   {"exif", 1 << 18},
                                                   {"xml_scanner", 1 << 20},
                                                   {"base64_inflate", 1 << 20},
                                                   {"manifest", 1 << 20},
                                                   {"hwpx_job", 1 << 20},
                                                   {"hwpml_job", 1 << 20}};

class Seeds {
 public:
  explicit Seeds(std::string output) : output_(std::move(output)) {}

  void Add(const std::string& unit, const std::string& name, const std::string& bytes) {
    const std::string withOptions = bytes + kOptions.at(unit);
    if (withOptions.size() > kMaxSeed.at(unit)) return;
    const fs::path folder = fs::path(output_) / unit;
    fs::create_directories(folder);
    WriteFile((folder / name).string(), withOptions);
    ++count_[unit];
  }
  // Every file of a folder with one of the extensions.
  void AddFiles(const std::string& unit, const std::string& folder,
                const std::vector<std::string>& extensions, const std::string& prefix) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) return;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      std::string extension = entry.path().extension().string();
      for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      for (const std::string& wanted : extensions) {
        if (extension == wanted && entry.is_regular_file()) files.push_back(entry.path());
      }
    }
    for (const fs::path& file : files) {
      Add(unit, prefix + file.filename().string(), ReadFile(file.string()));
    }
  }
  // The manifest of every package in a folder.
  void AddManifests(const std::string& folder, const std::string& prefix) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) return;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      if (entry.path().extension() != ".hwpx") continue;
      const auto items = ReadZip(entry.path().string());
      if (!items) continue;
      for (const ZipItem& item : *items) {
        if (item.name == "Contents/content.hpf") {
          Add("manifest", prefix + entry.path().stem().string() + ".hpf", item.bytes);
        }
      }
    }
  }
  void Report() const {
    for (const auto& [unit, count] : count_)
      std::printf("%-16s %zu seed(s)\n", unit.c_str(), count);
  }

 private:
  std::string output_;
  std::map<std::string, size_t> count_;
};

std::string Rows24(int width, int height) {
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rows[static_cast<size_t>(y)].push_back(static_cast<uint32_t>(x * 40 + y * 0x1300 + 0x80000));
    }
  }
  return PackRows(rows, 24, false);
}

void BmpSeeds(Seeds& seeds) {
  BmpLayout plain;
  plain.width = 5;
  plain.height = 3;
  plain.data = Rows24(5, 3);
  seeds.Add("bmp", "rgb24.bmp", BuildBmp(plain));
  BmpLayout core = plain;
  core.headerSize = 12;
  seeds.Add("bmp", "core.bmp", BuildBmp(core));
  BmpLayout noFileHeader = plain;
  noFileHeader.fileHeader = false;
  seeds.Add("bmp", "bare.bmp", BuildBmp(noFileHeader));
  BmpLayout topDown = plain;
  topDown.height = -3;
  seeds.Add("bmp", "topdown.bmp", BuildBmp(topDown));
  for (int bits : {1, 4, 8}) {
    BmpLayout palette;
    palette.width = 7;
    palette.height = 2;
    palette.bitCount = static_cast<uint16_t>(bits);
    palette.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    std::vector<std::vector<uint32_t>> rows = {{0, 1, 0, 1, 0, 1, 0}, {1, 1, 0, 0, 1, 1, 0}};
    if (bits > 1) rows = {{0, 1, 2, 3, 2, 1, 0}, {3, 2, 1, 0, 1, 2, 3}};
    palette.data = PackRows(rows, bits, false);
    seeds.Add("bmp", "pal" + std::to_string(bits) + ".bmp", BuildBmp(palette));
  }
  BmpLayout rle8;
  rle8.width = 6;
  rle8.height = 3;
  rle8.bitCount = 8;
  rle8.compression = 1;
  rle8.palette = {0x000000, 0xFFFFFF, 0x808080};
  // A run, absolute bytes, end of line, a delta, end of picture.
  rle8.data =
      std::string("\x04\x01\x00\x03\x02\x00\x01\x00\x00\x00\x00\x02\x01\x01\x02\x02\x00\x01", 18);
  seeds.Add("bmp", "rle8.bmp", BuildBmp(rle8));
  BmpLayout rle4 = rle8;
  rle4.bitCount = 4;
  rle4.compression = 2;
  rle4.data = std::string("\x06\x12\x00\x00\x00\x03\x21\x20\x00\x00\x03\x12\x00\x01", 14);
  seeds.Add("bmp", "rle4.bmp", BuildBmp(rle4));
  BmpLayout fields;
  fields.width = 3;
  fields.height = 2;
  fields.bitCount = 16;
  fields.compression = 3;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  fields.data = PackRows({{0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x0000, 0x1234}}, 16, false);
  seeds.Add("bmp", "bitfields16.bmp", BuildBmp(fields));
  BmpLayout alpha;
  alpha.width = 2;
  alpha.height = 2;
  alpha.bitCount = 32;
  alpha.headerSize = 108;
  alpha.data = PackRows({{0x80FF0000, 0xFF00FF00}, {0x000000FF, 0x40FFFFFF}}, 32, false);
  seeds.Add("bmp", "argb32.bmp", BuildBmp(alpha));
}

std::string Gif(int width, int height, int frames, bool interlaced, bool localTable,
                int transparent) {
  GifSpec layout;
  layout.width = width;
  layout.height = height;
  const std::vector<uint32_t> table = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF};
  if (!localTable) layout.globalTable = table;
  for (int f = 0; f < frames; ++f) {
    GifFrameSpec frame;
    frame.left = f;
    frame.top = f / 2;
    frame.width = width - f;
    frame.height = height - f / 2;
    frame.interlaced = interlaced;
    frame.transparent = transparent;
    if (localTable) frame.localTable = table;
    for (int i = 0; i < frame.width * frame.height; ++i) {
      frame.indices.push_back(static_cast<uint16_t>((i / 3 + f) % 4));
    }
    layout.frames.push_back(frame);
  }
  return BuildGif(layout);
}

void GifSeeds(Seeds& seeds) {
  seeds.Add("gif", "still.gif", Gif(6, 4, 1, false, false, kNoGraphicControl));
  seeds.Add("gif", "animated.gif", Gif(6, 4, 3, false, false, -1));
  seeds.Add("gif", "interlaced.gif", Gif(5, 9, 1, true, false, kNoGraphicControl));
  seeds.Add("gif", "local.gif", Gif(4, 4, 2, false, true, 1));
  GifSpec wide;
  wide.width = 3;
  wide.height = 1;
  wide.globalTable = std::vector<uint32_t>(256, 0x123456);
  GifFrameSpec frame;
  frame.width = 3;
  frame.height = 1;
  frame.indices = {0, 255, 128};
  frame.minimumCodeSize = 8;
  wide.frames = {frame};
  seeds.Add("gif", "codesize8.gif", BuildGif(wide));
}

PngLayout PngOf(uint32_t width, uint32_t height, int colourType, int bitDepth) {
  PngLayout layout;
  layout.width = width;
  layout.height = height;
  layout.colourType = colourType;
  layout.bitDepth = bitDepth;
  const int channels = ChannelsOf(colourType);
  const uint32_t top = (1u << bitDepth) - 1;
  for (uint32_t i = 0; i < width * height * static_cast<uint32_t>(channels); ++i) {
    layout.samples.push_back(static_cast<uint16_t>((i * 2654435761u >> 7) % (top + 1)));
  }
  return layout;
}

void PngSeeds(Seeds& seeds) {
  const struct {
    int colourType;
    int bitDepth;
  } kinds[] = {{0, 1}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 2}, {3, 8}, {4, 8}, {6, 8}, {6, 16}};
  for (const auto& kind : kinds) {
    PngLayout layout = PngOf(9, 7, kind.colourType, kind.bitDepth);
    if (kind.colourType == 3) {
      layout.chunks.push_back({"PLTE", std::string(3 * (1u << kind.bitDepth), '\x40')});
      layout.chunks.push_back({"tRNS", "\x00\x80\xFF"});
    }
    seeds.Add(
        "png",
        "type" + std::to_string(kind.colourType) + "_" + std::to_string(kind.bitDepth) + ".png",
        EncodePng(layout));
  }
  PngLayout interlaced = PngOf(11, 9, 2, 8);
  interlaced.interlaced = true;
  seeds.Add("png", "interlaced.png", EncodePng(interlaced));
  PngLayout colourSpace = PngOf(8, 8, 2, 8);
  colourSpace.chunks = {{"gAMA", BigEndian32(45455)},
                        {"cHRM", std::string(32, '\x01')},
                        {"sRGB", std::string(1, '\0')},
                        {"iCCP", IccpData("profile", MinimalIccProfile("RGB "))},
                        {"pHYs", BigEndian32(2835) + BigEndian32(2835) + "\x01"}};
  seeds.Add("png", "colourspace.png", EncodePng(colourSpace));
  // An animated PNG: its control chunk before the image data, a frame of its own after.
  PngLayout animated = PngOf(8, 6, 6, 8);
  animated.chunks = {{"acTL", BigEndian32(2) + BigEndian32(0)},
                     {"fcTL", BigEndian32(0) + BigEndian32(8) + BigEndian32(6) + BigEndian32(0) +
                                  BigEndian32(0) + std::string("\0\x01\0\x01\0\0", 6)}};
  std::string apng = EncodePng(animated);
  apng.insert(apng.size() - 12, EncodeChunk("fdAT", BigEndian32(1) + std::string(8, '\0')));
  seeds.Add("png", "animated.png", apng);
}

std::string Jpeg(int width, int height, int components, int quality,
                 std::vector<std::pair<int, std::string>> markers = {}) {
  JpegLayout layout;
  layout.width = width;
  layout.height = height;
  layout.components = components;
  layout.quality = quality;
  layout.markers = std::move(markers);
  if (components != 3) {
    for (int i = 0; i < width * height * components; ++i) {
      layout.samples += static_cast<char>(i * 13);
    }
  }
  return MakeJpeg(layout);
}

std::string CameraExif(bool littleEndian) {
  ExifSpec layout;
  layout.littleEndian = littleEndian;
  layout.ifd0 = {Ascii(0x010F, "Maker"),
               Ascii(0x0110, "Model"),
               Ascii(0x0131, "Camera 1.0"),
               Ascii(0x0132, "2020:01:02 03:04:05"),
               RationalValue(0x011A, 72, 1),
               RationalValue(0x011B, 72, 1),
               Short(0x0128, 2)};
  layout.exif = {Ascii(0x9003, "2020:01:02 03:04:05"), Ascii(0x9004, "2020:01:02 03:04:05"),
               Long(0xA002, 640), Long(0xA003, 480), Undefined(0x927C, std::string(40, 'M'))};
  layout.interop = {Ascii(0x0001, "R98")};
  layout.gps = {Short(0x0000, 2), Ascii(0x0001, "N")};
  layout.ifd1 = {Short(0x0103, 6)};
  layout.thumbnail = std::string("\xFF\xD8\xFF\xD9", 4);
  layout.gap = littleEndian ? 0 : 6;
  return BuildExif(layout);
}

void JpegAndExifSeeds(Seeds& seeds) {
  seeds.Add("jpeg", "rgb.jpg", Jpeg(24, 16, 3, 90));
  seeds.Add("jpeg", "grey.jpg", Jpeg(17, 9, 1, 75));
  seeds.Add("jpeg", "cmyk.jpg", Jpeg(8, 8, 4, 90));
  seeds.Add("jpeg", "icc.jpg",
            Jpeg(16, 16, 3, 95,
                 {{0xE2, IccChunk(1, 2, std::string(300, 'a'))},
                  {0xE2, IccChunk(2, 2, std::string(200, 'b'))}}));
  seeds.Add("jpeg", "exif.jpg", Jpeg(16, 8, 3, 80, {{0xE1, CameraExif(true)}}));
  seeds.Add("exif", "intel.bin", CameraExif(true));
  seeds.Add("exif", "motorola.bin", CameraExif(false));
  ExifSpec minimal;
  minimal.ifd0 = {Ascii(0x0132, "2021:05:06 07:08:09")};
  seeds.Add("exif", "minimal.bin", BuildExif(minimal));
  seeds.Add("exif", "whole.jpg", Jpeg(16, 8, 3, 80, {{0xE1, CameraExif(false)}}));
}

std::string Document(const std::vector<std::string>& formats,
                     const std::vector<std::string>& pictures, bool compressed) {
  HmlDocument doc;
  for (size_t i = 0; i < pictures.size(); ++i) {
    doc.items.push_back(ItemTag(static_cast<int>(i + 1), formats[i]));
    doc.data.push_back(DataElement(static_cast<int>(i + 1), pictures[i], compressed && i % 2 == 0));
  }
  return doc.Build();
}

void DocumentSeeds(Seeds& seeds) {
  const std::string jpeg = Jpeg(40, 24, 3, 100);
  BmpLayout bmpLayout;
  bmpLayout.width = 12;
  bmpLayout.height = 6;
  bmpLayout.data = Rows24(12, 6);
  const std::string bmp = BuildBmp(bmpLayout);
  const std::string png = EncodePng(PngOf(12, 6, 2, 8));
  const std::string gif = Gif(6, 4, 1, false, false, kNoGraphicControl);

  const std::string hml = Document({"jpg", "bmp", "png", "gif"}, {jpeg, bmp, png, gif}, true);
  seeds.Add("hwpml_job", "four.hml", hml);
  seeds.Add("hwpml_job", "plain.hml", Document({"jpg"}, {jpeg}, false));
  seeds.Add("xml_scanner", "four.hml", hml);
  // Lists, items and data inside comments, CDATA sections and processing instructions.
  HmlDocument hidden;
  hidden.prolog += "<!-- <BINDATALIST Count=\"1\">" + ItemTag(1, "bmp") + "</BINDATALIST> -->";
  hidden.items = {ItemTag(1, "png")};
  hidden.data = {DataElement(1, png)};
  hidden.storageOpen += "<![CDATA[" + DataElement(1, bmp) + "]]><?note <BINDATA Id=\"1\"> ?>";
  seeds.Add("hwpml_job", "hidden.hml", hidden.Build());
  seeds.Add("xml_scanner", "hidden.hml", hidden.Build());

  std::vector<HwpxPicture> pictures = {{"image1", "BinData/image1.jpg", "image/jpg", jpeg, "1"},
                                       {"image2", "BinData/image2.bmp", "image/bmp", bmp, "1"},
                                       {"image3", "BinData/image3.png", "image/png", png, "1"},
                                       {"image4", "BinData/image4.gif", "image/gif", gif, "0"}};
  const std::string manifest = MakeManifest(pictures);
  seeds.Add("manifest", "content.hpf", manifest);
  // Items inside a comment, a CDATA section and a processing instruction.
  std::string hiddenManifest = manifest;
  const std::string hiddenItem =
      "<opf:item id=\"image9\" href=\"BinData/image2.bmp\" media-type=\"image/bmp\" "
      "isEmbeded=\"1\"/>";
  hiddenManifest.insert(hiddenManifest.find("<opf:manifest>") + 14,
                        "<!-- " + hiddenItem + " --><![CDATA[" + hiddenItem + "]]><?pi " +
                            hiddenItem + " ?>");
  seeds.Add("manifest", "hidden.hpf", hiddenManifest);
  std::string described = manifest;
  for (const HwpxPicture& picture : pictures)
    described += "\n##\n" + picture.href + "\n" + picture.bytes;
  seeds.Add("hwpx_job", "described.txt", described);
  std::string hiddenDescribed = hiddenManifest;
  for (const HwpxPicture& picture : pictures)
    hiddenDescribed += "\n##\n" + picture.href + "\n" + picture.bytes;
  seeds.Add("hwpx_job", "hidden.txt", hiddenDescribed);
  const std::string zipPath =
      fs::temp_directory_path() / ("velmora-seed-" + std::to_string(::getpid()) + ".hwpx");
  WriteZip(zipPath, MakeHwpxItems(pictures));
  seeds.Add("hwpx_job", "package.hwpx", ReadFile(zipPath));
  fs::remove(zipPath);

  seeds.Add("base64_inflate", "base64.txt", EncodeBase64ForTest(jpeg));
  seeds.Add("base64_inflate", "deflated.bin", DeflateRawForTest(bmp));
  seeds.Add("base64_inflate", "both.txt", EncodeBase64ForTest(DeflateRawForTest(png)));
}

void SharedFiles(Seeds& seeds) {
  const std::string samples = std::string(VELMORA_SOURCE_DIR) + "/samples";
  seeds.AddFiles("hwpx_job", samples, {".hwpx"}, "sample_");
  seeds.AddManifests(samples, "sample_");
  seeds.AddFiles("hwpml_job", samples, {".hml"}, "sample_");
  seeds.AddFiles("xml_scanner", samples, {".hml"}, "sample_");
  const std::string corpus = CorpusDir();
  if (corpus.empty()) return;
  seeds.AddFiles("bmp", corpus + "/img/bmp", {".bmp"}, "corpus_");
  seeds.AddFiles("gif", corpus + "/img/gif", {".gif"}, "corpus_");
  seeds.AddFiles("png", corpus + "/img/png", {".png"}, "corpus_");
  seeds.AddFiles("jpeg", corpus + "/img/jpeg", {".jpg", ".jpeg"}, "corpus_");
  seeds.AddFiles("exif", corpus + "/img/jpeg", {".jpg", ".jpeg"}, "corpus_");
  seeds.AddFiles("hwpx_job", corpus + "/hwpx", {".hwpx"}, "corpus_");
  seeds.AddManifests(corpus + "/hwpx", "corpus_");
  seeds.AddFiles("hwpml_job", corpus + "/hml", {".hml"}, "corpus_");
  seeds.AddFiles("xml_scanner", corpus + "/hml", {".hml"}, "corpus_");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  Seeds seeds(argv[1]);
  BmpSeeds(seeds);
  GifSeeds(seeds);
  PngSeeds(seeds);
  JpegAndExifSeeds(seeds);
  DocumentSeeds(seeds);
  SharedFiles(seeds);
  seeds.Report();
  return 0;
}
