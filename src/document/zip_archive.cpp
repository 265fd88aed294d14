#include "document/zip_archive.h"

#include <zip.h>

#include <algorithm>
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

// Owner of a data source until libzip takes it over.
struct ZipSourceFreer {
  void operator()(zip_source_t* source) const noexcept {
    if (source != nullptr) zip_source_free(source);
  }
};
using UniqueZipSource = std::unique_ptr<zip_source_t, ZipSourceFreer>;

}  // namespace

ZipArchive::~ZipArchive() {
  if (archive_ != nullptr) zip_discard(archive_);
}

bool ZipArchive::OpenForUpdate(const std::string& path) {
  if (archive_ != nullptr) {
    zip_discard(archive_);
    archive_ = nullptr;
  }
  int error = 0;
  archive_ = zip_open(path.c_str(), 0, &error);
  return archive_ != nullptr;
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
  bool complete = false;
  if (archive_ != nullptr && entry.size <= maxBytes) {
    UniqueZipFile file(zip_fopen_index(archive_, static_cast<zip_uint64_t>(entry.index), 0));
    if (file) {
      std::vector<char> buffer(1 << 16);
      uint64_t done = 0;
      bool failed = false;
      while (done < entry.size) {
        uint64_t want = std::min<uint64_t>(buffer.size(), entry.size - done);
        zip_int64_t got = zip_fread(file.get(), buffer.data(), want);
        if (got <= 0 || std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out.get()) !=
                            static_cast<size_t>(got)) {
          failed = true;
          break;
        }
        done += static_cast<uint64_t>(got);
      }
      complete = !failed;
    }
  }
  if (!complete) {
    // A picture that could not be read whole is handed on as an empty file, which
    // keeps the original bytes in the package.
    out.reset();
    out = platform::OpenFile(path, "wb");
    return false;
  }
  return std::fclose(out.release()) == 0;
}

bool ZipArchive::Delete(const ZipEntry& entry) {
  return archive_ != nullptr && zip_delete(archive_, static_cast<zip_uint64_t>(entry.index)) == 0;
}

bool ZipArchive::AddDirectoryPrefixes(const std::string& name, int64_t mtime) {
  if (name.empty() || name.back() == '/') return false;
  for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
    std::string prefix = name.substr(0, slash + 1);
    if (zip_name_locate(archive_, prefix.c_str(), 0) >= 0) continue;
    const zip_int64_t index = zip_dir_add(archive_, prefix.c_str(), ZIP_FL_ENC_UTF_8);
    if (index < 0) return false;
    if (zip_file_set_mtime(archive_, static_cast<zip_uint64_t>(index),
                           static_cast<time_t>(mtime), 0) != 0) {
      return false;
    }
  }
  return true;
}

bool ZipArchive::AddSource(const std::string& name, zip_source_t* rawSource, int64_t mtime) {
  UniqueZipSource source(rawSource);
  if (!source) return false;
  const zip_int64_t index =
      zip_file_add(archive_, name.c_str(), source.get(), ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) return false;
  source.release();  // the archive owns it now
  return zip_file_set_mtime(archive_, static_cast<zip_uint64_t>(index),
                            static_cast<time_t>(mtime), 0) == 0;
}

bool ZipArchive::AddFile(const std::string& name, const std::string& path, int64_t mtime) {
  if (archive_ == nullptr || !AddDirectoryPrefixes(name, mtime)) return false;
  return AddSource(name, zip_source_file(archive_, path.c_str(), 0, -1), mtime);
}

bool ZipArchive::AddData(const std::string& name, const void* data, size_t length,
                         int64_t mtime) {
  if (archive_ == nullptr || !AddDirectoryPrefixes(name, mtime)) return false;
  return AddSource(name, zip_source_buffer(archive_, data, length, 0), mtime);
}

bool ZipArchive::Close() {
  if (archive_ == nullptr) return false;
  if (zip_close(archive_) != 0) {
    zip_discard(archive_);
    archive_ = nullptr;
    return false;
  }
  archive_ = nullptr;
  return true;
}

// --- Reading entry by entry, for the layout of a package ---------------------------

std::optional<ZipEntry> ZipArchive::EntryAt(int64_t index) const {
  if (archive_ == nullptr || index < 0) return std::nullopt;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      (st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr) {
    return std::nullopt;
  }
  ZipEntry entry;
  entry.index = index;
  entry.name = st.name;
  entry.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
  entry.mtime = (st.valid & ZIP_STAT_MTIME) != 0 ? static_cast<int64_t>(st.mtime) : 0;
  return entry;
}

bool ZipArchive::ReadInPieces(const ZipEntry& entry, uint64_t maxBytes,
                              const std::function<bool(std::string_view)>& consume) const {
  if (archive_ == nullptr || entry.size > maxBytes) return false;
  UniqueZipFile file(zip_fopen_index(archive_, static_cast<zip_uint64_t>(entry.index), 0));
  if (!file) return false;
  std::vector<char> buffer(1 << 16);
  for (uint64_t done = 0; done < entry.size;) {
    const uint64_t want = std::min<uint64_t>(buffer.size(), entry.size - done);
    const zip_int64_t got = zip_fread(file.get(), buffer.data(), want);
    if (got <= 0) return false;
    if (!consume(std::string_view(buffer.data(), static_cast<size_t>(got)))) return false;
    done += static_cast<uint64_t>(got);
  }
  return true;
}

}  // namespace velmora
