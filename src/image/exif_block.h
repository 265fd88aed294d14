#pragma once
// The EXIF block of a JPEG file (the payload of its APP1 segment), kept across
// re-encoding: loaded from the source or created anew, edited (thumbnail dropped,
// Software, dates, pixel dimensions and resolution), and written into the new file as
// its first segment. Every read and write is bounds-checked: the block comes from
// files of unknown origin.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What loading or parsing a block found.
enum class ExifStatus {
  kParsed,
  kNotExif,  // no EXIF segment, or the block does not start "Exif"
  kNotJpeg,  // not a JPEG file, or no frame header
  kUnknownByteOrder,
  kDamaged,
};

class ExifBlock {
 public:

  enum class WriteResult {
    kWritten,   // the file was rewritten with the block (or without one, when empty)
    kTooLarge,  // the block does not fit one APP1 segment; the file was left as it was
    kFailed,    // not a JPEG, or the new file could not be written; left as it was
  };

  // The largest block one APP1 segment can carry (a 16-bit length that counts itself).
  static constexpr size_t kMaxSegmentPayload = 65533;

  ExifBlock() = default;

  // Loads the first EXIF segment of a JPEG file. Unless it parsed, the object is left
  // empty and the status says why.
  ExifStatus LoadFromJpeg(const std::string& path);
  // Takes a block as it would stand in an APP1 segment; keeps it only when it parsed.
  ExifStatus LoadBlock(std::string_view block);

  // Replaces the block by a minimal one: DateTime, DateTimeOriginal and
  // DateTimeDigitized at the given time, and the Software tag.
  void Create(int64_t secondsSinceEpoch);
  // Drops IFD1 and the thumbnail behind the main metadata; true when something was cut.
  bool RemoveThumbnail();
  // Replaces or adds IFD0's Software entry with the program's product tag.
  bool SetSoftware();
  // Overwrites each of the three date strings that has the standard length.
  void StampDates(int64_t secondsSinceEpoch);
  // Makes sure IFD0 has a standard DateTime: overwritten, or added in front.
  bool EnsureDateTime(int64_t secondsSinceEpoch);
  void SetWidth(uint32_t pixels);
  void SetHeight(uint32_t pixels);
  // Dots per inch; nothing is written unless both are greater than 0.
  void SetResolution(float x, float y);
  // The resolution IFD0 states, in dots per inch (dots per centimetre converted); false
  // when it states none in an absolute unit.
  bool GetResolution(float& x, float& y) const;
  // Multiplies the resolution IFD0 states, whatever its unit, for pixels that were
  // scaled by x and y; nothing when it states none or a factor is not above 0.
  void ScaleResolution(double x, double y);
  // IFD0's Orientation (1 to 8 as written), 0 when the block has none.
  uint32_t Orientation() const { return orientation_; }
  // Compacts the block and drops what no longer belongs to it before it is written.
  bool Finish();
  // Rewrites the JPEG file: start of image, this block, the file's other application
  // and comment segments, its ICC profile segments, then the rest. The new file is
  // written beside the old one and renamed into place only when complete.
  WriteResult WriteIntoJpeg(const std::string& path);

  // The date text "YYYY:MM:DD hh:mm:ss" of a time, in local time.
  static std::string DateText(int64_t secondsSinceEpoch);
  // The rational of a resolution: numerator, denominator.
  struct Rational {
    uint32_t numerator;
    uint32_t denominator;
  };
  static Rational ToRational(double value);

  const std::vector<uint8_t>& Data() const { return data_; }
  size_t Length() const { return data_.size(); }
  bool Empty() const { return data_.empty(); }
  bool LittleEndian() const { return littleEndian_; }
  const std::vector<std::string>& ExtraSegments() const { return extraSegments_; }

 private:
  struct Entry {
    int64_t position;  // buffer position of the 12-byte entry
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint64_t size;          // count × type size
    int64_t valuePosition;  // where the value lies: the entry's last 4 bytes or elsewhere
    bool outOfLine;
  };
  // Buffer positions of the 4-byte fields that hold offsets, and where new values go.
  struct OffsetFields {
    std::vector<int64_t> positions;
    int64_t insertionPoint = 0;
  };

  // Where the sub-directories named in IFD0 start; 0 when absent.
  struct SubDirectories {
    int64_t exif = 0;
    int64_t gps = 0;
  };

  void Clear();
  void ClearPositions();
  ExifStatus Parse();
  ExifStatus ParseHeader();
  // Remembers where the values that edits overwrite in place lie.
  void NoteIfd0Entry(const Entry& e, SubDirectories& sub);
  void NoteExifEntry(const Entry& e);
  void ForgetValuesOnStructure();
  // How far the main metadata reaches with this entry and the values it names.
  int64_t Reach(const Entry& e, int64_t end) const;
  // Where a value lies that may be overwritten in place; 0 when it may not.
  int64_t StandardDatePosition(const Entry& e) const;
  int64_t RationalPosition(const Entry& e) const;
  // Runs an edit. When the block no longer parses afterwards it is put back as it was
  // (and false returned): however damaged the source, an edit never leaves metadata
  // that a reader cannot follow.
  bool EditOrRestore(const std::function<bool()>& edit);

  int64_t Size() const { return static_cast<int64_t>(data_.size()); }
  bool Inside(int64_t position, uint64_t size) const;
  uint32_t Get16(int64_t position) const;
  uint32_t Get32(int64_t position) const;
  void Put16(int64_t position, uint32_t value);
  void Put32(int64_t position, uint32_t value);
  int64_t Ifd0Position() const { return int64_t{Get32(10)} + 6; }

  // Reads a directory; false when its count and entries (and the next-IFD field, when
  // asked) do not fit inside the block.
  bool ReadDirectory(int64_t position, bool withNextField, std::vector<Entry>& entries) const;
  // IFD0, the Exif, GPS and Interoperability IFDs: the main metadata.
  std::vector<int64_t> MainDirectories() const;
  OffsetFields CollectOffsetFields() const;
  bool Resize(int64_t position, int64_t delta, OffsetFields& fields);
  // True when inserting or removing bytes at the position would move a maker note:
  // maker notes hold offsets in layouts of their own that cannot be kept in step.
  bool MovesOpaqueData(int64_t position) const;
  // Moves IFD0 behind everything else when entries inserted into it would move a
  // maker note; nothing else moves, so every offset stays valid.
  bool MakeIfd0Extensible();
  bool InsertIfd0Entry(uint16_t tag, uint16_t type, uint32_t count, std::string_view value,
                       OffsetFields& fields);
  bool GpsDirectoryValid(int64_t countPosition) const;
  int64_t FindThumbnailDirectory(int64_t from, int64_t end) const;
  int64_t FindStartOfImage(int64_t from) const;
  // True when the bytes overlap the headers or a main directory.
  bool TouchesStructure(int64_t position, int64_t size) const;
  // True when the bytes overlap a main directory or a value of an entry other than
  // the given one.
  bool Shared(int64_t entry, int64_t position, int64_t size) const;
  // True when nothing that the main metadata refers to lies at or after the position.
  bool SafeToCut(int64_t position) const;
  void CutAt(int64_t position);
  void CleanUp();

  std::vector<uint8_t> data_;
  bool littleEndian_ = true;
  int64_t softwareEntry_ = 0;
  int64_t softwareValue_ = 0;
  int64_t dateTimeValue_ = 0;
  int64_t dateTimeOriginalValue_ = 0;
  int64_t dateTimeDigitizedValue_ = 0;
  uint16_t pixelXType_ = 0;
  int64_t pixelXValue_ = 0;
  uint16_t pixelYType_ = 0;
  int64_t pixelYValue_ = 0;
  int64_t xResolutionValue_ = 0;
  int64_t yResolutionValue_ = 0;
  int64_t resolutionUnitValue_ = 0;
  uint32_t orientation_ = 0;
  int64_t gpsIfd_ = 0;
  int64_t mainEnd_ = 0;
  std::vector<std::string> extraSegments_;
};

}  // namespace velmora
