#include "document/picture_frames.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <vector>

#include "core/text.h"
#include "document/manifest.h"

namespace velmora {

namespace {

struct ParserFree {
  void operator()(XML_ParserStruct* parser) const noexcept {
    if (parser != nullptr) XML_ParserFree(parser);
  }
};
using UniqueParser = std::unique_ptr<XML_ParserStruct, ParserFree>;

// The largest printed side taken as a size: a thousand inches. Beyond it the numbers are
// not a page's.
constexpr double kMaxPrintedUnits = 1000 * kHwpUnitsPerInch;
constexpr size_t kPieceBytes = 1 << 16;

// "hp:pic" → "pic": HWPX names its elements with prefixes whose namespaces have changed
// between versions, so the local name is what is matched.
std::string_view LocalName(std::string_view name) {
  const size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* AttributeValue(const XML_Char** attributes, std::string_view name) {
  for (size_t i = 0; attributes[i] != nullptr; i += 2) {
    if (name == attributes[i]) return attributes[i + 1];
  }
  return nullptr;
}

std::optional<double> Number(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::string_view value(text);
  double number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(number)) {
    return std::nullopt;
  }
  return number;
}

// A whole number that fits a length of the document; nothing otherwise.
std::optional<int64_t> WholeNumber(const char* text) {
  const std::optional<double> number = Number(text);
  if (!number || std::abs(*number) > 1e15 || *number != std::floor(*number)) return std::nullopt;
  return static_cast<int64_t>(*number);
}

// A picture or a group being read, with everything that sets its printed size.
struct Shape {
  std::string element;  // its name as the document writes it
  int depth = 0;
  bool picture = false;
  double sizeWidth = 0, sizeHeight = 0;          // sz, SIZE
  double currentWidth = 0, currentHeight = 0;    // curSz, CurWidth
  double originalWidth = 0, originalHeight = 0;  // orgSz, OriWidth
  double scaleX = 1, scaleY = 1;                 // all scale matrices multiplied
  bool rotated = false;
  std::string unread;                            // the element that could not be read
  std::optional<ClipRect> clip;
  std::optional<NaturalSize> natural;
  std::string item;                              // the picture item shown

  // The largest size any of its records gives: safe, since a picture printed larger
  // than its frame says would be resampled below its need, never the other way round.
  std::optional<PictureFrame> Frame() const {
    if (!unread.empty()) return std::nullopt;
    double width = std::max({sizeWidth, currentWidth, originalWidth * std::abs(scaleX)});
    double height = std::max({sizeHeight, currentHeight, originalHeight * std::abs(scaleY)});
    if (!(width > 0) || !(height > 0) || width > kMaxPrintedUnits || height > kMaxPrintedUnits) {
      return std::nullopt;
    }
    // Turned by any angle, the picture's own axes may lie either way on the page.
    if (rotated) width = height = std::max(width, height);
    return PictureFrame{width, height, clip, natural};
  }
};

// What names the elements of one document form.
struct FormNames {
  const char* picture;
  const char* group;
  const char* reference;  // the attribute that names a picture item
};

constexpr FormNames kHwpxNames{"pic", "container", "binaryItemIDRef"};
constexpr FormNames kHwpmlNames{"PICTURE", "CONTAINER", "BinItem"};

// An HWPML item number as the document writes it, for the key of its uses.
std::optional<std::string> ItemKey(const char* text) {
  const std::optional<int64_t> number = WholeNumber(text);
  if (!number || *number < 0) return std::nullopt;
  return std::to_string(*number);
}

}  // namespace

class FrameReader::Handler {
 public:
  Handler(Form form, PictureFrames& frames, const std::set<std::string>* items)
      : form_(form), names_(form == Form::kHwpml ? kHwpmlNames : kHwpxNames), frames_(frames),
        items_(items), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) return;
    XML_SetUserData(parser_.get(), this);
    XML_SetElementHandler(parser_.get(), &Handler::Start, &Handler::End);
  }

  // False when reading stopped; error then says why, unless the document had ended.
  bool Parse(const char* data, size_t length, bool last) {
    if (!parser_) {
      error_ = "no memory for the parser";
      return false;
    }
    if (XML_Parse(parser_.get(), data, static_cast<int>(length), last ? 1 : 0) ==
        XML_STATUS_OK) {
      return true;
    }
    // Whatever follows the document's own element is no part of its layout.
    if (rootClosed_ && error_.empty()) return false;
    if (error_.empty()) {
      error_ = Format("%s at line %lu", XML_ErrorString(XML_GetErrorCode(parser_.get())),
                      static_cast<unsigned long>(XML_GetCurrentLineNumber(parser_.get())));
    }
    return false;
  }
  const std::string& Error() const { return error_; }

 private:
  static void XMLCALL Start(void* self, const XML_Char* name, const XML_Char** attributes) {
    static_cast<Handler*>(self)->Guarded([&](Handler& h) { h.OnStart(name, attributes); });
  }
  static void XMLCALL End(void* self, const XML_Char*) {
    static_cast<Handler*>(self)->Guarded([](Handler& h) { h.OnEnd(); });
  }

  // No exception may cross the parser's C frames: one that is thrown ends the reading.
  template <typename Work>
  void Guarded(Work work) {
    try {
      work(*this);
    } catch (const std::bad_alloc&) {
      Stop("no memory");
    } catch (...) {
      Stop("unexpected error");
    }
  }

  void Stop(const char* why) {
    if (error_.empty()) error_ = why;
    XML_StopParser(parser_.get(), XML_FALSE);
  }

  std::string_view Local(std::string_view name) const {
    return form_ == Form::kHwpml ? name : LocalName(name);
  }

  void OnStart(std::string_view name, const XML_Char** attributes);
  void OnEnd();
  void ReadShapeRecord(Shape& shape, int below, std::string_view name,
                       const XML_Char** attributes);
  void ReadHwpxRecord(Shape& shape, int below, std::string_view local, std::string_view parent,
                      const XML_Char** attributes);
  void ReadHwpmlRecord(Shape& shape, int below, std::string_view name, std::string_view parent,
                       const XML_Char** attributes);
  void NoteReferences(std::string_view name, const XML_Char** attributes, bool shownHere);
  std::optional<std::string> ItemNamed(std::string_view element, std::string_view attribute,
                                       const char* value) const;
  void EndShape(Shape shape);
  void Record(const std::string& item, const std::optional<PictureFrame>& frame,
              const std::string& unread);

  const Form form_;
  const FormNames names_;
  PictureFrames& frames_;
  const std::set<std::string>* items_;  // HWPX: the picture items' ids
  UniqueParser parser_;
  std::string error_;
  bool rootClosed_ = false;
  std::vector<std::string> open_;  // the names of the open elements, outermost first
  std::vector<Shape> shapes_;      // the open pictures and groups, outermost first
  int groups_ = 0;                 // open groups
  // Pictures inside a group wait for the outermost group's size, which bounds them.
  struct Waiting {
    std::string item;
    std::optional<PictureFrame> frame;
    std::string unread;
  };
  std::vector<Waiting> waiting_;
};

void FrameReader::Handler::OnStart(std::string_view name, const XML_Char** attributes) {
  open_.emplace_back(name);
  const int depth = static_cast<int>(open_.size());
  if (depth > kMaxLayoutDepth) return Stop("elements nested too deeply");
  const std::string_view local = Local(name);
  bool shownHere = false;
  if (local == names_.picture || local == names_.group) {
    Shape shape;
    shape.element = std::string(name);
    shape.depth = depth;
    shape.picture = local == names_.picture;
    groups_ += shape.picture ? 0 : 1;
    shapes_.push_back(std::move(shape));
  } else if (!shapes_.empty()) {
    Shape& shape = shapes_.back();
    const int below = depth - shape.depth;
    ReadShapeRecord(shape, below, name, attributes);
    shownHere = shape.picture && below == 1 &&
                local == (form_ == Form::kHwpml ? std::string_view("IMAGE") : "img");
  }
  NoteReferences(name, attributes, shownHere);
  if (frames_.References() > kMaxReferences) Stop("too many picture references");
}

void FrameReader::Handler::ReadShapeRecord(Shape& shape, int below, std::string_view name,
                                           const XML_Char** attributes) {
  const std::string_view parent =
      open_.size() >= 2 ? Local(open_[open_.size() - 2]) : std::string_view();
  if (form_ == Form::kHwpml) {
    ReadHwpmlRecord(shape, below, name, parent, attributes);
  } else {
    ReadHwpxRecord(shape, below, LocalName(name), parent, attributes);
  }
}

namespace {

// Reads width and height attributes into two lengths; false when either is there but
// is no number.
bool ReadPair(const XML_Char** attributes, const char* widthName, const char* heightName,
              double& width, double& height) {
  const char* w = AttributeValue(attributes, widthName);
  const char* h = AttributeValue(attributes, heightName);
  const std::optional<double> wv = Number(w);
  const std::optional<double> hv = Number(h);
  if ((w != nullptr && !wv) || (h != nullptr && !hv)) return false;
  width = wv.value_or(0);
  height = hv.value_or(0);
  return true;
}

// A scale or rotation matrix: e1 e2 e3 / e4 e5 e6 (E1... in HWPML).
struct Matrix {
  double e[6] = {1, 0, 0, 0, 1, 0};
};

std::optional<Matrix> ReadMatrix(const XML_Char** attributes, bool upperCase) {
  Matrix matrix;
  for (int i = 0; i < 6; ++i) {
    const std::string name = std::string(upperCase ? "E" : "e") + std::to_string(i + 1);
    const char* text = AttributeValue(attributes, name);
    if (text == nullptr) continue;
    const std::optional<double> value = Number(text);
    if (!value) return std::nullopt;
    matrix.e[i] = *value;
  }
  return matrix;
}

bool IsIdentity(const Matrix& m) {
  return m.e[0] == 1 && m.e[1] == 0 && m.e[3] == 0 && m.e[4] == 1;
}

std::optional<ClipRect> ReadClip(const XML_Char** attributes, bool upperCase) {
  auto edge = [&](const char* lower, const char* upper) {
    return WholeNumber(AttributeValue(attributes, upperCase ? upper : lower));
  };
  const std::optional<int64_t> left = edge("left", "Left");
  const std::optional<int64_t> right = edge("right", "Right");
  const std::optional<int64_t> top = edge("top", "Top");
  const std::optional<int64_t> bottom = edge("bottom", "Bottom");
  if (!left || !right || !top || !bottom) return std::nullopt;
  return ClipRect{*left, *right, *top, *bottom};
}

// Applies one scale matrix; a skewed one leaves the size unknown.
bool ApplyScale(Shape& shape, const std::optional<Matrix>& matrix) {
  if (!matrix || matrix->e[1] != 0 || matrix->e[3] != 0) return false;
  shape.scaleX *= matrix->e[0];
  shape.scaleY *= matrix->e[4];
  return true;
}

}  // namespace

void FrameReader::Handler::ReadHwpxRecord(Shape& shape, int below, std::string_view local,
                                          std::string_view parent,
                                          const XML_Char** attributes) {
  bool read = true;
  if (below == 1 && local == "sz") {
    read = ReadPair(attributes, "width", "height", shape.sizeWidth, shape.sizeHeight);
    for (const char* relation : {"widthRelTo", "heightRelTo"}) {
      const char* value = AttributeValue(attributes, relation);
      if (value != nullptr && std::string_view(value) != "ABSOLUTE") read = false;
    }
  } else if (below == 1 && local == "curSz") {
    read = ReadPair(attributes, "width", "height", shape.currentWidth, shape.currentHeight);
  } else if (below == 1 && local == "orgSz") {
    read = ReadPair(attributes, "width", "height", shape.originalWidth, shape.originalHeight);
  } else if (below == 1 && local == "rotationInfo") {
    const char* angle = AttributeValue(attributes, "angle");
    const std::optional<double> value = Number(angle);
    read = angle == nullptr || value.has_value();
    shape.rotated = shape.rotated || (value && std::fmod(*value, 360) != 0);
  } else if (below == 2 && parent == "renderingInfo" && local == "scaMatrix") {
    read = ApplyScale(shape, ReadMatrix(attributes, false));
  } else if (below == 2 && parent == "renderingInfo" && local == "rotMatrix") {
    const std::optional<Matrix> matrix = ReadMatrix(attributes, false);
    read = matrix.has_value();
    shape.rotated = shape.rotated || (matrix && !IsIdentity(*matrix));
  } else if (shape.picture && below == 1 && local == "imgClip") {
    shape.clip = ReadClip(attributes, false);
    read = shape.clip.has_value();
  } else if (shape.picture && below == 1 && local == "imgDim") {
    double width = 0, height = 0;
    read = ReadPair(attributes, "dimwidth", "dimheight", width, height);
    // 0 × 0 states no size (linked pictures carry it).
    if (read && width >= 1 && height >= 1 && width <= 1e15 && height <= 1e15) {
      shape.natural = NaturalSize{static_cast<int64_t>(width), static_cast<int64_t>(height)};
    }
  } else if (shape.picture && below == 1 && local == "img") {
    const char* item = AttributeValue(attributes, names_.reference);
    if (item != nullptr && *item != '\0') {
      read = shape.item.empty();  // one picture, one item
      shape.item = item;
    }
  }
  if (!read && shape.unread.empty()) shape.unread = open_.back();
}

void FrameReader::Handler::ReadHwpmlRecord(Shape& shape, int below, std::string_view name,
                                           std::string_view parent,
                                           const XML_Char** attributes) {
  bool read = true;
  if (below == 2 && parent == "SHAPEOBJECT" && name == "SIZE") {
    read = ReadPair(attributes, "Width", "Height", shape.sizeWidth, shape.sizeHeight);
    for (const char* relation : {"WidthRelTo", "HeightRelTo"}) {
      const char* value = AttributeValue(attributes, relation);
      if (value != nullptr && std::string_view(value) != "Absolute") read = false;
    }
  } else if (below == 1 && name == "SHAPECOMPONENT") {
    read = ReadPair(attributes, "CurWidth", "CurHeight", shape.currentWidth,
                    shape.currentHeight) &&
           ReadPair(attributes, "OriWidth", "OriHeight", shape.originalWidth,
                    shape.originalHeight);
  } else if (below == 2 && parent == "SHAPECOMPONENT" && name == "ROTATIONINFO") {
    const char* angle = AttributeValue(attributes, "Angle");
    const std::optional<double> value = Number(angle);
    read = angle == nullptr || value.has_value();
    shape.rotated = shape.rotated || (value && std::fmod(*value, 360) != 0);
  } else if (below == 3 && parent == "RENDERINGINFO" && name == "SCAMATRIX") {
    read = ApplyScale(shape, ReadMatrix(attributes, true));
  } else if (below == 3 && parent == "RENDERINGINFO" && name == "ROTMATRIX") {
    const std::optional<Matrix> matrix = ReadMatrix(attributes, true);
    read = matrix.has_value();
    shape.rotated = shape.rotated || (matrix && !IsIdentity(*matrix));
  } else if (shape.picture && below == 1 && name == "IMAGECLIP") {
    shape.clip = ReadClip(attributes, true);
    read = shape.clip.has_value();
  } else if (shape.picture && below == 1 && name == "IMAGE") {
    const char* item = AttributeValue(attributes, names_.reference);
    if (item != nullptr) {
      const std::optional<std::string> key = ItemKey(item);
      read = key.has_value() && shape.item.empty();
      if (key) shape.item = *key;
    }
  }
  if (!read && shape.unread.empty()) shape.unread = open_.back();
}

void FrameReader::Handler::NoteReferences(std::string_view name, const XML_Char** attributes,
                                          bool shownHere) {
  // Anything else that names a picture item (a fill, an object, an element this reading
  // does not know) uses it in a way whose printed size is not read.
  for (size_t i = 0; attributes[i] != nullptr; i += 2) {
    const std::string_view attribute = attributes[i];
    if (shownHere && attribute == names_.reference) continue;
    const std::optional<std::string> item = ItemNamed(name, attribute, attributes[i + 1]);
    if (!item) continue;
    const std::string where =
        open_.size() >= 2 ? open_[open_.size() - 2] + "/" + std::string(name) : std::string(name);
    frames_.AddProblem(*item, KeepReason::kOtherUse, where);
  }
}

std::optional<std::string> FrameReader::Handler::ItemNamed(std::string_view element,
                                                           std::string_view attribute,
                                                           const char* value) const {
  if (form_ == Form::kHwpxPart) {
    // Ids are names like "image1": whichever attribute holds one names the item.
    if (items_ != nullptr && items_->count(value) != 0) return std::string(value);
    return std::nullopt;
  }
  // HWPML items are numbers, as are most values: only the attributes that name items
  // by their place (BinItem) or their data (BinData, outside the list of items) count,
  // in any letter case.
  const std::string lower = ToLowerAscii(std::string(attribute));
  const bool names = lower.find("binitem") != std::string::npos ||
                     (lower.find("bindata") != std::string::npos && element != "BINITEM");
  return names ? ItemKey(value) : std::nullopt;
}

void FrameReader::Handler::OnEnd() {
  const int depth = static_cast<int>(open_.size());
  open_.pop_back();
  if (open_.empty()) rootClosed_ = true;
  if (shapes_.empty() || shapes_.back().depth != depth) return;
  Shape shape = std::move(shapes_.back());
  shapes_.pop_back();
  EndShape(std::move(shape));
}

void FrameReader::Handler::EndShape(Shape shape) {
  // What to name when its size cannot be read: the record that failed, else the shape.
  const std::string why = shape.unread.empty() ? shape.element : shape.unread;
  if (shape.picture) {
    if (shape.item.empty()) return;
    if (groups_ > 0) {
      waiting_.push_back({shape.item, shape.Frame(), why});
    } else {
      Record(shape.item, shape.Frame(), why);
    }
    return;
  }
  --groups_;
  if (groups_ > 0) return;
  // The outermost group is printed at its own size, and nothing in it larger: its size
  // bounds every picture in it, however the groups inside scale them.
  const std::optional<PictureFrame> group = shape.Frame();
  for (const Waiting& waiting : waiting_) {
    if (!waiting.frame || !group) {
      Record(waiting.item, std::nullopt, waiting.frame ? why : waiting.unread);
      continue;
    }
    PictureFrame frame = *waiting.frame;
    frame.width = std::max(frame.width, group->width);
    frame.height = std::max(frame.height, group->height);
    Record(waiting.item, frame, {});
  }
  waiting_.clear();
}

void FrameReader::Handler::Record(const std::string& item,
                                  const std::optional<PictureFrame>& frame,
                                  const std::string& unread) {
  if (frame) {
    frames_.AddFrame(item, *frame);
  } else {
    frames_.AddProblem(item, KeepReason::kFrameUnread, unread);
  }
}

// --- PictureFrames -------------------------------------------------------------------

PictureUses PictureFrames::UsesOf(const std::string& item) const {
  if (unread_) {
    PictureUses uses;
    uses.problem = KeepReason::kLayoutUnread;
    uses.detail = *unread_;
    return uses;
  }
  const auto found = uses_.find(item);
  return found == uses_.end() ? PictureUses{} : found->second;
}

PictureUses PictureFrames::UsesOf(const std::vector<std::string>& items) const {
  if (items.empty()) return UsesOf(std::string());
  PictureUses all = UsesOf(items.front());
  for (size_t i = 1; i < items.size() && !unread_; ++i) {
    const PictureUses more = UsesOf(items[i]);
    if (all.problem == KeepReason::kNone && more.problem != KeepReason::kNone) {
      all.problem = more.problem;
      all.detail = more.detail;
    }
    for (const PictureFrame& frame : more.frames) {
      if (!Merge(all, frame) && all.problem == KeepReason::kNone) {
        all.problem = KeepReason::kFrameUnread;
        all.detail = "too many crops";
      }
    }
  }
  return all;
}

bool PictureFrames::Merge(PictureUses& uses, const PictureFrame& frame) {
  // Frames with the same crop need only the largest of their sizes: the need grows
  // with the frame.
  for (PictureFrame& known : uses.frames) {
    if (known.clip == frame.clip && known.natural == frame.natural) {
      known.width = std::max(known.width, frame.width);
      known.height = std::max(known.height, frame.height);
      return true;
    }
  }
  if (uses.frames.size() >= kMaxFramesPerPicture) return false;
  uses.frames.push_back(frame);
  return true;
}

void PictureFrames::MarkUnread(std::string why) {
  if (!unread_) unread_ = std::move(why);
}

void PictureFrames::AddFrame(const std::string& item, const PictureFrame& frame) {
  ++references_;
  if (!Merge(uses_[item], frame)) AddProblem(item, KeepReason::kFrameUnread, "too many crops");
}

void PictureFrames::AddProblem(const std::string& item, KeepReason reason,
                               const std::string& detail) {
  ++references_;
  PictureUses& uses = uses_[item];
  if (uses.problem != KeepReason::kNone) return;
  uses.problem = reason;
  uses.detail = detail;
}

// --- FrameReader -----------------------------------------------------------------------

FrameReader::FrameReader(Form form, PictureFrames& frames, std::string name,
                         const std::set<std::string>* items)
    : frames_(frames), name_(std::move(name)),
      handler_(std::make_unique<Handler>(form, frames, items)) {}

FrameReader::~FrameReader() = default;

void FrameReader::Failed() {
  stopped_ = true;
  if (!handler_->Error().empty()) frames_.MarkUnread(name_ + ": " + handler_->Error());
}

bool FrameReader::Feed(std::string_view bytes) {
  if (stopped_) return false;
  while (!bytes.empty()) {
    // expat takes lengths as int.
    const size_t piece = std::min(bytes.size(), kPieceBytes);
    if (!handler_->Parse(bytes.data(), piece, false)) {
      Failed();
      return false;
    }
    bytes.remove_prefix(piece);
  }
  return true;
}

void FrameReader::Finish() {
  if (stopped_) return;
  if (!handler_->Parse(nullptr, 0, true)) Failed();
  stopped_ = true;
}

// --- The two document forms ------------------------------------------------------------

std::set<std::string> PictureItemIds(std::string_view manifest) {
  std::set<std::string> ids;
  for (long long at = FindBytes(manifest, "<opf:item ", 0); at >= 0;
       at = FindBytes(manifest, "<opf:item ", at + 1)) {
    const long long end = FindBytes(manifest, ">", at);
    if (end < 0) break;
    // The attributes start at the space after "<opf:item".
    const ItemAttributes item = SelectItemAttributes(ParseTagAttributes(
        manifest.substr(static_cast<size_t>(at) + 9, static_cast<size_t>(end - at - 8))));
    if (MediaTypeKind(item.slots[kSlotMediaType]) && !item.slots[kSlotId].empty()) {
      ids.insert(item.slots[kSlotId]);
    }
  }
  return ids;
}

PictureFrames ReadHwpxFrames(const ZipArchive& zip, const std::vector<StoredEntry>& entries,
                             std::string_view manifest) {
  PictureFrames frames;
  const std::set<std::string> items = PictureItemIds(manifest);
  uint64_t total = 0;
  for (const StoredEntry& stored : entries) {
    if (frames.Unread()) break;
    const std::string& name = stored.header.name;
    if (name.size() < 4 || !EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".xml")) {
      continue;
    }
    // An encrypted part cannot be read, and it may show any picture.
    if (stored.encrypted) {
      frames.MarkUnread(name + ": encrypted");
      break;
    }
    total += stored.header.size;
    if (stored.header.size > kMaxLayoutPartBytes || total > kMaxLayoutBytes) {
      frames.MarkUnread(name + ": too large to read");
      break;
    }
    FrameReader reader(FrameReader::Form::kHwpxPart, frames, name, &items);
    bool readerStopped = false;
    const bool read = zip.ReadInPieces(stored, kMaxLayoutPartBytes, [&](std::string_view piece) {
      readerStopped = !reader.Feed(piece);
      return !readerStopped;
    });
    if (!read && !readerStopped) {
      frames.MarkUnread(name + ": cannot be read");
      break;
    }
    reader.Finish();
  }
  return frames;
}

PictureFrames ReadHwpmlFrames(XmlScanner& xml) {
  PictureFrames frames;
  FrameReader reader(FrameReader::Form::kHwpml, frames, "document");
  for (int64_t offset = 0; offset < xml.Size();) {
    const std::optional<std::string> piece = xml.ReadBytes(offset, kPieceBytes);
    if (!piece || piece->empty()) {
      frames.MarkUnread("document: cannot be read");
      return frames;
    }
    if (!reader.Feed(*piece)) return frames;
    offset += static_cast<int64_t>(piece->size());
  }
  reader.Finish();
  return frames;
}

}  // namespace velmora
