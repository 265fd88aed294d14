#include "support/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/text.h"

namespace velmora::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmora-test.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code error;
  // Restore permissions a test may have taken away, so that removal succeeds.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error)) ::chmod(it->path().c_str(), 0700);
  }
  ::chmod(path_.c_str(), 0700);
  std::filesystem::remove_all(path_, error);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string CorpusDir() {
  if (const char* env = std::getenv("VELMORA_CORPUS"); env != nullptr && *env != '\0') {
    return std::filesystem::is_directory(env) ? std::string(env) : std::string();
  }
  std::string candidate = std::string(VELMORA_SOURCE_DIR) + "/../shared/corpus";
  return std::filesystem::is_directory(candidate) ? candidate : std::string();
}

std::vector<std::string> CorpusFiles(const std::string& subFolder,
                                     const std::vector<std::string>& extensions) {
  std::vector<std::string> files;
  std::string dir = CorpusDir();
  if (dir.empty()) return files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir + "/" + subFolder, error)) {
    if (!entry.is_regular_file()) continue;
    std::string extension = ToLowerAscii(entry.path().extension().string());
    if (std::find(extensions.begin(), extensions.end(), extension) != extensions.end()) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> CorpusCases(const std::vector<CorpusFolder>& folders) {
  std::vector<std::string> files;
  for (const auto& [folder, extensions] : folders) {
    for (std::string& file : CorpusFiles(folder, extensions)) files.push_back(std::move(file));
  }
  if (files.empty()) files.emplace_back();
  return files;
}

std::string CorpusCaseName(const ::testing::TestParamInfo<std::string>& info) {
  if (info.param.empty()) return "absent";
  std::string name = std::filesystem::path(info.param).filename().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

void WriteZip(const std::string& path, const std::vector<ZipItem>& items) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const ZipItem& item : items) {
    if (item.directory) {
      ASSERT_GE(zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_UTF_8), 0);
      continue;
    }
    zip_source_t* source = zip_source_buffer(archive, item.bytes.data(), item.bytes.size(), 0);
    ASSERT_NE(source, nullptr);
    zip_int64_t index = zip_file_add(archive, item.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << item.name;
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                             item.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::optional<std::vector<ZipItem>> ReadZip(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) return std::nullopt;
  std::vector<ZipItem> items;
  zip_int64_t count = zip_get_num_entries(archive, 0);
  bool ok = true;
  for (zip_int64_t i = 0; i < count && ok; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
      ok = false;
      break;
    }
    ZipItem item;
    item.name = st.name;
    item.stored = st.comp_method == ZIP_CM_STORE;
    item.directory = !item.name.empty() && item.name.back() == '/';
    item.bytes.resize(st.size);
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) {
      ok = false;
      break;
    }
    zip_int64_t got = st.size == 0 ? 0 : zip_fread(file, item.bytes.data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size)) ok = false;
    items.push_back(std::move(item));
  }
  zip_discard(archive);
  if (!ok) return std::nullopt;
  return items;
}

std::string MakeManifest(const std::vector<HwpxPicture>& pictures) {
  std::string manifest =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>"
      "<opf:package xmlns:opf=\"http://www.idpf.org/2007/opf/\" version=\"\" "
      "unique-identifier=\"\" id=\"\"><opf:metadata><opf:title/><opf:language>ko</opf:language>"
      "</opf:metadata><opf:manifest>"
      "<opf:item id=\"header\" href=\"Contents/header.xml\" media-type=\"application/xml\"/>";
  for (const HwpxPicture& picture : pictures) {
    manifest += "<opf:item id=\"" + picture.id + "\" href=\"" + picture.href +
                "\" media-type=\"" + picture.mediaType + "\" isEmbeded=\"" + picture.isEmbeded +
                "\"/>";
  }
  manifest +=
      "<opf:item id=\"section0\" href=\"Contents/section0.xml\" media-type=\"application/xml\"/>"
      "</opf:manifest><opf:spine><opf:itemref idref=\"header\" linear=\"yes\"/>"
      "<opf:itemref idref=\"section0\" linear=\"yes\"/></opf:spine></opf:package>";
  return manifest;
}

std::vector<ZipItem> MakeHwpxItems(const std::vector<HwpxPicture>& pictures) {
  std::vector<ZipItem> items;
  items.push_back({"mimetype", "application/hwp+zip", true, false});
  items.push_back({"version.xml", "<?xml version=\"1.0\"?><hv:HCFVersion/>", false, false});
  items.push_back({"Contents/header.xml", "<?xml version=\"1.0\"?><hh:head/>", false, false});
  for (const HwpxPicture& picture : pictures) {
    if (picture.href.rfind("BinData/", 0) == 0 && !picture.bytes.empty()) {
      items.push_back({picture.href, picture.bytes, false, false});
    }
  }
  items.push_back({"Contents/section0.xml", "<?xml version=\"1.0\"?><hs:sec/>", false, false});
  items.push_back({"META-INF/container.xml", "<?xml version=\"1.0\"?><ocf:container/>", false, false});
  items.push_back({"Contents/content.hpf", MakeManifest(pictures), false, false});
  return items;
}

std::vector<std::string> ReadLogLines(const std::string& path) {
  std::string bytes = ReadFile(path);
  std::vector<std::string> lines;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE || bytes.size() % 2 != 0) {
    ADD_FAILURE() << "log " << path << " is not UTF-16LE with a byte order mark";
    return lines;
  }
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) {
      ADD_FAILURE() << "log line without CR LF at its end";
      break;
    }
    lines.push_back(Utf16ToUtf8(text.substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

std::string WithoutStamp(const std::string& line) {
  // "* [2017.01.02 09:05:03.007] " is 28 bytes.
  if (line.size() >= 28 && line.compare(0, 3, "* [") == 0 && line.compare(26, 2, "] ") == 0) {
    return line.substr(28);
  }
  return line;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace velmora::testing
