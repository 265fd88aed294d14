#include "image/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "image/bmp_header.h"
#include "image/bmp_rle.h"
#include "image/picture_file.h"

namespace velmora {

namespace {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// Index values address at most 256 colours. Entries the file does not provide read as
// black, so an index past the end of a short table never reads past the table.
struct ColourTable {
  Rgb entries[256];
};

// One colour channel of a 16- or 32-bit pixel: the bits of the mask, scaled so that the
// largest value the mask can hold becomes 255.
class MaskChannel {
 public:
  MaskChannel(uint32_t mask, uint8_t valueWithoutBits) : mask_(mask), absent_(valueWithoutBits) {
    if (mask_ != 0) {
      shift_ = std::countr_zero(mask_);
      max_ = mask_ >> shift_;
    }
  }
  uint8_t Extract(uint32_t pixel) const {
    // A channel without bits has no information; it reads as a fixed value instead of
    // dividing by a maximum of 0.
    if (mask_ == 0) return absent_;
    const uint32_t value = (pixel & mask_) >> shift_;
    if (max_ == 255) return static_cast<uint8_t>(value);
    return static_cast<uint8_t>(static_cast<uint64_t>(value) * 255 / max_);
  }

 private:
  uint32_t mask_;
  uint8_t absent_;
  int shift_ = 0;
  uint32_t max_ = 0;
};

// Rows of the picture in the file's order, already in the output pixel form.
struct DecodedRows {
  PixelBuffer pixels;
  int64_t rows = 0;  // complete rows
  int bytesPerPixel = 3;
};

struct Layout {
  int64_t width = 0;
  int64_t height = 0;
};

// How many complete rows of stride bytes the file still holds, at most height.
int64_t RowsInFile(const PictureFile& file, int64_t stride, int64_t height) {
  if (stride <= 0) return 0;
  return std::min(height, file.Remaining() / stride);
}

// Uncompressed rows are converted one at a time; only the rows the file holds are
// allocated, so a short file that claims a large picture does not cost its full size.
template <typename ConvertRow>
bool ReadUncompressedRows(PictureFile& file, const Layout& layout, int64_t stride,
                          int bytesPerPixel, DecodedRows& out, ConvertRow convert) {
  const int64_t available = RowsInFile(file, stride, layout.height);
  if (available == 0) return false;
  out.pixels = AllocatePixels(layout.width, available, bytesPerPixel);
  PixelBuffer row(new (std::nothrow) uint8_t[static_cast<size_t>(stride)]);
  if (!out.pixels || !row) return false;
  out.bytesPerPixel = bytesPerPixel;
  const int64_t outputStride = layout.width * bytesPerPixel;
  for (out.rows = 0; out.rows < available; ++out.rows) {
    if (!file.ReadExact(row.get(), static_cast<size_t>(stride))) break;
    convert(row.get(), out.pixels.get() + out.rows * outputStride);
  }
  return out.rows > 0;
}

bool DecodeTrueColour24(PictureFile& file, const BmpHeader& header, const Layout& layout,
                        DecodedRows& out) {
  if (header.compression != kBmpRgb) return false;
  const int64_t width = layout.width;
  return ReadUncompressedRows(file, layout, BmpRowStride(24, width), 3, out,
                              [width](const uint8_t* in, uint8_t* pixel) {
                                // Stored blue, green, red.
                                for (int64_t x = 0; x < width; ++x, in += 3, pixel += 3) {
                                  pixel[0] = in[2];
                                  pixel[1] = in[1];
                                  pixel[2] = in[0];
                                }
                              });
}

bool DecodeTrueColour16(PictureFile& file, const uint32_t masks[3], const Layout& layout,
                        DecodedRows& out) {
  // A 16-bit pixel has no bits above 15, whatever the masks claim.
  const MaskChannel red(masks[0] & 0xFFFF, 0);
  const MaskChannel green(masks[1] & 0xFFFF, 0);
  const MaskChannel blue(masks[2] & 0xFFFF, 0);
  const int64_t width = layout.width;
  return ReadUncompressedRows(file, layout, BmpRowStride(16, width), 3, out,
                              [&, width](const uint8_t* in, uint8_t* pixel) {
                                for (int64_t x = 0; x < width; ++x, in += 2, pixel += 3) {
                                  const uint32_t value = LoadLe16(in);
                                  pixel[0] = red.Extract(value);
                                  pixel[1] = green.Extract(value);
                                  pixel[2] = blue.Extract(value);
                                }
                              });
}

bool DecodeTrueColour32(PictureFile& file, const BmpHeader& header, const uint32_t masks[3],
                        const Layout& layout, DecodedRows& out) {
  if (header.compression != kBmpRgb && header.compression != kBmpBitFields) return false;
  // The alpha bits are those that no colour mask claims. When the colour masks use all
  // 32 bits there is no alpha, and the picture is opaque.
  const uint32_t alphaMask = ~(masks[0] ^ masks[1] ^ masks[2]);
  const MaskChannel red(masks[0], 0);
  const MaskChannel green(masks[1], 0);
  const MaskChannel blue(masks[2], 0);
  const MaskChannel alpha(alphaMask, 255);
  const int64_t width = layout.width;
  if (!ReadUncompressedRows(file, layout, BmpRowStride(32, width), 4, out,
                            [&, width](const uint8_t* in, uint8_t* pixel) {
                              for (int64_t x = 0; x < width; ++x, in += 4, pixel += 4) {
                                const uint32_t value = LoadLe32(in);
                                pixel[0] = red.Extract(value);
                                pixel[1] = green.Extract(value);
                                pixel[2] = blue.Extract(value);
                                pixel[3] = alpha.Extract(value);
                              }
                            })) {
    return false;
  }
  if (header.compression == kBmpRgb) {
    // Plain 32-bit bitmaps usually leave the fourth byte 0 as padding. Only when some
    // pixel has a non-zero fourth byte is it taken as alpha; otherwise the picture is
    // opaque.
    const int64_t count = width * out.rows;
    uint8_t* pixels = out.pixels.get();
    bool anyAlpha = false;
    for (int64_t i = 0; i < count && !anyAlpha; ++i) anyAlpha = pixels[i * 4 + 3] != 0;
    if (!anyAlpha) {
      for (int64_t i = 0; i < count; ++i) pixels[i * 4 + 3] = 255;
    }
  }
  return true;
}

// Index of pixel x in a packed row of 1, 4 or 8 bits per pixel; the leftmost pixel sits
// in the highest bits of its byte.
uint8_t PackedIndex(const uint8_t* row, int bitCount, int64_t x) {
  switch (bitCount) {
    case 8: return row[x];
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default: return (row[x / 8] >> (7 - x % 8)) & 1;
  }
}

void WriteColour(const ColourTable& table, uint8_t index, uint8_t* pixel) {
  const Rgb& colour = table.entries[index];
  pixel[0] = colour.red;
  pixel[1] = colour.green;
  pixel[2] = colour.blue;
}

bool DecodeIndexed(PictureFile& file, const BmpHeader& header, const ColourTable& table,
                   const Layout& layout, DecodedRows& out) {
  const int bitCount = header.bitCount;
  const int64_t width = layout.width;
  if (header.compression == kBmpRgb) {
    return ReadUncompressedRows(file, layout, BmpRowStride(bitCount, width), 3, out,
                                [&, width, bitCount](const uint8_t* in, uint8_t* pixel) {
                                  for (int64_t x = 0; x < width; ++x, pixel += 3) {
                                    WriteColour(table, PackedIndex(in, bitCount, x), pixel);
                                  }
                                });
  }
  // RLE8 belongs to 8-bit and RLE4 to 4-bit bitmaps; any other pairing is not a layout
  // whose pixels could be told apart.
  const bool rle8 = header.compression == kBmpRle8 && bitCount == 8;
  const bool rle4 = header.compression == kBmpRle4 && bitCount == 4;
  if (!rle8 && !rle4) return false;
  PixelBuffer indices = AllocatePixels(width, layout.height, 1);
  if (!indices) return false;
  std::unique_ptr<ReadAhead> in(new (std::nothrow) ReadAhead);
  if (!in) return false;
  in->Attach(&file);
  out.rows = DecodeBmpRle(*in, rle4, indices.get(), width, layout.height);
  if (out.rows == 0) return false;
  out.pixels = AllocatePixels(width, out.rows, 3);
  if (!out.pixels) return false;
  const int64_t count = width * out.rows;
  for (int64_t i = 0; i < count; ++i) WriteColour(table, indices[i], out.pixels.get() + i * 3);
  return true;
}

bool ReadColourTable(PictureFile& file, const BmpHeader& header, ColourTable& table) {
  const int64_t entrySize = header.core ? 3 : 4;
  const int64_t usable = std::min<int64_t>(header.coloursUsed, int64_t{1} << header.bitCount);
  uint8_t bytes[256 * 4];
  if (!file.ReadExact(bytes, static_cast<size_t>(usable * entrySize))) return false;
  for (int64_t i = 0; i < usable; ++i) {
    // Stored blue, green, red (and a reserved byte after the longer headers).
    const uint8_t* entry = bytes + i * entrySize;
    table.entries[i] = Rgb{entry[2], entry[1], entry[0]};
  }
  file.Skip((static_cast<int64_t>(header.coloursUsed) - usable) * entrySize);
  return true;
}

}  // namespace

bool IsBmpFile(const std::string& path) {
  PictureFile file;
  BmpHeader header;
  return file.Open(path) && ReadBmpHeader(file, header);
}

namespace {

// Reads the colour table or the bit-field masks that stand between the headers and
// the pixel data; false when the file ends inside them.
bool ReadColourInformation(PictureFile& file, const BmpHeader& header, ColourTable& table,
                           uint32_t masks[3]) {
  if (header.bitCount <= 8) return ReadColourTable(file, header, table);
  if (header.bitCount == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else {
    masks[0] = 0x00FF0000, masks[1] = 0x0000FF00, masks[2] = 0x000000FF;
  }
  // The masks follow the 40-byte header, before any colour table; the longer headers
  // hold them at the same place inside the header.
  if (header.compression == kBmpBitFields && header.bitCount != 24) {
    uint8_t bytes[12];
    if (!file.ReadExact(bytes, sizeof bytes)) return false;
    for (int i = 0; i < 3; ++i) masks[i] = LoadLe32(bytes + 4 * i);
  }
  // A colour table beside true-colour pixels is only a display hint.
  file.Skip(static_cast<int64_t>(header.coloursUsed) * (header.core ? 3 : 4));
  return true;
}

// Bottom-up files store the last picture row first; of a truncated file the rows
// kept are the bottom ones.
void FlipRows(DecodedRows& decoded, int64_t width) {
  const auto rowBytes = static_cast<size_t>(width * decoded.bytesPerPixel);
  uint8_t* base = decoded.pixels.get();
  for (int64_t top = 0, bottom = decoded.rows - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(base + top * rowBytes, base + (top + 1) * rowBytes, base + bottom * rowBytes);
  }
}

}  // namespace

ReadStatus ReadBmp(const std::string& path, Picture& picture) {
  picture = Picture();
  PictureFile file;
  BmpHeader header;
  if (!file.Open(path) || !ReadBmpHeader(file, header)) return ReadStatus::kUnreadable;

  const bool topDown = header.height < 0;
  Layout layout;
  layout.width = header.width;
  layout.height = topDown ? -static_cast<int64_t>(header.height) : header.height;
  // Refused before anything is allocated: a few header bytes must not make the reader
  // allocate gigabytes.
  if (!PictureSizeAllowed(layout.width, layout.height)) return ReadStatus::kUnreadable;

  ColourTable table;
  uint32_t masks[3] = {0, 0, 0};
  if (!ReadColourInformation(file, header, table, masks)) return ReadStatus::kUnreadable;
  if (header.dataOffset != 0) file.Seek(header.dataOffset);

  DecodedRows decoded;
  bool decodedOk = false;
  switch (header.bitCount) {
    case 32: decodedOk = DecodeTrueColour32(file, header, masks, layout, decoded); break;
    case 24: decodedOk = DecodeTrueColour24(file, header, layout, decoded); break;
    case 16: decodedOk = DecodeTrueColour16(file, masks, layout, decoded); break;
    default: decodedOk = DecodeIndexed(file, header, table, layout, decoded); break;
  }
  // A file without one complete row holds no picture worth keeping.
  if (!decodedOk || decoded.rows == 0) return ReadStatus::kUnreadable;
  if (!topDown) FlipRows(decoded, layout.width);

  picture.width = static_cast<int32_t>(layout.width);
  picture.height = static_cast<int32_t>(decoded.rows);
  picture.bitsPerPixel = static_cast<uint8_t>(decoded.bytesPerPixel * 8);
  picture.sourceBitsPerPixel = static_cast<uint8_t>(header.bitCount);
  picture.pixels = std::move(decoded.pixels);
  picture.xResolution = static_cast<float>(header.xPelsPerMetre * 0.0254);
  picture.yResolution = static_cast<float>(header.yPelsPerMetre * 0.0254);
  return decoded.rows < layout.height ? ReadStatus::kPartial : ReadStatus::kComplete;
}

}  // namespace velmora
