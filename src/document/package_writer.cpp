#include "document/package_writer.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <utility>

#include "image/deflate.h"
#include "platform/platform.h"

namespace velmora {

namespace {

// Entries whose content is read and compressed at once, at most: a window of the
// package bounded by count and by bytes, so that memory does not grow with the
// package.
constexpr uint64_t kWindowBytes = 64ull << 20;

uint32_t Crc(std::string_view bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as unsigned int: long contents go in pieces.
  for (size_t at = 0; at < bytes.size(); at += 1u << 30) {
    const std::string_view piece = bytes.substr(at, 1u << 30);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
  }
  return static_cast<uint32_t>(crc);
}

// One entry on its way to the target: the content read on the writing thread, its
// stored form made on the pool.
struct Prepared {
  bool ready = false;  // stored holds the entry's data; otherwise it is copied as stored
  std::string content;
  ZipEntryHeader header;
  std::string stored;
};

// Reads what the entry needs on this thread (the archive is no place for two threads)
// and says whether it goes to the pool.
bool Gather(const ZipArchive& source, const EntryPlan& plan, Prepared& prepared) {
  prepared.header = plan.source.header;
  switch (plan.change) {
    case EntryPlan::Change::kCopy:
      return false;
    case EntryPlan::Change::kRecompress: {
      if (plan.source.encrypted || plan.source.header.size > kMaxRecompressedEntry) return false;
      ZipEntry entry;
      entry.index = plan.source.index;
      entry.size = plan.source.header.size;
      std::optional<std::string> content = source.ReadWhole(entry, kMaxRecompressedEntry);
      if (!content) return false;
      prepared.content = std::move(*content);
      return true;
    }
    case EntryPlan::Change::kReplace:
      prepared.header.name = plan.name;
      prepared.header.comment.clear();
      if (plan.contentPath.empty()) {
        prepared.content = plan.contentBytes;
        return true;
      }
      if (std::optional<std::string> content =
              platform::ReadFileBytes(plan.contentPath, kMaxRecompressedEntry)) {
        prepared.content = std::move(*content);
        return true;
      }
      return false;
  }
  return false;
}

// Runs on a worker: touches nothing but the entry.
void Compress(const EntryPlan& plan, Prepared& prepared) {
  std::optional<std::string> stored = StoredForm(prepared.content, prepared.header);
  // What was deflated must inflate to the content again before it goes anywhere.
  if (stored && prepared.header.method == kZipDeflated &&
      !InflatesTo(*stored, prepared.content, DeflateFormat::kRaw)) {
    stored.reset();
  }
  prepared.content = std::string();
  if (!stored) {
    prepared.header = plan.source.header;
    return;
  }
  // An entry whose content stays is written anew only when that makes it smaller.
  if (plan.change == EntryPlan::Change::kRecompress &&
      stored->size() >= plan.source.header.compressedSize) {
    prepared.header = plan.source.header;
    return;
  }
  prepared.stored = std::move(*stored);
  prepared.ready = true;
}

// New content too large to be compressed in memory goes in stored, read twice: once
// for its check value, once into the archive.
bool CopyFileStored(const EntryPlan& plan, ZipWriter& writer) {
  const int64_t size = platform::FileSize(plan.contentPath);
  if (size < 0) return false;
  ZipEntryHeader header = plan.source.header;
  header.name = plan.name;
  header.comment.clear();
  header.method = kZipStored;
  header.size = header.compressedSize = static_cast<uint64_t>(size);
  std::vector<char> buffer(1 << 16);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (int pass = 0; pass < 2; ++pass) {
    platform::UniqueFile file = platform::OpenFile(plan.contentPath, "rb");
    if (!file) return false;
    if (pass == 1) {
      header.crc = static_cast<uint32_t>(crc);
      if (!writer.Begin(header)) return false;
    }
    uint64_t done = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
      done += got;
      if (pass == 0) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got));
      } else if (!writer.Data(std::string_view(buffer.data(), got))) {
        return false;
      }
    }
    if (done != header.size) return false;
  }
  return true;
}

bool CopyStored(const ZipArchive& source, const StoredEntry& entry, ZipWriter& writer) {
  return writer.Begin(entry.header) &&
         source.ReadStored(entry, [&writer](std::string_view piece) { return writer.Data(piece); });
}

}  // namespace

struct EntriesCompressedAhead::Entry {
  EntryPlan plan;
  Prepared prepared;
};

EntriesCompressedAhead::EntriesCompressedAhead() = default;
EntriesCompressedAhead::~EntriesCompressedAhead() = default;

bool EntriesCompressedAhead::Add(const ZipArchive& source, const StoredEntry& entry,
                                 WorkerPool::Batch& batch) {
  if (entry.header.size > kWindowBytes - std::min(bytes_, kWindowBytes) ||
      byIndex_.count(entry.index) != 0) {
    return false;
  }
  auto taken = std::make_unique<Entry>();
  taken->plan.source = entry;
  taken->plan.change = EntryPlan::Change::kRecompress;
  if (!Gather(source, taken->plan, taken->prepared)) return false;
  bytes_ += taken->prepared.content.size();
  Entry& queued = *taken;
  byIndex_.emplace(entry.index, std::move(taken));
  batch.Add([&queued] {
    if (!platform::StopRequested()) Compress(queued.plan, queued.prepared);
  });
  return true;
}

EntriesCompressedAhead::Entry* EntriesCompressedAhead::Find(int64_t index) const {
  const auto found = byIndex_.find(index);
  return found == byIndex_.end() ? nullptr : found->second.get();
}

std::optional<std::string> StoredForm(const std::string& content, ZipEntryHeader& header) {
  header.crc = Crc(content);
  header.size = content.size();
  std::optional<std::string> deflated = Deflate(content, kStrongestDeflate, DeflateFormat::kRaw);
  if (!deflated) return std::nullopt;
  try {
    if (deflated->size() < content.size()) {
      header.method = kZipDeflated;
      header.compressedSize = deflated->size();
      return deflated;
    }
    header.method = kZipStored;
    header.compressedSize = content.size();
    return content;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

PackageWriteResult WritePackage(const ZipArchive& source, const std::vector<EntryPlan>& plans,
                                const std::string& target, WorkerPool& pool,
                                const std::string& modeSource,
                                EntriesCompressedAhead* ahead) {
  PackageWriteResult result;
  // The target appears only complete: it is written beside its place and moved there
  // at the end, so a failure leaves no partial target and an existing one untouched.
  platform::AtomicFile out;
  if (!out.Open(target, modeSource)) {
    result.targetRefused = true;
    return result;
  }
  ZipWriter writer(out);
  const size_t windowCount = static_cast<size_t>(std::max(1, pool.Workers())) * 2;
  for (size_t first = 0; first < plans.size();) {
    if (platform::StopRequested()) return result;
    std::vector<Prepared> prepared;
    // The tasks hold references into the window: it never grows past its reservation.
    prepared.reserve(windowCount);
    uint64_t windowBytes = 0;
    {
      WorkerPool::Batch batch(pool);
      for (size_t i = first; i < plans.size() && prepared.size() < windowCount &&
                             windowBytes < kWindowBytes;
           ++i) {
        prepared.emplace_back();
        Prepared& entry = prepared.back();
        if (plans[i].change == EntryPlan::Change::kRecompress && ahead != nullptr) {
          if (EntriesCompressedAhead::Entry* done = ahead->Find(plans[i].source.index)) {
            entry = std::move(done->prepared);
            continue;
          }
        }
        if (!Gather(source, plans[i], entry)) continue;
        windowBytes += entry.content.size();
        batch.Add([&plan = plans[i], &entry] { Compress(plan, entry); });
      }
    }
    for (size_t k = 0; k < prepared.size(); ++k) {
      const EntryPlan& plan = plans[first + k];
      const Prepared& entry = prepared[k];
      bool ok = false;
      if (entry.ready) {
        ok = writer.Add(entry.header, entry.stored);
        if (plan.change == EntryPlan::Change::kRecompress) {
          ++result.recompressed;
          result.bytesSaved += static_cast<int64_t>(plan.source.header.compressedSize) -
                               static_cast<int64_t>(entry.stored.size());
        }
      } else if (plan.change == EntryPlan::Change::kReplace) {
        ok = !plan.contentPath.empty() && CopyFileStored(plan, writer);
      } else {
        ok = CopyStored(source, plan.source, writer);
      }
      if (!ok) {
        result.targetRefused = writer.Refused();
        return result;
      }
    }
    first += prepared.size();
  }
  if (!writer.Finish(source.Comment()) || !out.Commit()) {
    result.targetRefused = true;
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace velmora
