#include "core/process_log.h"

#include <cstdio>

#include "core/text.h"
#include "platform/platform.h"

namespace velmora {

namespace {

void AppendUtf16Le(std::string& out, std::u16string_view text) {
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
}

constexpr char kLineEnd[] = {'\r', '\0', '\n', '\0'};

}  // namespace

std::string FormatLogStamp(const platform::LocalTime& t) {
  return Format("* [%04d.%02d.%02d %02d:%02d:%02d.%03d] ", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
}

void ProcessLog::Open(const std::string& path) {
  path_ = path;
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) return;
  const unsigned char bom[] = {0xFF, 0xFE};
  std::fwrite(bom, 1, sizeof bom, file.get());
}

void ProcessLog::Write(std::string_view text, bool stamp) {
  WriteWithStamp(stamp ? FormatLogStamp(platform::NowLocal()) : std::string(), text);
}

void ProcessLog::WriteWithStamp(std::string_view stampText, std::string_view text) {
  if (path_.empty()) return;
  // "r+b" never creates the file: a log that could not be opened stays absent.
  platform::UniqueFile file = platform::OpenFile(path_, "r+b");
  if (!file) return;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return;
  std::string bytes;
  if (!stampText.empty()) {
    AppendUtf16Le(bytes, Utf8ToUtf16(stampText));
  } else if (text.size() >= 2 && text[0] == '#' && text[1] == ' ') {
    bytes.append(kLineEnd, sizeof kLineEnd);
  }
  AppendUtf16Le(bytes, Utf8ToUtf16(text));
  bytes.append(kLineEnd, sizeof kLineEnd);
  std::fwrite(bytes.data(), 1, bytes.size(), file.get());
}

void BufferedLog::Write(std::string_view text, bool stamp) {
  lines_.push_back({stamp ? FormatLogStamp(platform::NowLocal()) : std::string(), std::string(text)});
}

void BufferedLog::FlushTo(ProcessLog& log) {
  for (const Line& line : lines_) log.WriteWithStamp(line.stamp, line.text);
  lines_.clear();
}

}  // namespace velmora
