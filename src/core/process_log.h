#pragma once
// The process log: a Markdown file in UTF-16LE with a byte order mark and CR LF line
// ends, one line appended per call. The file is opened and closed for every line so
// that everything written so far is on disk if the job ends early.

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velmora {

// The time-stamp prefix of a line, "* [YYYY.MM.DD hh:mm:ss.mmm] ".
std::string FormatLogStamp(const platform::LocalTime& time);

// Where a log line goes: the process log itself, or the buffer of one picture that is
// processed beside others and whose lines reach the process log later, in document
// order.
class LogLines {
 public:
  virtual ~LogLines() = default;
  // Appends one line (UTF-8 text). With a stamp the line begins
  // "* [YYYY.MM.DD hh:mm:ss.mmm] " with the time of this call.
  virtual void Write(std::string_view text, bool stamp) = 0;
};

class ProcessLog : public LogLines {
 public:
  ProcessLog() = default;
  ProcessLog(const ProcessLog&) = delete;
  ProcessLog& operator=(const ProcessLog&) = delete;

  // Creates (or truncates) the file and writes the byte order mark. The path is kept
  // even when the file cannot be created; later lines are then dropped silently.
  void Open(const std::string& path);

  // A plain line starting "# " is preceded by an empty line so that Markdown sees a
  // heading.
  void Write(std::string_view text, bool stamp) override;
  // Appends a line whose stamp was taken earlier (empty: a plain line).
  void WriteWithStamp(std::string_view stampText, std::string_view text);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The lines of one picture, kept in memory with the time each was written until they
// are flushed into the process log. Only one thread writes to a buffer at a time.
class BufferedLog : public LogLines {
 public:
  void Write(std::string_view text, bool stamp) override;
  // Writes every line into the log, oldest first, and empties the buffer.
  void FlushTo(ProcessLog& log);
  bool Empty() const { return lines_.empty(); }

 private:
  struct Line {
    std::string stamp;  // empty for a plain line
    std::string text;
  };
  std::vector<Line> lines_;
};

}  // namespace velmora
