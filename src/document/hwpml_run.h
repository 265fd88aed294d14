#pragma once
// The state of one run over one HWPML document, shared by the files that scan the
// document, process its items and write the target. Only the HWPML files of this
// folder include it.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/worker_pool.h"
#include "document/hwpml.h"
#include "document/picture_frames.h"
#include "document/xml_scanner.h"

namespace velmora::hwpml_detail {

struct ListItem {
  TagRead tag;
  std::optional<PictureKind> listedKind;
  std::string numberText;           // BinData as given, when it is a number
  std::optional<int64_t> number;
  bool linked = false;              // Type "Link": the data lives outside the document
  int data = -1;                    // index of its data element, -1 for none
  PictureOutcome outcome;           // what picture processing decided
  std::optional<PictureKind> kindIn;  // of the decoded (and inflated) data
  int64_t storedBytes = -1;         // the decoded data, as the document stores it
  // While the item's picture is processed beside the others: its log lines, its
  // scope of temporary files, and the picture as decoded from the document.
  BufferedLog log;
  std::unique_ptr<TempFiles> files;
  EmbeddedPicture picture;
  bool compressed = false;
  // A compressed item that keeps its content: the same bytes deflated more strongly,
  // when that came out smaller.
  std::string recompressedPath;
  int64_t recompressedSize = 0;
};

struct DataElement {
  TagRead tag;                      // the open tag
  int64_t contentStart = 0;         // first byte after the open tag
  int64_t contentEnd = 0;           // the "<" of "</BINDATA>" (== contentStart when empty)
  int64_t elementEnd = 0;           // the ">" that ends the element
  std::string idText;               // Id as given, when it is a number
  std::optional<int64_t> id;
  int64_t size = -1;                // Size attribute, -1 when absent
  bool compressed = false;
  int item = -1;                    // index of its list item, -1 for none
};


// One run over one document.
class HwpmlRun {
 public:
  HwpmlRun(const std::string& source, const std::string& target, const ShrinkOptions& options,
           ProcessLog& log, TempFiles& temp, JobHost* host, int& failedInflations,
           const PictureHandlers& handlers, WorkerPool& pool)
      : source_(source),
        target_(target),
        options_(options),
        log_(log),
        temp_(temp),
        host_(host),
        failedInflations_(failedInflations),
        handlers_(handlers),
        pool_(pool) {}

  ProcessorResult Run();
  // Every list item in document order, once its outcome is known.
  std::vector<PictureRecord> Records() const;

 private:
  ProcessorResult Fail(const char* logLine, const char* message, bool clearProgress);
  std::optional<ProcessorResult> CheckDocument();
  std::optional<ProcessorResult> ReadList();
  std::optional<ProcessorResult> IndexStorage();
  std::optional<ProcessorResult> PairItems();
  // Processes the items' pictures; false when the job was asked to stop meanwhile.
  bool ProcessItems();
  // Decodes the item's data out of the document; false when there is no picture to
  // process.
  bool PrepareItem(size_t index);
  // Runs on a worker: touches nothing but the item.
  void ProcessItem(ListItem& item, std::atomic<int>& failedInflations);
  // The item's content deflated again at the strongest level, kept when smaller.
  void CompressAgain(ListItem& item, const std::string& inflated);
  bool DecodeData(const DataElement& data, const std::string& path, int64_t& produced);
  ProcessorResult WriteTarget();
  bool WriteList(std::FILE* source, platform::AtomicFile& out);
  std::optional<ProcessorResult> WriteStorage(std::FILE* source, platform::AtomicFile& out);
  enum class DataWrite { kDone, kCopyFailed, kWriteFailed };
  DataWrite WriteData(std::FILE* source, platform::AtomicFile& out, const DataElement& data);

  bool InOrder() const;
  // Where the item's picture is shown, for a printing density.
  PictureUses UsesOf(size_t index) const;
  uint64_t Total() const { return static_cast<uint64_t>(items_.size()) + 5; }

  const std::string& source_;
  const std::string& target_;
  const ShrinkOptions& options_;
  ProcessLog& log_;
  TempFiles& temp_;
  JobHost* host_;
  int& failedInflations_;
  const PictureHandlers& handlers_;
  WorkerPool& pool_;

  XmlScanner xml_;
  platform::UniqueFile sourceCopy_;
  TagRead listTag_;
  int64_t listEnd_ = -1;
  TagRead storageTag_;
  int64_t storageEnd_ = -1;
  std::vector<ListItem> items_;
  std::vector<DataElement> data_;
  PictureFrames frames_;  // read only for a printing density
};


}  // namespace velmora::hwpml_detail
