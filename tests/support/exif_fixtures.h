#pragma once
// EXIF blocks built and read by the tests, independently of the code under test.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velmora::testing {

// One directory entry as a test writes it.
struct TiffValue {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint32_t> numbers;  // SHORT, LONG; RATIONAL as numerator, denominator pairs
  std::string bytes;              // ASCII, BYTE, UNDEFINED
  bool inGap = false;             // the value lies between the TIFF header and IFD0
  bool atEnd = false;             // the value lies behind the thumbnail
};
TiffValue Ascii(uint16_t tag, const std::string& text);  // count includes the zero byte
TiffValue Undefined(uint16_t tag, const std::string& bytes);
TiffValue Short(uint16_t tag, uint32_t value);
TiffValue Long(uint16_t tag, uint32_t value);
TiffValue RationalValue(uint16_t tag, uint32_t numerator, uint32_t denominator);

// A block laid out as cameras do: header, [gap], IFD0 and its values, the Exif IFD,
// the Interoperability IFD, the GPS IFD, IFD1, the thumbnail, [trailer]. The pointer
// entries (Exif, Interoperability, GPS, thumbnail offset and length) are added for the
// directories that are not empty.
struct ExifSpec {
  bool littleEndian = true;
  std::vector<TiffValue> ifd0, exif, interop, gps, ifd1;
  std::string thumbnail;
  size_t gap = 0;
  std::string trailer;
};
std::string BuildExif(const ExifSpec& layout);  // starts "Exif\0\0"

// What an independent reader finds in a block: entries keyed "IFD0:0131",
// "Exif:9003", "GPS:0001", "Interop:0001", "IFD1:0201"; a second entry of the same tag
// in a directory gets "#2" appended.
struct TiffEntry {
  uint16_t type = 0;
  uint32_t count = 0;
  std::string value;    // the value's bytes (count × type size)
  uint32_t offset = 0;  // the value field as stored: the offset of an out-of-line value
};
struct TiffDump {
  bool littleEndian = true;
  uint32_t ifd0Offset = 0;
  uint32_t ifd0Next = 0;
  std::vector<uint16_t> ifd0Tags;  // in directory order
  std::map<std::string, TiffEntry> entries;
  std::vector<std::string> problems;  // values or directories outside the block

  bool Has(const std::string& key) const { return entries.count(key) != 0; }
  std::string Text(const std::string& key) const;  // up to the first zero byte
  uint32_t Number(const std::string& key, size_t index = 0) const;
};
TiffDump DumpExif(const std::string& block);

}  // namespace velmora::testing
