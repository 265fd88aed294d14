#include "support/exif_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

namespace velmora::testing {

namespace {

size_t SizeOf(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

class Writer {
 public:
  explicit Writer(bool little) : little_(little) {}
  void Put(std::string& out, uint32_t value, int bytes) const {
    for (int i = 0; i < bytes; ++i) {
      const int shift = little_ ? 8 * i : 8 * (bytes - 1 - i);
      out += static_cast<char>((value >> shift) & 0xFF);
    }
  }
  std::string ValueBytes(const TiffValue& v) const {
    if (!v.bytes.empty() || v.numbers.empty()) return v.bytes;
    std::string out;
    for (uint32_t n : v.numbers) Put(out, n, v.type == 3 ? 2 : 4);
    return out;
  }

 private:
  bool little_;
};

size_t Padded(size_t n) { return n + (n & 1); }

// Size of a directory with its out-of-line values (those not in the gap).
size_t DirectorySize(const std::vector<TiffValue>& entries, const Writer& w) {
  size_t size = 2 + entries.size() * 12 + 4;
  for (const TiffValue& v : entries) {
    const size_t bytes = w.ValueBytes(v).size();
    if (bytes > 4 && !v.inGap && !v.atEnd) size += Padded(bytes);
  }
  return size;
}

}  // namespace

TiffValue Ascii(uint16_t tag, const std::string& text) {
  TiffValue v;
  v.tag = tag;
  v.type = 2;
  v.bytes = text + std::string(1, '\0');
  v.count = static_cast<uint32_t>(v.bytes.size());
  return v;
}

TiffValue Undefined(uint16_t tag, const std::string& bytes) {
  TiffValue v;
  v.tag = tag;
  v.type = 7;
  v.bytes = bytes;
  v.count = static_cast<uint32_t>(bytes.size());
  return v;
}

TiffValue Short(uint16_t tag, uint32_t value) { return {tag, 3, 1, {value}, "", false, false}; }
TiffValue Long(uint16_t tag, uint32_t value) { return {tag, 4, 1, {value}, "", false, false}; }
TiffValue RationalValue(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  return {tag, 5, 1, {numerator, denominator}, "", false, false};
}

std::string BuildExif(const ExifSpec& layout) {
  const Writer w(layout.littleEndian);
  std::vector<TiffValue> ifd0 = layout.ifd0, exif = layout.exif, gps = layout.gps, ifd1 = layout.ifd1;
  const std::vector<TiffValue>& interop = layout.interop;
  // Placeholders for the pointers; their values are filled in once offsets are known.
  if (!interop.empty()) exif.push_back(Long(0xA005, 0));
  if (!exif.empty()) ifd0.push_back(Long(0x8769, 0));
  if (!gps.empty()) ifd0.push_back(Long(0x8825, 0));
  if (!layout.thumbnail.empty()) {
    ifd1.push_back(Long(0x0201, 0));
    ifd1.push_back(Long(0x0202, static_cast<uint32_t>(layout.thumbnail.size())));
  }
  auto byTag = [](const TiffValue& a, const TiffValue& b) { return a.tag < b.tag; };
  for (auto* list : {&ifd0, &exif, &gps, &ifd1}) std::stable_sort(list->begin(), list->end(), byTag);

  const uint32_t ifd0Offset = static_cast<uint32_t>(8 + layout.gap);
  const uint32_t exifOffset = ifd0Offset + static_cast<uint32_t>(DirectorySize(ifd0, w));
  const uint32_t interopOffset = exifOffset + static_cast<uint32_t>(exif.empty() ? 0 : DirectorySize(exif, w));
  const uint32_t gpsOffset = interopOffset + static_cast<uint32_t>(interop.empty() ? 0 : DirectorySize(interop, w));
  const uint32_t ifd1Offset = gpsOffset + static_cast<uint32_t>(gps.empty() ? 0 : DirectorySize(gps, w));
  const uint32_t thumbnailOffset = ifd1Offset + static_cast<uint32_t>(ifd1.empty() ? 0 : DirectorySize(ifd1, w));
  auto setPointer = [](std::vector<TiffValue>& list, uint16_t tag, uint32_t value) {
    for (TiffValue& v : list) {
      if (v.tag == tag) v.numbers = {value};
    }
  };
  setPointer(exif, 0xA005, interopOffset);
  setPointer(ifd0, 0x8769, exifOffset);
  setPointer(ifd0, 0x8825, gpsOffset);
  setPointer(ifd1, 0x0201, thumbnailOffset);

  std::string tiff = layout.littleEndian ? "II" : "MM";
  w.Put(tiff, 42, 2);
  w.Put(tiff, ifd0Offset, 4);
  std::string gapBytes(layout.gap, '\0');
  size_t gapUsed = 0;
  const uint32_t endOffset = thumbnailOffset + static_cast<uint32_t>(layout.thumbnail.size());
  std::string endBytes;

  auto directory = [&](const std::vector<TiffValue>& list, uint32_t offset, uint32_t next) {
    std::string dir, values;
    w.Put(dir, static_cast<uint32_t>(list.size()), 2);
    const uint32_t valuesOffset = offset + 2 + static_cast<uint32_t>(list.size()) * 12 + 4;
    for (const TiffValue& v : list) {
      const std::string bytes = w.ValueBytes(v);
      w.Put(dir, v.tag, 2);
      w.Put(dir, v.type, 2);
      w.Put(dir, v.count, 4);
      if (bytes.size() <= 4) {
        dir += bytes + std::string(4 - bytes.size(), '\0');
      } else if (v.inGap) {
        EXPECT_LE(gapUsed + bytes.size(), gapBytes.size()) << "gap too small";
        gapBytes.replace(gapUsed, bytes.size(), bytes);
        w.Put(dir, static_cast<uint32_t>(8 + gapUsed), 4);
        gapUsed += Padded(bytes.size());
      } else if (v.atEnd) {
        w.Put(dir, endOffset + static_cast<uint32_t>(endBytes.size()), 4);
        endBytes += bytes;
      } else {
        w.Put(dir, valuesOffset + static_cast<uint32_t>(values.size()), 4);
        values += bytes;
        if (bytes.size() & 1) values += '\0';
      }
    }
    w.Put(dir, next, 4);
    return dir + values;
  };
  std::string body = directory(ifd0, ifd0Offset, ifd1.empty() ? 0 : ifd1Offset);
  if (!exif.empty()) body += directory(exif, exifOffset, 0);
  if (!interop.empty()) body += directory(interop, interopOffset, 0);
  if (!gps.empty()) body += directory(gps, gpsOffset, 0);
  if (!ifd1.empty()) body += directory(ifd1, ifd1Offset, 0);
  return std::string("Exif\0\0", 6) + tiff + gapBytes + body + layout.thumbnail + endBytes +
         layout.trailer;
}

std::string TiffDump::Text(const std::string& key) const {
  auto it = entries.find(key);
  if (it == entries.end()) return "<missing " + key + ">";
  return it->second.value.substr(0, it->second.value.find('\0'));
}

uint32_t TiffDump::Number(const std::string& key, size_t index) const {
  auto it = entries.find(key);
  if (it == entries.end()) {
    ADD_FAILURE() << "missing " << key;
    return 0;
  }
  const TiffEntry& e = it->second;
  const size_t width = e.type == 3 ? 2 : 4;
  if ((index + 1) * width > e.value.size()) {
    ADD_FAILURE() << key << " has no number " << index;
    return 0;
  }
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    const auto b = static_cast<uint8_t>(e.value[index * width + i]);
    value |= static_cast<uint32_t>(b) << (littleEndian ? 8 * i : 8 * (width - 1 - i));
  }
  return value;
}

TiffDump DumpExif(const std::string& block) {
  TiffDump dump;
  if (block.size() < 14 || block.compare(0, 6, std::string("Exif\0\0", 6)) != 0) {
    dump.problems.push_back("no EXIF header");
    return dump;
  }
  const std::string tiff = block.substr(6);
  dump.littleEndian = tiff[0] == 'I';
  auto get = [&](size_t at, int bytes) -> uint32_t {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const auto b = static_cast<uint8_t>(tiff[at + i]);
      value |= static_cast<uint32_t>(b) << (dump.littleEndian ? 8 * i : 8 * (bytes - 1 - i));
    }
    return value;
  };
  std::set<uint32_t> seen;
  // Reads one directory; returns its next-IFD offset.
  std::function<uint32_t(const std::string&, uint32_t)> read = [&](const std::string& name,
                                                                     uint32_t offset) -> uint32_t {
    if (!seen.insert(offset).second) {
      dump.problems.push_back(name + " visited twice");
      return 0;
    }
    if (offset + 2ull > tiff.size()) {
      dump.problems.push_back(name + " outside the block");
      return 0;
    }
    const uint32_t count = get(offset, 2);
    if (offset + 2ull + count * 12ull + 4 > tiff.size()) {
      dump.problems.push_back(name + " entries outside the block");
      return 0;
    }
    for (uint32_t i = 0; i < count; ++i) {
      const size_t at = offset + 2 + i * 12;
      TiffEntry e;
      const uint16_t tag = static_cast<uint16_t>(get(at, 2));
      e.type = static_cast<uint16_t>(get(at + 2, 2));
      e.count = get(at + 4, 4);
      e.offset = get(at + 8, 4);
      const uint64_t size = uint64_t{e.count} * SizeOf(e.type);
      if (size <= 4) {
        e.value = tiff.substr(at + 8, size);
      } else if (get(at + 8, 4) + size <= tiff.size()) {
        e.value = tiff.substr(get(at + 8, 4), size);
      } else {
        char text[64];
        std::snprintf(text, sizeof text, "%s tag %04X value outside the block", name.c_str(), tag);
        dump.problems.push_back(text);
      }
      char key[32];
      std::snprintf(key, sizeof key, "%s:%04X", name.c_str(), tag);
      dump.entries[dump.entries.count(key) ? std::string(key) + "#2" : std::string(key)] = e;
      if (name == "IFD0") dump.ifd0Tags.push_back(tag);
      const uint32_t pointer = get(at + 8, 4);
      if (tag == 0x8769) read("Exif", pointer);
      if (tag == 0x8825) read("GPS", pointer);
      if (tag == 0xA005) read("Interop", pointer);
    }
    return get(offset + 2 + count * 12, 4);
  };
  dump.ifd0Offset = get(4, 4);
  dump.ifd0Next = read("IFD0", dump.ifd0Offset);
  if (dump.ifd0Next != 0) read("IFD1", dump.ifd0Next);
  return dump;
}

}  // namespace velmora::testing
