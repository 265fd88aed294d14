#pragma once
// Where a document shows its pictures, read from its markup with a real XML parser
// (expat), for resampling pictures to a printing density. For every picture item: the
// frames that show it (printed size, crop, stated natural size), or why its uses are
// not understood. The byte-level XmlScanner stays with the streaming rewrite; this
// reading changes nothing in the document.
//
// HWPX: every XML part of the package (sections, header, master pages, charts); a
// picture is shown by an hp:pic whose hc:img names the manifest item (binaryItemIDRef).
// Any other attribute whose value is the id of a picture item is another use.
// HWPML: the whole document, streamed in pieces; a picture is shown by a PICTURE whose
// IMAGE names the item (BinItem). Any other BinItem or BinData attribute is another use.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "document/xml_scanner.h"
#include "document/zip_archive.h"
#include "picture/resolution.h"

namespace velmora {

// Limits on what is read, against documents built to exhaust memory or time.
constexpr uint64_t kMaxLayoutPartBytes = uint64_t{256} << 20;  // one HWPX part
constexpr uint64_t kMaxLayoutBytes = uint64_t{1} << 30;        // all parts together
constexpr int kMaxLayoutDepth = 1024;                          // nested elements
constexpr size_t kMaxFramesPerPicture = 4096;                  // distinct crops
constexpr size_t kMaxReferences = size_t{1} << 20;             // items named, all told

// The uses of the picture items of one document.
class PictureFrames {
 public:
  // The uses of the item the document names so; an item nothing names has none.
  PictureUses UsesOf(const std::string& item) const;
  // The uses of several items that name the same picture bytes, together: the frames
  // of all (the largest need wins) and the first problem of any.
  PictureUses UsesOf(const std::vector<std::string>& items) const;
  // Every picture keeps its resolution: the layout could not be read (why, for the log).
  void MarkUnread(std::string why);
  bool Unread() const { return unread_.has_value(); }

  // Records one place that shows the item, or one use that is not understood.
  void AddFrame(const std::string& item, const PictureFrame& frame);
  void AddProblem(const std::string& item, KeepReason reason, const std::string& detail);
  size_t References() const { return references_; }

 private:
  // Adds frame to uses, or widens a frame with the same crop; false when uses holds
  // kMaxFramesPerPicture crops already.
  static bool Merge(PictureUses& uses, const PictureFrame& frame);

  std::map<std::string, PictureUses> uses_;
  std::optional<std::string> unread_;
  size_t references_ = 0;
};

// Reads one XML document of the given form in pieces and records what it shows into
// frames. A reader that finds the markup malformed or too deep marks the layout unread.
class FrameReader {
 public:
  enum class Form { kHwpxPart, kHwpml };

  // items: the ids of an HWPX package's picture items, which the caller keeps alive
  // while the reader lives; HWPML needs none.
  FrameReader(Form form, PictureFrames& frames, std::string name,
              const std::set<std::string>* items = nullptr);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // One piece of the document; false once reading has stopped (the layout is then
  // marked unread, or the document ended and whatever follows it is ignored).
  bool Feed(std::string_view bytes);
  // The end of the document: marks the layout unread when the markup is incomplete.
  void Finish();

  class Handler;  // the element handlers of one form, in the .cpp

 private:
  void Failed();

  PictureFrames& frames_;
  std::string name_;
  std::unique_ptr<Handler> handler_;
  bool stopped_ = false;
};

// The ids of the manifest's picture items (by their media type).
std::set<std::string> PictureItemIds(std::string_view manifest);
// HWPX: reads every part of the package whose name ends in ".xml"; entries are the
// package's entries (ZipArchive::Entries) and manifest is the text of its manifest.
PictureFrames ReadHwpxFrames(const ZipArchive& zip, const std::vector<StoredEntry>& entries,
                             std::string_view manifest);
// HWPML: reads the document the scanner has open, from its first byte to its last.
PictureFrames ReadHwpmlFrames(XmlScanner& xml);

}  // namespace velmora
