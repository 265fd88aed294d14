#pragma once
// Comparing whole-job targets: a rewritten JPEG carries the time of its run in its
// metadata, so two correct targets of one source may differ in those date texts and
// in nothing else.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/hwpml_builder.h"
#include "support/independent_decoder.h"
#include "support/test_support.h"

namespace velmora::testing {

// The bytes with every date text "YYYY:MM:DD hh:mm:ss" replaced by '#'s.
inline std::string MaskDates(std::string bytes) {
  const char* const kShape = "dddd:dd:dd dd:dd:dd";
  const size_t length = 19;
  for (size_t i = 0; i + length <= bytes.size(); ++i) {
    bool date = true;
    for (size_t k = 0; k < length && date; ++k) {
      const char c = bytes[i + k];
      date = kShape[k] == 'd' ? (c >= '0' && c <= '9') : c == kShape[k];
    }
    if (date) bytes.replace(i, length, length, '#');
  }
  return bytes;
}

// Every entry of a package in order, with its bytes (dates masked).
inline std::vector<std::pair<std::string, std::string>> PackageEntries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> entries;
  auto items = ReadZip(path);
  EXPECT_TRUE(items) << path;
  if (!items) return entries;
  for (const ZipItem& item : *items) entries.emplace_back(item.name, MaskDates(item.bytes));
  return entries;
}

// An HWPML document: its bytes outside the two elements, every item tag and every
// item's decoded data (dates masked).
inline std::vector<std::string> HwpmlParts(const std::string& path) {
  const std::string bytes = ReadFile(path);
  auto outside = OutsideElements(bytes);
  auto parsed = ParseHmlForTest(bytes);
  EXPECT_TRUE(outside && parsed) << path;
  if (!outside || !parsed) return {};
  std::vector<std::string> parts = {outside->before, outside->between, outside->after};
  for (const ParsedItem& item : parsed->items) parts.push_back(item.tag);
  for (const ParsedData& data : parsed->data) parts.push_back(MaskDates(data.bytes));
  return parts;
}

// The pixel size of every picture of a package, by entry name (sorted: replaced entries
// may move within the package), as an independent decoder reads it.
inline std::vector<std::string> PackagePictureSizes(const std::string& path, TempDir& dir) {
  std::vector<std::string> sizes;
  const auto items = ReadZip(path);
  EXPECT_TRUE(items) << path;
  if (!items) return sizes;
  for (const ZipItem& item : *items) {
    if (item.directory || item.name.rfind("BinData/", 0) != 0) continue;
    const std::string file = dir.File("picture");
    WriteFile(file, item.bytes);
    const auto decoded = DecodeWithPil(file);
    sizes.push_back(item.name + " " +
                    (decoded ? std::to_string(decoded->width) + "x" +
                                   std::to_string(decoded->height)
                             : std::string("undecodable")));
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

}  // namespace velmora::testing
