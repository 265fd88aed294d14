#include "document/zip_archive.h"

#include <zip.h>
#include <zlib.h>

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

// Owner of a data source until libzip takes it over.
struct ZipSourceFreer {
  void operator()(zip_source_t* source) const noexcept {
    if (source != nullptr) zip_source_free(source);
  }
};
using UniqueZipSource = std::unique_ptr<zip_source_t, ZipSourceFreer>;

// The strength the archive deflates with; the size test below uses the same.
constexpr int kDeflateLevel = 9;

// Owner of a zlib stream that only measures.
class DeflateCounter {
 public:
  DeflateCounter() {
    ready_ = deflateInit2(&stream_, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8,
                          Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~DeflateCounter() {
    if (ready_) deflateEnd(&stream_);
  }
  DeflateCounter(const DeflateCounter&) = delete;
  DeflateCounter& operator=(const DeflateCounter&) = delete;

  // Feeds bytes; false on a zlib error.
  bool Feed(const void* data, size_t length, bool last) {
    if (!ready_) return false;
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_.avail_in = static_cast<uInt>(length);
    unsigned char out[65536];
    int result = Z_OK;
    do {
      stream_.next_out = out;
      stream_.avail_out = sizeof out;
      result = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) return false;
      produced_ += sizeof out - stream_.avail_out;
    } while (stream_.avail_out == 0 || (last && result != Z_STREAM_END));
    return true;
  }
  uint64_t Produced() const { return produced_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
  uint64_t produced_ = 0;
};

// The deflated size of a file's bytes; UINT64_MAX when it cannot be read.
uint64_t DeflatedSizeOfFile(const std::string& path, uint64_t& size) {
  size = 0;
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  DeflateCounter counter;
  if (!file) return UINT64_MAX;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    const bool last = got < buffer.size();
    if (last && std::ferror(file.get()) != 0) return UINT64_MAX;
    if (!counter.Feed(buffer.data(), got, last)) return UINT64_MAX;
    size += got;
    if (last) return counter.Produced();
  }
}

uint64_t DeflatedSizeOfData(const void* data, size_t length) {
  DeflateCounter counter;
  // zlib counts input in 32 bits: large buffers go in pieces.
  const auto* bytes = static_cast<const unsigned char*>(data);
  constexpr size_t kPiece = size_t{1} << 30;
  for (size_t done = 0;;) {
    const size_t piece = std::min(kPiece, length - done);
    const bool last = done + piece == length;
    if (!counter.Feed(bytes + done, piece, last)) return UINT64_MAX;
    done += piece;
    if (last) return counter.Produced();
  }
}

// A file's bytes under the attributes of another entry: libzip takes an added file's
// attributes from the file itself (a private temporary file would make a 0600 entry),
// so this source answers for them and hands everything else to the file source.
class ModelledFileSource {
 public:
  static zip_source_t* Create(zip_t* archive, const std::string& path, zip_uint8_t system,
                              zip_uint32_t attributes) {
    zip_source_t* inner = zip_source_file(archive, path.c_str(), 0, -1);
    if (inner == nullptr) return nullptr;
    auto* state = new ModelledFileSource(inner, system, attributes);
    zip_source_t* outer = zip_source_function(archive, &ModelledFileSource::Call, state);
    if (outer == nullptr) delete state;  // frees inner too
    return outer;
  }

 private:
  ModelledFileSource(zip_source_t* inner, zip_uint8_t system, zip_uint32_t attributes)
      : inner_(inner) {
    zip_error_init(&error_);
    zip_file_attributes_init(&attributes_);
    attributes_.valid =
        ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
    attributes_.host_system = system;
    attributes_.external_file_attributes = attributes;
  }
  ~ModelledFileSource() {
    zip_source_free(inner_);
    zip_error_fini(&error_);
  }

  zip_int64_t Failed() {
    zip_error_t* inner = zip_source_error(inner_);
    zip_error_set(&error_, zip_error_code_zip(inner), zip_error_code_system(inner));
    return -1;
  }

  static zip_int64_t Call(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* self = static_cast<ModelledFileSource*>(state);
    switch (command) {
      case ZIP_SOURCE_OPEN: return zip_source_open(self->inner_) < 0 ? self->Failed() : 0;
      case ZIP_SOURCE_READ: {
        const zip_int64_t got = zip_source_read(self->inner_, data, length);
        return got < 0 ? self->Failed() : got;
      }
      case ZIP_SOURCE_CLOSE: return zip_source_close(self->inner_) < 0 ? self->Failed() : 0;
      case ZIP_SOURCE_STAT:
        if (length < sizeof(zip_stat_t)) return -1;
        if (zip_source_stat(self->inner_, static_cast<zip_stat_t*>(data)) < 0) return self->Failed();
        return sizeof(zip_stat_t);
      case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        if (length < sizeof(zip_file_attributes_t)) return -1;
        *static_cast<zip_file_attributes_t*>(data) = self->attributes_;
        return sizeof(zip_file_attributes_t);
      case ZIP_SOURCE_ERROR: return zip_error_to_data(&self->error_, data, length);
      case ZIP_SOURCE_FREE: delete self; return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
      default:
        zip_error_set(&self->error_, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }

  zip_source_t* inner_;
  zip_error_t error_;
  zip_file_attributes_t attributes_;
};

// libzip asks while it writes the archive; a stop request ends the write, and the
// archive is then discarded.
int CancelOnStopRequest(zip_t* /*archive*/, void* /*state*/) {
  return platform::StopRequested() ? 1 : 0;
}

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
  if (archive_ != nullptr) {
    zip_register_cancel_callback_with_state(archive_, CancelOnStopRequest, nullptr, nullptr);
  }
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

bool ZipArchive::UsesFolderEntries() const {
  const int64_t count = EntryCount();
  for (int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name != nullptr && *name != '\0' && name[std::char_traits<char>::length(name) - 1] == '/') {
      return true;
    }
  }
  return false;
}

bool ZipArchive::MatchEntry(int64_t index, const ZipEntry& model, uint64_t uncompressedBytes,
                            uint64_t deflatedBytes) {
  const auto at = static_cast<zip_uint64_t>(index);
  // The model's time as well: a target then depends on the document alone, not on
  // when it was written.
  if (zip_file_set_mtime(archive_, at, static_cast<time_t>(model.mtime), 0) != 0) return false;
  zip_uint8_t system = ZIP_OPSYS_DEFAULT;
  zip_uint32_t attributes = 0;
  if (model.index >= 0 &&
      zip_file_get_external_attributes(archive_, static_cast<zip_uint64_t>(model.index),
                                       ZIP_FL_UNCHANGED,
                                       &system, &attributes) == 0 &&
      zip_file_set_external_attributes(archive_, at, 0, system, attributes) != 0) {
    return false;
  }
  // Pictures are compressed already; deflating them again mostly makes them larger.
  const bool deflate = deflatedBytes < uncompressedBytes;
  return zip_set_file_compression(archive_, at, deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                  deflate ? kDeflateLevel : 0) == 0;
}

bool ZipArchive::AddFileLike(const std::string& name, const std::string& path,
                             const ZipEntry& model) {
  if (archive_ == nullptr || name.empty() || name.back() == '/') return false;
  const bool replacing = zip_name_locate(archive_, name.c_str(), 0) >= 0;
  if (!replacing && UsesFolderEntries() && !AddDirectoryPrefixes(name, model.mtime)) return false;
  uint64_t size = 0;
  const uint64_t deflated = DeflatedSizeOfFile(path, size);
  if (deflated == UINT64_MAX) return false;
  zip_uint8_t system = ZIP_OPSYS_DEFAULT;
  // A regular file readable by all, as archivers store one, when there is no model.
  zip_uint32_t attributes = 0100644u << 16;
  if (model.index >= 0) {
    zip_file_get_external_attributes(archive_, static_cast<zip_uint64_t>(model.index),
                                     ZIP_FL_UNCHANGED, &system, &attributes);
  }
  UniqueZipSource source(ModelledFileSource::Create(archive_, path, system, attributes));
  if (!source) return false;
  const zip_int64_t index =
      zip_file_add(archive_, name.c_str(), source.get(), ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) return false;
  source.release();  // the archive owns it now
  return MatchEntry(index, model, size, deflated);
}

bool ZipArchive::AddDataLike(const std::string& name, const void* data, size_t length,
                             const ZipEntry& model) {
  if (archive_ == nullptr || name.empty() || name.back() == '/') return false;
  const bool replacing = zip_name_locate(archive_, name.c_str(), 0) >= 0;
  if (!replacing && UsesFolderEntries() && !AddDirectoryPrefixes(name, model.mtime)) return false;
  const uint64_t deflated = DeflatedSizeOfData(data, length);
  if (deflated == UINT64_MAX) return false;
  UniqueZipSource source(zip_source_buffer(archive_, data, length, 0));
  if (!source) return false;
  const zip_int64_t index =
      zip_file_add(archive_, name.c_str(), source.get(), ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) return false;
  source.release();
  return MatchEntry(index, model, length, deflated);
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

}  // namespace velmora
