#include "image/exif_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <set>

#include "core/text.h"
#include "image/jpeg_segments.h"
#include "platform/platform.h"

namespace velmora {

namespace {

constexpr uint16_t kTagSoftware = 0x0131;
constexpr uint16_t kTagDateTime = 0x0132;
constexpr uint16_t kTagXResolution = 0x011A;
constexpr uint16_t kTagYResolution = 0x011B;
constexpr uint16_t kTagResolutionUnit = 0x0128;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagDateTimeDigitized = 0x9004;
constexpr uint16_t kTagPixelX = 0xA002;
constexpr uint16_t kTagPixelY = 0xA003;
constexpr uint16_t kTagMakerNote = 0x927C;

constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;

// The program's product tag, written as the Software of every picture it rewrites.
constexpr std::string_view kSoftwareText = "Velm";

// A date string of the standard form "YYYY:MM:DD hh:mm:ss" and its zero byte.
constexpr size_t kDateLength = 19;

// The first block position after the EXIF and TIFF headers (6 + 8 bytes): no
// directory can start in front of it.
constexpr int64_t kFirstDirectory = 14;

// Sizes of the TIFF 6.0 types; other types count as 0.
uint64_t TypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < sizeof kSizes ? kSizes[type] : 0;
}

bool IsSubIfdPointer(uint16_t tag) {
  return tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd;
}

// The directory of a thumbnail: six tags it must have once each, others it may have once.
constexpr uint16_t kThumbnailRequired[] = {0x0103, 0x011A, 0x011B, 0x0128, 0x0201, 0x0202};
constexpr uint16_t kThumbnailOptional[] = {0x010E, 0x010F, 0x0110, 0x0112, 0x012D, 0x0131,
                                           0x0132, 0x013B, 0x013E, 0x013F, 0x0211, 0x0213,
                                           0x0214, 0x8298, 0x8769, 0x8825};
// Count, six entries and the next-IFD field: the smallest thumbnail directory.
constexpr int64_t kMinThumbnailDirectory = 2 + 6 * 12 + 4;

// The 134-byte block of a picture that had none: IFD0 with DateTime and the Exif IFD
// pointer, the Exif IFD with DateTimeOriginal and DateTimeDigitized.
constexpr uint8_t kNewBlock[134] = {
    0x45, 0x78, 0x69, 0x66, 0x00, 0x00,                                      // "Exif"
    0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,                          // II, 42, IFD0 at 8
    0x02, 0x00,                                                              // 2 entries
    0x32, 0x01, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0x26, 0x00, 0x00, 0x00,  // DateTime @38
    0x69, 0x87, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3A, 0x00, 0x00, 0x00,  // Exif IFD @58
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
    '0', '0', '0', '0', ':', '0', '0', ':', '0', '0', ' ', '0', '0', ':', '0', '0', ':', '0',
    '0', 0x00,                                                               // @44
    0x02, 0x00,                                                              // 2 entries
    0x03, 0x90, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0x58, 0x00, 0x00, 0x00,  // Original @88
    0x04, 0x90, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0x6C, 0x00, 0x00, 0x00,  // Digitized @108
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
    '0', '0', '0', '0', ':', '0', '0', ':', '0', '0', ' ', '0', '0', ':', '0', '0', ':', '0',
    '0', 0x00,                                                               // @94
    '0', '0', '0', '0', ':', '0', '0', ':', '0', '0', ' ', '0', '0', ':', '0', '0', ':', '0',
    '0', 0x00,                                                               // @114
};
constexpr int64_t kNewBlockDates[] = {44, 94, 114};

constexpr std::string_view kExifSignature{"Exif\0", 5};
constexpr std::string_view kIccSignature{"ICC_PROFILE\0", 12};

}  // namespace

// --- Byte access -----------------------------------------------------------------------

bool ExifBlock::Inside(int64_t position, uint64_t size) const {
  return position >= 0 && position <= Size() && size <= static_cast<uint64_t>(Size() - position);
}

uint32_t ExifBlock::Get16(int64_t position) const {
  if (!Inside(position, 2)) return 0;
  const uint8_t* p = data_.data() + position;
  return littleEndian_ ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1];
}

uint32_t ExifBlock::Get32(int64_t position) const {
  if (!Inside(position, 4)) return 0;
  const uint8_t* p = data_.data() + position;
  const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
  return littleEndian_ ? b0 | (b1 << 8) | (b2 << 16) | (b3 << 24)
                       : (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
}

void ExifBlock::Put16(int64_t position, uint32_t value) {
  if (!Inside(position, 2)) return;
  uint8_t* p = data_.data() + position;
  p[littleEndian_ ? 0 : 1] = static_cast<uint8_t>(value);
  p[littleEndian_ ? 1 : 0] = static_cast<uint8_t>(value >> 8);
}

void ExifBlock::Put32(int64_t position, uint32_t value) {
  if (!Inside(position, 4)) return;
  uint8_t* p = data_.data() + position;
  for (int i = 0; i < 4; ++i) {
    p[littleEndian_ ? i : 3 - i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// --- Parsing ---------------------------------------------------------------------------

void ExifBlock::Clear() {
  data_.clear();
  littleEndian_ = true;
  ClearPositions();
}

void ExifBlock::ClearPositions() {
  softwareEntry_ = softwareValue_ = 0;
  dateTimeValue_ = dateTimeOriginalValue_ = dateTimeDigitizedValue_ = 0;
  pixelXType_ = pixelYType_ = 0;
  pixelXValue_ = pixelYValue_ = 0;
  xResolutionValue_ = yResolutionValue_ = resolutionUnitValue_ = 0;
  orientation_ = 0;
  gpsIfd_ = 0;
  mainEnd_ = 0;
}

bool ExifBlock::ReadDirectory(int64_t position, bool withNextField,
                               std::vector<Entry>& entries) const {
  entries.clear();
  if (!Inside(position, 2)) return false;
  const uint32_t count = Get16(position);
  if (!Inside(position + 2, uint64_t{count} * 12 + (withNextField ? 4 : 0))) return false;
  entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    Entry e{};
    e.position = position + 2 + int64_t{i} * 12;
    e.tag = static_cast<uint16_t>(Get16(e.position));
    e.type = static_cast<uint16_t>(Get16(e.position + 2));
    e.count = Get32(e.position + 4);
    e.size = uint64_t{e.count} * TypeSize(e.type);
    e.outOfLine = e.size > 4;
    e.valuePosition = e.outOfLine ? int64_t{Get32(e.position + 8)} + 6 : e.position + 8;
    entries.push_back(e);
  }
  return true;
}

ExifStatus ExifBlock::LoadBlock(std::string_view block) {
  Clear();
  data_.assign(block.begin(), block.end());
  const ExifStatus status = Parse();
  if (status != ExifStatus::kParsed) Clear();
  return status;
}

// Entries reach mainEnd, and so do their strings and rationals; other values (a maker
// note, for example) do not.
int64_t ExifBlock::Reach(const Entry& e, int64_t end) const {
  end = std::max(end, e.position + 12);
  if (e.outOfLine && (e.type == kTypeAscii || e.type == kTypeRational) &&
      Inside(e.valuePosition, e.size)) {
    end = std::max<int64_t>(end, e.valuePosition + static_cast<int64_t>(e.size));
  }
  return end;
}

// Only a string of the standard length is overwritten in place: a shorter one has no
// room for it, and writing past its count would change a neighbour's bytes.
int64_t ExifBlock::StandardDatePosition(const Entry& e) const {
  if (e.type != kTypeAscii || e.count < kDateLength + 1 || !Inside(e.valuePosition, e.size)) {
    return 0;
  }
  const auto* text = reinterpret_cast<const char*>(data_.data() + e.valuePosition);
  return strnlen(text, e.count) == kDateLength ? e.valuePosition : 0;
}

int64_t ExifBlock::RationalPosition(const Entry& e) const {
  return e.type == kTypeRational && e.count >= 1 && Inside(e.valuePosition, 8) ? e.valuePosition
                                                                               : int64_t{0};
}

ExifStatus ExifBlock::ParseHeader() {
  if (data_.size() < 6 || std::memcmp(data_.data(), "Exif\0\0", 6) != 0) {
    return ExifStatus::kNotExif;
  }
  if (data_.size() <= 13) return ExifStatus::kDamaged;
  if (data_[6] == 'I' && data_[7] == 'I') {
    littleEndian_ = true;
  } else if (data_[6] == 'M' && data_[7] == 'M') {
    littleEndian_ = false;
  } else {
    return ExifStatus::kUnknownByteOrder;
  }
  return Get16(8) == 42 ? ExifStatus::kParsed : ExifStatus::kDamaged;
}

void ExifBlock::NoteIfd0Entry(const Entry& e, SubDirectories& sub) {
  switch (e.tag) {
    case kTagSoftware:
      softwareEntry_ = e.position;
      softwareValue_ = e.outOfLine && Inside(e.valuePosition, e.size) ? e.valuePosition : 0;
      break;
    case kTagDateTime:
      if (int64_t date = StandardDatePosition(e); date != 0) dateTimeValue_ = date;
      break;
    case kTagXResolution: xResolutionValue_ = RationalPosition(e); break;
    case kTagYResolution: yResolutionValue_ = RationalPosition(e); break;
    case kTagResolutionUnit:
      resolutionUnitValue_ = e.type == kTypeShort && e.count == 1 ? e.position + 8 : 0;
      break;
    case kTagOrientation:
      orientation_ = e.type == kTypeShort && e.count == 1 ? Get16(e.position + 8) : 0;
      break;
    case kTagExifIfd:
      if (uint32_t offset = Get32(e.position + 8); offset != 0) sub.exif = int64_t{offset} + 6;
      break;
    case kTagGpsIfd:
      if (uint32_t offset = Get32(e.position + 8); offset != 0) sub.gps = int64_t{offset} + 6;
      break;
    default: break;
  }
}

void ExifBlock::NoteExifEntry(const Entry& e) {
  const bool inlineNumber = (e.type == kTypeShort || e.type == kTypeLong) && e.count == 1;
  switch (e.tag) {
    case kTagDateTimeOriginal:
      if (int64_t date = StandardDatePosition(e); date != 0) dateTimeOriginalValue_ = date;
      break;
    case kTagDateTimeDigitized:
      if (int64_t date = StandardDatePosition(e); date != 0) dateTimeDigitizedValue_ = date;
      break;
    case kTagPixelX:
      if (inlineNumber) {
        pixelXType_ = e.type;
        pixelXValue_ = e.position + 8;
      }
      break;
    case kTagPixelY:
      if (inlineNumber) {
        pixelYType_ = e.type;
        pixelYValue_ = e.position + 8;
      }
      break;
    default: break;
  }
}

ExifStatus ExifBlock::Parse() {
  ClearPositions();
  if (const ExifStatus header = ParseHeader(); header != ExifStatus::kParsed) return header;

  const int64_t ifd0 = Ifd0Position();
  std::vector<Entry> entries;
  if (ifd0 >= Size() || !ReadDirectory(ifd0, true, entries)) return ExifStatus::kDamaged;
  int64_t end = 0;
  SubDirectories sub;
  for (const Entry& e : entries) {
    end = Reach(e, end);
    NoteIfd0Entry(e, sub);
  }

  if (sub.exif != 0 && Inside(sub.exif, 4)) {
    if (!ReadDirectory(sub.exif, false, entries)) return ExifStatus::kDamaged;
    for (const Entry& e : entries) {
      end = Reach(e, end);
      NoteExifEntry(e);
    }
  }

  if (sub.gps != 0 && Inside(sub.gps, 4)) {
    if (!GpsDirectoryValid(sub.gps)) return ExifStatus::kDamaged;
    ReadDirectory(sub.gps, true, entries);
    end = std::max<int64_t>(end, sub.gps + 2 + static_cast<int64_t>(entries.size()) * 12 + 4);
    for (const Entry& e : entries) {
      if (e.outOfLine) end = std::max<int64_t>(end, e.valuePosition + static_cast<int64_t>(e.size));
    }
    gpsIfd_ = sub.gps + 2;
  }
  mainEnd_ = end > 0 ? end : Size();
  ForgetValuesOnStructure();
  return ExifStatus::kParsed;
}

// Values that are overwritten in place must not share bytes with the headers or a
// directory: a damaged offset could otherwise make a date or a rational overwrite the
// structure itself.
void ExifBlock::ForgetValuesOnStructure() {
  for (int64_t* value : {&dateTimeValue_, &dateTimeOriginalValue_, &dateTimeDigitizedValue_}) {
    if (*value != 0 && TouchesStructure(*value, kDateLength + 1)) *value = 0;
  }
  for (int64_t* value : {&xResolutionValue_, &yResolutionValue_}) {
    if (*value != 0 && TouchesStructure(*value, 8)) *value = 0;
  }
}

bool ExifBlock::TouchesStructure(int64_t position, int64_t size) const {
  if (position < 14) return true;
  std::vector<Entry> entries;
  for (int64_t directory : MainDirectories()) {
    if (!ReadDirectory(directory, false, entries)) continue;
    const int64_t end = directory + 2 + static_cast<int64_t>(entries.size()) * 12 + 4;
    if (position < end && directory < position + size) return true;
  }
  return false;
}

bool ExifBlock::GpsDirectoryValid(int64_t countPosition) const {
  std::vector<Entry> entries;
  if (!ReadDirectory(countPosition, true, entries)) return false;
  return std::all_of(entries.begin(), entries.end(), [&](const Entry& e) {
    return !e.outOfLine || Inside(e.valuePosition, e.size);
  });
}

// --- Structure walks -------------------------------------------------------------------

std::vector<int64_t> ExifBlock::MainDirectories() const {
  std::vector<int64_t> directories;
  std::set<int64_t> seen;
  std::vector<int64_t> pending{Ifd0Position()};
  std::vector<Entry> entries;
  // Directories pointing at each other must not make the walk go round for ever.
  while (!pending.empty()) {
    const int64_t directory = pending.back();
    pending.pop_back();
    // A directory in the headers is no directory: its "entries" would be header bytes.
    if (directory < kFirstDirectory || !seen.insert(directory).second ||
        !ReadDirectory(directory, false, entries)) {
      continue;
    }
    directories.push_back(directory);
    for (const Entry& e : entries) {
      if (IsSubIfdPointer(e.tag) && Get32(e.position + 8) != 0) {
        pending.push_back(int64_t{Get32(e.position + 8)} + 6);
      }
    }
  }
  return directories;
}

ExifBlock::OffsetFields ExifBlock::CollectOffsetFields() const {
  OffsetFields fields;
  fields.insertionPoint = Size();
  // The header's IFD0 offset moves IFD0 along when bytes are inserted in front of it.
  fields.positions.push_back(10);

  std::vector<Entry> entries;
  auto collect = [&]() {
    for (const Entry& e : entries) {
      if (IsSubIfdPointer(e.tag) || e.tag == kTagThumbnailOffset || e.outOfLine) {
        fields.positions.push_back(e.position + 8);
      }
    }
  };

  const std::vector<int64_t> directories = MainDirectories();
  const int64_t ifd0 = Ifd0Position();
  for (int64_t directory : directories) {
    if (!ReadDirectory(directory, false, entries)) continue;
    collect();
    if (directory != ifd0) fields.insertionPoint = std::min(fields.insertionPoint, directory);
  }

  // IFD1 (the thumbnail's directory) is kept in step as long as it is there: IFD0's
  // next-IFD field and IFD1's own offsets. Next-IFD fields of the other directories
  // are not followed: cameras leave arbitrary values there, and bytes that are not
  // offsets must never be changed.
  if (ReadDirectory(ifd0, true, entries)) {
    const int64_t next = ifd0 + 2 + static_cast<int64_t>(entries.size()) * 12;
    const uint32_t ifd1Offset = Get32(next);
    if (ifd1Offset != 0) {
      fields.positions.push_back(next);
      const int64_t ifd1 = int64_t{ifd1Offset} + 6;
      if (ifd1 >= kFirstDirectory &&
          std::find(directories.begin(), directories.end(), ifd1) == directories.end() &&
          ReadDirectory(ifd1, true, entries)) {
        collect();
        const int64_t ifd1Next = ifd1 + 2 + static_cast<int64_t>(entries.size()) * 12;
        if (Get32(ifd1Next) != 0) fields.positions.push_back(ifd1Next);
      }
    }
  }
  std::sort(fields.positions.begin(), fields.positions.end());
  fields.positions.erase(std::unique(fields.positions.begin(), fields.positions.end()),
                         fields.positions.end());
  return fields;
}

bool ExifBlock::Resize(int64_t position, int64_t delta, OffsetFields& fields) {
  // The EXIF and TIFF headers are never moved or cut.
  if (data_.empty() || Size() <= 3 || position > Size() || position <= 13) return false;
  if (delta < 0 && -delta > Size() - position) return false;
  const int64_t removedEnd = delta < 0 ? position - delta : position;

  std::vector<int64_t> kept;
  kept.reserve(fields.positions.size());
  for (int64_t field : fields.positions) {
    // A field inside removed bytes goes with them.
    if (field >= position && field < removedEnd) continue;
    const int64_t target = int64_t{Get32(field)} + 6;
    // Offsets pointing into removed bytes are left alone: nothing valid lies there.
    // So are values that cannot move along without leaving the 32-bit range: wrapped
    // round, they would point into the headers.
    if (target >= removedEnd && target - 6 + delta <= int64_t{UINT32_MAX}) {
      Put32(field, static_cast<uint32_t>(target - 6 + delta));
    }
    kept.push_back(field >= position ? field + delta : field);
  }
  fields.positions = std::move(kept);

  if (delta > 0) {
    data_.insert(data_.begin() + position, static_cast<size_t>(delta), 0);
  } else if (delta < 0) {
    data_.erase(data_.begin() + position, data_.begin() + removedEnd);
  }
  if (mainEnd_ >= position) mainEnd_ = std::max<int64_t>(position, mainEnd_ + delta);
  return true;
}

bool ExifBlock::InsertIfd0Entry(uint16_t tag, uint16_t type, uint32_t count,
                                 std::string_view value, OffsetFields& fields) {
  const uint32_t entries = Get16(Ifd0Position());
  if (entries >= 0xFFFF) return false;

  int64_t valuePosition = 0;
  const bool outOfLine = value.size() > 4;
  if (outOfLine) {
    // New values go in front of the sub-IFDs, or to the end when that would move a
    // maker note.
    const int64_t q = MovesOpaqueData(fields.insertionPoint) ? Size() : fields.insertionPoint;
    if (!Resize(q, static_cast<int64_t>(value.size()), fields)) return false;
    std::memcpy(data_.data() + q, value.data(), value.size());
    valuePosition = q;
  }
  // IFD0 itself moves when the value went in front of it.
  const int64_t ifd0 = Ifd0Position();
  const int64_t entry = ifd0 + 2;
  if (!Resize(entry, 12, fields)) return false;
  if (outOfLine && valuePosition >= entry) valuePosition += 12;

  Put16(entry, tag);
  Put16(entry + 2, type);
  Put32(entry + 4, count);
  if (outOfLine) {
    Put32(entry + 8, static_cast<uint32_t>(valuePosition - 6));
  } else {
    std::memcpy(data_.data() + entry + 8, value.data(), value.size());
  }
  Put16(ifd0, entries + 1);
  return true;
}

bool ExifBlock::MovesOpaqueData(int64_t position) const {
  std::vector<Entry> entries;
  for (int64_t directory : MainDirectories()) {
    if (!ReadDirectory(directory, false, entries)) continue;
    for (const Entry& e : entries) {
      if (e.tag == kTagMakerNote && e.outOfLine && Inside(e.valuePosition, e.size) &&
          e.valuePosition >= position) {
        return true;
      }
    }
  }
  return false;
}

bool ExifBlock::MakeIfd0Extensible() {
  const int64_t ifd0 = Ifd0Position();
  if (!MovesOpaqueData(ifd0 + 2)) return true;
  std::vector<Entry> entries;
  if (!ReadDirectory(ifd0, true, entries)) return false;
  // IFD0 moves to the end of the block (directories start on an even offset); its
  // out-of-line values stay where they are, so no offset changes.
  const auto size = static_cast<int64_t>(2 + entries.size() * 12 + 4);
  // A next-IFD offset that points at the end (IFD1 was cut off) would point at the
  // moved IFD0 itself.
  const int64_t next = ifd0 + size - 4;
  if (int64_t{Get32(next)} + 6 >= Size()) Put32(next, 0);
  const int64_t target = Size() + (Size() & 1);
  data_.resize(static_cast<size_t>(target + size), 0);
  std::memcpy(data_.data() + target, data_.data() + ifd0, static_cast<size_t>(size));
  std::memset(data_.data() + ifd0, 0, static_cast<size_t>(size));
  Put32(10, static_cast<uint32_t>(target - 6));
  return Parse() == ExifStatus::kParsed;
}

// --- Editing ---------------------------------------------------------------------------

bool ExifBlock::EditOrRestore(const std::function<bool()>& edit) {
  const std::vector<uint8_t> before = data_;
  const bool done = edit();
  if (data_.empty() || Parse() == ExifStatus::kParsed) return done;
  data_ = before;
  Parse();
  return false;
}

std::string ExifBlock::DateText(int64_t secondsSinceEpoch) {
  const platform::LocalTime t = platform::ToLocalTime(secondsSinceEpoch);
  std::string text = Format("%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                            t.minute, t.second);
  text.resize(kDateLength, '0');  // a year beyond 9999 must not make the string longer
  return text;
}

void ExifBlock::Create(int64_t secondsSinceEpoch) {
  Clear();
  data_.assign(std::begin(kNewBlock), std::end(kNewBlock));
  const std::string date = DateText(secondsSinceEpoch);
  for (int64_t position : kNewBlockDates) {
    std::memcpy(data_.data() + position, date.data(), kDateLength);
  }
  Parse();
  SetSoftware();
  Parse();
}

bool ExifBlock::SetSoftware() {
  return EditOrRestore([&]() -> bool {
    if (data_.size() < 4 || !MakeIfd0Extensible()) return false;
    OffsetFields fields = CollectOffsetFields();
    if (softwareEntry_ != 0) {
      int64_t entry = softwareEntry_;
      const auto size = static_cast<int64_t>(uint64_t{Get32(entry + 4)} *
                                             TypeSize(static_cast<uint16_t>(Get16(entry + 2))));
      // A string that shares its bytes with anything else stays where it is, unused; one
      // whose removal would move a maker note is blanked instead.
      if (softwareValue_ != 0 && !Shared(entry, softwareValue_, size)) {
        if (MovesOpaqueData(softwareValue_)) {
          std::memset(data_.data() + softwareValue_, 0, static_cast<size_t>(size));
        } else {
          if (!Resize(softwareValue_, -size, fields)) return false;
          if (entry >= softwareValue_) entry -= size;
        }
      }
      if (!Resize(entry, -12, fields)) return false;
      const int64_t ifd0 = Ifd0Position();
      Put16(ifd0, Get16(ifd0) - 1);
      fields = CollectOffsetFields();
    }
    // The text is followed by one or two zero bytes, so that its count is even.
    std::string value(kSoftwareText);
    value.resize((value.size() + 2) & ~size_t{1}, '\0');
    const bool inserted = InsertIfd0Entry(kTagSoftware, kTypeAscii,
                                          static_cast<uint32_t>(value.size()), value, fields);
    return Parse() == ExifStatus::kParsed && inserted;
  });
}

void ExifBlock::StampDates(int64_t secondsSinceEpoch) {
  const std::string date = DateText(secondsSinceEpoch);
  EditOrRestore([&]() -> bool {
    for (int64_t position : {dateTimeValue_, dateTimeOriginalValue_, dateTimeDigitizedValue_}) {
      if (position != 0 && Inside(position, kDateLength + 1)) {
        std::memcpy(data_.data() + position, date.c_str(), kDateLength + 1);
      }
    }
    return true;
  });
}

bool ExifBlock::EnsureDateTime(int64_t secondsSinceEpoch) {
  return EditOrRestore([&]() -> bool {
    if (data_.size() < 4) return false;
    const std::string date = DateText(secondsSinceEpoch);
    if (dateTimeValue_ != 0 && Inside(dateTimeValue_, kDateLength + 1)) {
      std::memcpy(data_.data() + dateTimeValue_, date.c_str(), kDateLength + 1);
      return true;
    }
    if (!MakeIfd0Extensible()) return false;
    OffsetFields fields = CollectOffsetFields();
    const bool inserted = InsertIfd0Entry(kTagDateTime, kTypeAscii, kDateLength + 1,
                                          std::string_view(date.c_str(), kDateLength + 1), fields);
    return Parse() == ExifStatus::kParsed && inserted;
  });
}

// Values written in place are edits too: in a damaged block another directory can
// overlap them, and a new value would change what that directory says.
void ExifBlock::SetWidth(uint32_t pixels) {
  if (pixelXValue_ == 0) return;
  EditOrRestore([&]() -> bool {
    if (pixelXType_ == kTypeShort) Put16(pixelXValue_, std::min<uint32_t>(pixels, 0xFFFF));
    if (pixelXType_ == kTypeLong) Put32(pixelXValue_, pixels);
    return true;
  });
}

void ExifBlock::SetHeight(uint32_t pixels) {
  if (pixelYValue_ == 0) return;
  EditOrRestore([&]() -> bool {
    if (pixelYType_ == kTypeShort) Put16(pixelYValue_, std::min<uint32_t>(pixels, 0xFFFF));
    if (pixelYType_ == kTypeLong) Put32(pixelYValue_, pixels);
    return true;
  });
}

ExifBlock::Rational ExifBlock::ToRational(double value) {
  if (!(value > 0)) return {0, 1};  // negative, zero and not-a-number
  if (value < 1) {
    const Rational inverse = ToRational(1 / value);
    if (inverse.numerator == 0) return {0, 1};
    return {inverse.denominator, inverse.numerator};
  }
  // Beyond this the numerator could not be represented anyway.
  value = std::min(value, 4294967295.0);
  uint64_t numerator = static_cast<uint64_t>(value + 0.5);
  uint64_t denominator = 1;
  if (std::fabs(value - static_cast<double>(numerator)) > 0.01) {
    numerator = static_cast<uint64_t>(value * 1000 + 0.5);
    denominator = 1000;
    if (numerator % 100 != 0) {
      numerator = static_cast<uint64_t>(value * 9000 + 0.5);
      denominator = 9000;
    }
  }
  const uint64_t divisor = std::gcd(numerator, denominator);
  numerator /= divisor;
  denominator /= divisor;
  constexpr uint64_t kLimit = uint64_t{1} << 31;
  // Halving keeps the value; a denominator of 1 cannot be halved, so the numerator is
  // then capped instead.
  while ((numerator >= kLimit || denominator >= kLimit) && denominator > 1) {
    numerator /= 2;
    denominator /= 2;
  }
  numerator = std::min(numerator, kLimit - 1);
  return {static_cast<uint32_t>(numerator), static_cast<uint32_t>(std::max<uint64_t>(denominator, 1))};
}

void ExifBlock::SetResolution(float x, float y) {
  if (xResolutionValue_ == 0 || yResolutionValue_ == 0 || resolutionUnitValue_ == 0) return;
  // An unknown resolution leaves the camera's values as they were.
  if (!(x > 0) || !(y > 0)) return;
  const Rational rx = ToRational(x);
  const Rational ry = ToRational(y);
  EditOrRestore([&]() -> bool {
    Put16(resolutionUnitValue_, 2);  // inches
    Put32(xResolutionValue_, rx.numerator);
    Put32(xResolutionValue_ + 4, rx.denominator);
    Put32(yResolutionValue_, ry.numerator);
    Put32(yResolutionValue_ + 4, ry.denominator);
    return true;
  });
}

bool ExifBlock::GetResolution(float& x, float& y) const {
  if (xResolutionValue_ == 0 || yResolutionValue_ == 0) return false;
  // Inches unless the block says otherwise; 1 is "no absolute unit".
  const uint32_t unit = resolutionUnitValue_ != 0 ? Get16(resolutionUnitValue_) : 2;
  if (unit != 2 && unit != 3) return false;
  const double toInch = unit == 3 ? 2.54 : 1.0;
  auto read = [this, toInch](int64_t position) {
    const uint32_t denominator = Get32(position + 4);
    return denominator == 0 ? 0.0 : Get32(position) * toInch / denominator;
  };
  const double rx = read(xResolutionValue_);
  const double ry = read(yResolutionValue_);
  if (!(rx > 0) || !(ry > 0)) return false;
  x = static_cast<float>(rx);
  y = static_cast<float>(ry);
  return true;
}

void ExifBlock::ScaleResolution(double x, double y) {
  if (xResolutionValue_ == 0 || yResolutionValue_ == 0 || !(x > 0) || !(y > 0)) return;
  auto scaled = [this](int64_t position, double factor) {
    const uint32_t denominator = Get32(position + 4);
    return ToRational(denominator == 0 ? 0.0 : Get32(position) * factor / denominator);
  };
  const Rational rx = scaled(xResolutionValue_, x);
  const Rational ry = scaled(yResolutionValue_, y);
  EditOrRestore([&]() -> bool {
    Put32(xResolutionValue_, rx.numerator);
    Put32(xResolutionValue_ + 4, rx.denominator);
    Put32(yResolutionValue_, ry.numerator);
    Put32(yResolutionValue_ + 4, ry.denominator);
    return true;
  });
}

// --- Thumbnail and finishing -----------------------------------------------------------

int64_t ExifBlock::FindStartOfImage(int64_t from) const {
  for (int64_t i = std::max<int64_t>(from, 0); i + 1 < Size(); ++i) {
    if (data_[i] == 0xFF && data_[i + 1] == 0xD8) return i;
  }
  return -1;
}

int64_t ExifBlock::FindThumbnailDirectory(int64_t from, int64_t end) const {
  for (int64_t s = from; s >= 0 && s + kMinThumbnailDirectory <= end; ++s) {
    const uint32_t count = Get16(s);
    if (count < 6 || count > 22) continue;
    const int64_t next = s + 2 + int64_t{count} * 12;
    if (next + 4 > end || Get32(next) != 0) continue;
    int required[std::size(kThumbnailRequired)] = {};
    int optional[std::size(kThumbnailOptional)] = {};
    bool valid = true;
    for (uint32_t i = 0; i < count && valid; ++i) {
      const auto tag = static_cast<uint16_t>(Get16(s + 2 + int64_t{i} * 12));
      const auto* r = std::find(std::begin(kThumbnailRequired), std::end(kThumbnailRequired), tag);
      const auto* o = std::find(std::begin(kThumbnailOptional), std::end(kThumbnailOptional), tag);
      if (r != std::end(kThumbnailRequired)) {
        valid = ++required[r - std::begin(kThumbnailRequired)] == 1;
      } else if (o != std::end(kThumbnailOptional)) {
        valid = ++optional[o - std::begin(kThumbnailOptional)] == 1;
      } else {
        valid = false;
      }
    }
    if (valid && std::all_of(std::begin(required), std::end(required), [](int n) { return n == 1; })) {
      return s;
    }
  }
  return -1;
}

bool ExifBlock::Shared(int64_t entry, int64_t position, int64_t size) const {
  auto overlaps = [&](int64_t start, int64_t length) {
    return start < position + size && position < start + length;
  };
  std::vector<Entry> entries;
  for (int64_t directory : MainDirectories()) {
    if (!ReadDirectory(directory, false, entries)) continue;
    if (overlaps(directory, 2 + static_cast<int64_t>(entries.size()) * 12 + 4)) return true;
    for (const Entry& e : entries) {
      if (e.position != entry && e.outOfLine && Inside(e.valuePosition, e.size) &&
          overlaps(e.valuePosition, static_cast<int64_t>(e.size))) {
        return true;
      }
    }
  }
  return false;
}

bool ExifBlock::SafeToCut(int64_t position) const {
  // Values of any type count here (a maker note or a user comment behind the
  // thumbnail would otherwise be cut off while its entry still points at it). Values
  // that already lie outside the block are damaged either way and do not count.
  std::vector<Entry> entries;
  for (int64_t directory : MainDirectories()) {
    if (!ReadDirectory(directory, false, entries)) continue;
    if (directory + 2 + static_cast<int64_t>(entries.size()) * 12 + 4 > position) return false;
    for (const Entry& e : entries) {
      if (e.outOfLine && Inside(e.valuePosition, e.size) &&
          e.valuePosition + static_cast<int64_t>(e.size) > position) {
        return false;
      }
    }
  }
  return true;
}

void ExifBlock::CutAt(int64_t position) {
  if (position > 13 && position < Size()) data_.resize(static_cast<size_t>(position));
}

bool ExifBlock::RemoveThumbnail() {
  return EditOrRestore([&]() -> bool {
    if (!(mainEnd_ > 0 && mainEnd_ < Size())) return false;
    const int64_t startOfImage = FindStartOfImage(mainEnd_);
    const int64_t searchEnd = startOfImage >= 0 ? startOfImage : Size();
    const int64_t ifd1 = FindThumbnailDirectory(mainEnd_, searchEnd);
    if (ifd1 < 0 || !SafeToCut(ifd1)) return false;
    CutAt(ifd1);
    Parse();
    return true;
  });
}

void ExifBlock::CleanUp() {
  // Entries whose values the block no longer holds keep their tag and lose the rest,
  // so that no reader follows them outside the block.
  std::vector<Entry> entries;
  for (int64_t directory : MainDirectories()) {
    if (!ReadDirectory(directory, false, entries)) continue;
    for (const Entry& e : entries) {
      bool dangling = e.outOfLine && !Inside(e.valuePosition, e.size);
      if (IsSubIfdPointer(e.tag)) {
        // A pointer counts as dangling unless a whole directory, with its next-IFD
        // field, can be read where it points: one into the last bytes of the block
        // would otherwise start to point at a directory once the block is padded to
        // an even length.
        const uint32_t offset = Get32(e.position + 8);
        std::vector<Entry> probe;
        dangling = offset != 0 && !ReadDirectory(int64_t{offset} + 6, true, probe);
      }
      if (dangling) {
        Put16(e.position + 2, 0);
        Put32(e.position + 4, 0);
        Put32(e.position + 8, 0);
      }
    }
  }
  const int64_t ifd0 = Ifd0Position();
  if (ReadDirectory(ifd0, true, entries)) {
    const int64_t next = ifd0 + 2 + static_cast<int64_t>(entries.size()) * 12;
    const int64_t target = int64_t{Get32(next)} + 6;
    if (target >= Size() || target == ifd0) Put32(next, 0);
  }
}

bool ExifBlock::Finish() {
  return EditOrRestore([&]() -> bool {
    if (data_.empty()) return false;

    // The bytes between the TIFF header and IFD0 are removed when nothing lies there:
    // no directory and no value that an offset points at.
    const uint32_t ifd0Offset = Get32(10);
    if (ifd0Offset > 8 && int64_t{ifd0Offset} + 6 < Size()) {
      OffsetFields fields = CollectOffsetFields();
      const int64_t gapEnd = int64_t{ifd0Offset} + 6;
      const bool used =
          std::any_of(fields.positions.begin(), fields.positions.end(), [&](int64_t f) {
            if (f == 10) return false;
            const int64_t target = int64_t{Get32(f)} + 6;
            return (f >= 14 && f < gapEnd) || (target >= 14 && target < gapEnd);
          });
      if (!used && !MovesOpaqueData(14) && Resize(14, -(int64_t{ifd0Offset} - 8), fields)) {
        Put32(10, 8);
        Parse();
      }
    }

    if (gpsIfd_ != 0 && !GpsDirectoryValid(gpsIfd_ - 2)) {
      CutAt(gpsIfd_ - 2);
    } else if (FindStartOfImage(mainEnd_) < 0) {
      const int64_t ifd1 = FindThumbnailDirectory(mainEnd_, Size());
      if (ifd1 >= 0 && SafeToCut(ifd1)) CutAt(ifd1);
    }
    CleanUp();
    Parse();
    return true;
  });
}

// --- Files -----------------------------------------------------------------------------

ExifStatus ExifBlock::LoadFromJpeg(const std::string& path) {
  Clear();
  extraSegments_.clear();
  std::string bytes;
  if (!ReadJpegHead(path, bytes)) return ExifStatus::kNotJpeg;
  uint32_t width = 0, height = 0;
  if (!FindJpegFrameSize(bytes, width, height)) return ExifStatus::kNotJpeg;

  // The first EXIF segment in front of the picture data; segments are followed one by
  // one, so that bytes inside other segments or the scans are never taken for one.
  JpegSegmentWalker walker(bytes);
  JpegSegment segment{};
  while (walker.Next(segment) && segment.marker != 0xDA && segment.marker != 0xD9) {
    if (segment.marker != 0xE1 || !SegmentPayloadStartsWith(bytes, segment, "Exif")) continue;
    const size_t length = segment.end - segment.position - 2;
    if (length < 16) return ExifStatus::kDamaged;
    return LoadBlock(std::string_view(bytes).substr(segment.position + 4, length - 2));
  }
  return ExifStatus::kNotExif;
}

ExifBlock::WriteResult ExifBlock::WriteIntoJpeg(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes) || !StartsLikeJpeg(bytes)) return WriteResult::kFailed;
  uint32_t width = 0, height = 0;
  if (!FindJpegFrameSize(bytes, width, height)) return WriteResult::kFailed;
  SetWidth(width);
  SetHeight(height);

  // A longer block would need a segment length that does not fit 16 bits; a wrapped
  // length would make readers take the block's bytes for segments. The padding byte
  // that keeps the length even is left out where it alone would not fit.
  if (data_.size() > kMaxSegmentPayload) return WriteResult::kTooLarge;
  size_t padded = std::min(data_.size() + (data_.size() & 1), kMaxSegmentPayload);
  // Readers see the padding byte as part of the block: it is left out where the block
  // would read differently with it.
  if (padded != data_.size()) {
    ExifBlock withPadding;
    std::string block(data_.begin(), data_.end());
    block += '\0';
    if (withPadding.LoadBlock(block) != ExifStatus::kParsed) padded = data_.size();
  }

  // The segments in front of the picture data: other application and comment segments
  // are kept in order, ICC profile chunks are kept, old EXIF segments are dropped.
  extraSegments_.clear();
  std::vector<JpegSegment> profile;
  size_t rest = 0;
  JpegSegmentWalker walker(bytes);
  JpegSegment segment{};
  while (rest == 0 && walker.Next(segment)) {
    if (segment.marker == 0xD9) break;
    if (segment.marker == 0xE1 && SegmentPayloadStartsWith(bytes, segment, kExifSignature)) continue;
    if (segment.marker == 0xE2 && SegmentPayloadStartsWith(bytes, segment, kIccSignature)) {
      profile.push_back(segment);
    } else if ((segment.marker >= 0xE0 && segment.marker <= 0xEF) || segment.marker == 0xFE) {
      extraSegments_.push_back(bytes.substr(segment.position, segment.end - segment.position));
    } else {
      rest = segment.position;
    }
  }
  // Without the tables, frame and scans there is no picture to write.
  if (rest == 0) return WriteResult::kFailed;

  std::string out;
  out.reserve(bytes.size() + padded + 4);
  out += "\xFF\xD8";
  if (!data_.empty()) {
    out += "\xFF\xE1";
    out += static_cast<char>((padded + 2) >> 8);
    out += static_cast<char>((padded + 2) & 0xFF);
    out.append(data_.begin(), data_.end());
    if (padded != data_.size()) out += '\0';
  }
  for (const std::string& extra : extraSegments_) out += extra;
  for (const JpegSegment& chunk : profile) {
    out.append(bytes, chunk.position, chunk.end - chunk.position);
  }
  out.append(bytes, rest, std::string::npos);

  platform::AtomicFile file;
  if (!file.Open(path) || !file.Write(out) || !file.Commit()) return WriteResult::kFailed;
  return WriteResult::kWritten;
}

}  // namespace velmora
