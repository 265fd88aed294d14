#include "document/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/platform.h"

namespace velmora {

namespace {

// Owner of an entry opened for reading.
struct ZipFileCloser {
  void operator()(zip_file_t* file) const noexcept {
    if (file != nullptr) zip_fclose(file);
  }
};
using UniqueZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

}  // namespace

bool ZipArchive::ReadPieces(int64_t index, uint64_t length, bool asStored,
                            const std::function<bool(std::string_view)>& sink) const {
  if (archive_ == nullptr || index < 0) return false;
  UniqueZipFile file(zip_fopen_index(archive_, static_cast<zip_uint64_t>(index),
                                     asStored ? ZIP_FL_COMPRESSED : 0));
  if (!file) return false;
  std::vector<char> buffer(1 << 16);
  for (uint64_t done = 0; done < length;) {
    const uint64_t want = std::min<uint64_t>(buffer.size(), length - done);
    const zip_int64_t got = zip_fread(file.get(), buffer.data(), want);
    if (got <= 0) return false;
    if (!sink(std::string_view(buffer.data(), static_cast<size_t>(got)))) return false;
    done += static_cast<uint64_t>(got);
  }
  return true;
}

ZipArchive::~ZipArchive() {
  if (archive_ != nullptr) zip_discard(archive_);
}

bool ZipArchive::Open(const std::string& path) {
  if (archive_ != nullptr) {
    zip_discard(archive_);
    archive_ = nullptr;
  }
  int error = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
  return archive_ != nullptr;
}

std::optional<std::string> ZipArchive::RepeatedName() const {
  std::set<std::string> seen;
  const int64_t count = EntryCount();
  for (int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name != nullptr && !seen.insert(name).second) return std::string(name);
  }
  return std::nullopt;
}

int64_t ZipArchive::EntryCount() const {
  return archive_ == nullptr ? 0 : zip_get_num_entries(archive_, 0);
}

std::optional<ZipEntry> ZipArchive::Find(const std::string& name, bool ignoreCase) const {
  if (archive_ == nullptr) return std::nullopt;
  zip_int64_t index = zip_name_locate(archive_, name.c_str(), ignoreCase ? ZIP_FL_NOCASE : 0);
  if (index < 0) return std::nullopt;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return std::nullopt;
  ZipEntry entry;
  entry.index = index;
  entry.name = (st.valid & ZIP_STAT_NAME) != 0 && st.name != nullptr ? st.name : name;
  entry.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
  entry.mtime = (st.valid & ZIP_STAT_MTIME) != 0 ? static_cast<int64_t>(st.mtime) : 0;
  return entry;
}

std::optional<std::string> ZipArchive::ReadWhole(const ZipEntry& entry, uint64_t maxBytes) const {
  if (archive_ == nullptr || entry.size > maxBytes) return std::nullopt;
  UniqueZipFile file(zip_fopen_index(archive_, static_cast<zip_uint64_t>(entry.index), 0));
  if (!file) return std::nullopt;
  std::string bytes(static_cast<size_t>(entry.size), '\0');
  uint64_t done = 0;
  while (done < entry.size) {
    zip_int64_t got = zip_fread(file.get(), bytes.data() + done, entry.size - done);
    if (got <= 0) return std::nullopt;
    done += static_cast<uint64_t>(got);
  }
  return bytes;
}

bool ZipArchive::ExtractToFile(const ZipEntry& entry, const std::string& path,
                               uint64_t maxBytes) const {
  platform::UniqueFile out = platform::OpenFile(path, "wb");
  if (!out) return false;
  const bool complete =
      entry.size <= maxBytes &&
      ReadPieces(entry.index, entry.size, false, [&out](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), out.get()) == piece.size();
      });
  if (!complete) {
    // A picture that could not be read whole is handed on as an empty file, which
    // keeps the original bytes in the package.
    out.reset();
    out = platform::OpenFile(path, "wb");
    return false;
  }
  return std::fclose(out.release()) == 0;
}

std::optional<std::vector<StoredEntry>> ZipArchive::Entries() const {
  if (archive_ == nullptr) return std::nullopt;
  const zip_int64_t count = zip_get_num_entries(archive_, 0);
  std::vector<StoredEntry> entries;
  for (zip_int64_t index = 0; index < count; ++index) {
    const auto i = static_cast<zip_uint64_t>(index);
    zip_stat_t st;
    zip_stat_init(&st);
    const char* name = zip_get_name(archive_, i, ZIP_FL_ENC_RAW);
    if (name == nullptr || zip_stat_index(archive_, i, ZIP_FL_ENC_RAW, &st) != 0) {
      return std::nullopt;
    }
    const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                                ZIP_STAT_CRC | ZIP_STAT_MTIME;
    if ((st.valid & needed) != needed) return std::nullopt;
    StoredEntry entry;
    entry.index = index;
    entry.header.name = name;
    entry.header.method = static_cast<uint16_t>(st.comp_method);
    entry.header.crc = st.crc;
    entry.header.compressedSize = st.comp_size;
    entry.header.size = st.size;
    ToDosTime(static_cast<int64_t>(st.mtime), entry.header.dosTime, entry.header.dosDate);
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive_, i, 0, &system, &attributes) == 0) {
      entry.header.madeBy = static_cast<uint16_t>(system << 8);
      entry.header.externalAttributes = attributes;
    }
    zip_uint32_t commentLength = 0;
    if (const char* comment = zip_file_get_comment(archive_, i, &commentLength, ZIP_FL_ENC_RAW)) {
      entry.header.comment.assign(comment, commentLength);
    }
    entry.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
                      st.encryption_method != ZIP_EM_NONE;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string ZipArchive::Comment() const {
  if (archive_ == nullptr) return {};
  int length = 0;
  const char* comment = zip_get_archive_comment(archive_, &length, ZIP_FL_ENC_RAW);
  return comment != nullptr && length > 0 ? std::string(comment, static_cast<size_t>(length))
                                          : std::string();
}

bool ZipArchive::ReadStored(const StoredEntry& entry,
                            const std::function<bool(std::string_view)>& sink) const {
  return ReadPieces(entry.index, entry.header.compressedSize, true, sink);
}

bool ZipArchive::ReadInPieces(const StoredEntry& entry, uint64_t maxBytes,
                              const std::function<bool(std::string_view)>& sink) const {
  return entry.header.size <= maxBytes && ReadPieces(entry.index, entry.header.size, false, sink);
}

}  // namespace velmora
