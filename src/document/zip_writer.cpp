#include "document/zip_writer.h"

#include <algorithm>
#include <ctime>

namespace velmora {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint64_t kMax32 = 0xFFFFFFFF;
constexpr uint16_t kVersion = 20;       // deflate
constexpr uint16_t kVersionZip64 = 45;  // zip64 records
constexpr uint16_t kUtf8NameFlag = 1 << 11;

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void Put64(std::string& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value & kMax32));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

// A name with bytes beyond ASCII that form UTF-8 is marked as UTF-8, as readers then
// show it right; other bytes stay as they are, in the archive's own code page.
bool IsUtf8BeyondAscii(std::string_view name) {
  bool beyond = false;
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > name.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) return false;
    }
    beyond = beyond || length > 1;
    i += length;
  }
  return beyond;
}

uint16_t Flags(const ZipEntryHeader& header) {
  return IsUtf8BeyondAscii(header.name) ? kUtf8NameFlag : 0;
}

bool SizesNeedZip64(const ZipEntryHeader& header) {
  return header.size >= kMax32 || header.compressedSize >= kMax32;
}

}  // namespace

void ToDosTime(int64_t secondsSinceEpoch, uint16_t& dosTime, uint16_t& dosDate) {
  const std::time_t seconds = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr || local.tm_year < 80) {
    dosTime = 0;
    dosDate = 0x21;
    return;
  }
  dosTime = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  dosDate = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                  local.tm_mday);
}

bool ZipWriter::Put(std::string_view bytes) {
  if (!out_.Write(bytes)) {
    refused_ = true;
    return false;
  }
  offset_ += bytes.size();
  return true;
}

bool ZipWriter::Begin(const ZipEntryHeader& header) {
  if (pending_ != 0 || header.name.size() > 0xFFFF) return false;
  const bool zip64 = SizesNeedZip64(header);
  std::string local;
  Put32(local, kLocalSignature);
  Put16(local, zip64 ? kVersionZip64 : kVersion);
  Put16(local, Flags(header));
  Put16(local, header.method);
  Put16(local, header.dosTime);
  Put16(local, header.dosDate);
  Put32(local, header.crc);
  Put32(local, zip64 ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(header.compressedSize));
  Put32(local, zip64 ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(header.size));
  Put16(local, static_cast<uint32_t>(header.name.size()));
  Put16(local, zip64 ? 20 : 0);
  local += header.name;
  if (zip64) {
    Put16(local, kZip64ExtraId);
    Put16(local, 16);
    Put64(local, header.size);
    Put64(local, header.compressedSize);
  }
  entries_.push_back({header, offset_});
  pending_ = header.compressedSize;
  return Put(local);
}

bool ZipWriter::Data(std::string_view bytes) {
  if (bytes.size() > pending_) return false;
  pending_ -= bytes.size();
  return Put(bytes);
}

bool ZipWriter::Finish(const std::string& comment) {
  if (pending_ != 0 || comment.size() > 0xFFFF) return false;
  const uint64_t directoryStart = offset_;
  for (const Placed& placed : entries_) {
    const ZipEntryHeader& header = placed.header;
    std::string extra;
    if (header.size >= kMax32) Put64(extra, header.size);
    if (header.compressedSize >= kMax32) Put64(extra, header.compressedSize);
    if (placed.offset >= kMax32) Put64(extra, placed.offset);
    std::string zip64;
    if (!extra.empty()) {
      Put16(zip64, kZip64ExtraId);
      Put16(zip64, static_cast<uint32_t>(extra.size()));
      zip64 += extra;
    }
    const uint16_t needed = zip64.empty() ? kVersion : kVersionZip64;
    std::string central;
    Put32(central, kCentralSignature);
    Put16(central, static_cast<uint32_t>((header.madeBy & 0xFF00) | needed));
    Put16(central, needed);
    Put16(central, Flags(header));
    Put16(central, header.method);
    Put16(central, header.dosTime);
    Put16(central, header.dosDate);
    Put32(central, header.crc);
    Put32(central, static_cast<uint32_t>(std::min(header.compressedSize, kMax32)));
    Put32(central, static_cast<uint32_t>(std::min(header.size, kMax32)));
    Put16(central, static_cast<uint32_t>(header.name.size()));
    Put16(central, static_cast<uint32_t>(zip64.size()));
    Put16(central, static_cast<uint32_t>(std::min<size_t>(header.comment.size(), 0xFFFF)));
    Put16(central, 0);  // the disk the entry starts on
    Put16(central, header.internalAttributes);
    Put32(central, header.externalAttributes);
    Put32(central, static_cast<uint32_t>(std::min(placed.offset, kMax32)));
    central += header.name;
    central += zip64;
    central += header.comment.substr(0, 0xFFFF);
    if (!Put(central)) return false;
  }
  const uint64_t directorySize = offset_ - directoryStart;
  const uint64_t count = entries_.size();
  std::string end;
  if (count >= 0xFFFF || directoryStart >= kMax32 || directorySize >= kMax32) {
    const uint64_t recordStart = offset_;
    Put32(end, kZip64EndSignature);
    Put64(end, 44);  // the record's size after this field
    Put16(end, kVersionZip64);
    Put16(end, kVersionZip64);
    Put32(end, 0);
    Put32(end, 0);
    Put64(end, count);
    Put64(end, count);
    Put64(end, directorySize);
    Put64(end, directoryStart);
    Put32(end, kZip64LocatorSignature);
    Put32(end, 0);
    Put64(end, recordStart);
    Put32(end, 1);
  }
  Put32(end, kEndSignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF)));
  Put16(end, static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF)));
  Put32(end, static_cast<uint32_t>(std::min(directorySize, kMax32)));
  Put32(end, static_cast<uint32_t>(std::min(directoryStart, kMax32)));
  Put16(end, static_cast<uint32_t>(comment.size()));
  end += comment;
  return Put(end);
}

}  // namespace velmora
