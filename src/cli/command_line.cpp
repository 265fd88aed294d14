#include "cli/command_line.h"

#include "core/job.h"
#include "core/text.h"
#include "core/version.h"
#include "platform/platform.h"

namespace velmora::cli {

namespace {

const char kUsage[] =
    "Usage: velmora [OPTIONS] SOURCE... [-o TARGET]\n"
    "Makes HWPX (.hwpx) and HWPML (.hml) documents smaller by recompressing their\n"
    "pictures. The source documents are never changed.\n"
    "\n"
    "Each SOURCE is shrunk into its own target: SOURCE with \"(pack)\" before the\n"
    "extension (a.hwpx -> a(pack).hwpx, a.hml -> a(pack).hml).\n"
    "\n"
    "Options:\n"
    "  -o, --output TARGET      target document (only with exactly one SOURCE)\n"
    "  -r, --rule RULE          conversion rule: png (0, default: BMP becomes PNG),\n"
    "                           jpeg (1: BMP becomes JPEG), pngquant (2: BMP and PNG\n"
    "                           become palette PNG)\n"
    "  -q, --quality N          JPEG quality, 0..100 (default 90)\n"
    "  -b, --background RRGGBB  colour that replaces transparency when a picture\n"
    "                           becomes JPEG (default FFFFFF)\n"
    "  -k, --keep-temp          keep the temporary files and the process log, and\n"
    "                           print the log's path\n"
    "      --no-optimisers      do not run zopflipng and gifsicle\n"
    "  -h, --help               show this help and exit\n"
    "  -V, --version            show the version and the JPEG library, and exit\n"
    "\n"
    "Exit status: 0 every job succeeded, 1 a job failed, 2 usage error.\n";

bool ParseRule(const std::string& value, int& rule) {
  std::string lower = ToLowerAscii(value);
  if (lower == "png" || lower == "0") {
    rule = kRuleBmpToPng;
  } else if (lower == "jpeg" || lower == "jpg" || lower == "1") {
    rule = kRuleBmpToJpeg;
  } else if (lower == "pngquant" || lower == "2") {
    rule = kRulePngQuant;
  } else {
    return false;
  }
  return true;
}

// An unsigned decimal number that fits an unsigned int; nothing else.
bool ParseQuality(const std::string& value, unsigned int& quality) {
  if (value.empty() || value.size() > 9) return false;
  unsigned long long number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  quality = static_cast<unsigned int>(number);
  return true;
}

enum class OptionId { kOutput, kRule, kQuality, kBackground, kKeep, kNoOptimisers, kHelp, kVersion };

struct OptionSpec {
  char shortName;
  const char* longName;
  OptionId id;
  bool takesValue;
};

constexpr OptionSpec kOptions[] = {
    {'o', "output", OptionId::kOutput, true},
    {'r', "rule", OptionId::kRule, true},
    {'q', "quality", OptionId::kQuality, true},
    {'b', "background", OptionId::kBackground, true},
    {'k', "keep-temp", OptionId::kKeep, false},
    {'\0', "no-optimisers", OptionId::kNoOptimisers, false},
    {'h', "help", OptionId::kHelp, false},
    {'V', "version", OptionId::kVersion, false},
};

std::string ApplyOption(const OptionSpec& option, const std::string& value, CommandLine& line) {
  switch (option.id) {
    case OptionId::kOutput:
      if (line.target) return "--output given twice";
      line.target = value;
      break;
    case OptionId::kRule:
      if (!ParseRule(value, line.options.conversionRule)) {
        return "invalid rule '" + value + "' (png, jpeg or pngquant)";
      }
      break;
    case OptionId::kQuality:
      if (!ParseQuality(value, line.options.jpegQuality)) {
        return "invalid quality '" + value + "' (an unsigned decimal number)";
      }
      break;
    case OptionId::kBackground:
      line.options.backgroundText = value;
      break;
    case OptionId::kKeep:
      line.options.keepTempFiles = true;
      break;
    case OptionId::kNoOptimisers:
      line.options.extraOptimisers = false;
      break;
    case OptionId::kHelp:
      line.help = true;
      break;
    case OptionId::kVersion:
      line.version = true;
      break;
  }
  return {};
}

// The command line host: messages to the streams, progress as a bar on a terminal.
class CommandLineHost : public JobHost {
 public:
  CommandLineHost(std::FILE* out, std::FILE* err)
      : out_(out), err_(err), showProgress_(platform::IsTerminal(err)) {}

  void ShowMessage(const std::string& text, bool failure) override {
    ClearProgress();
    std::FILE* stream = failure ? err_ : out_;
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
  }

  void OnTaskbarState(int state) override {
    if (state == kTaskbarNoProgress) ClearProgress();
  }

  void OnTaskbarProgress(uint64_t done, uint64_t total) override {
    if (!showProgress_ || total == 0) return;
    constexpr int kWidth = 30;
    int filled = static_cast<int>(done >= total ? kWidth : done * kWidth / total);
    std::fprintf(err_, "\r[%s%s] %llu/%llu", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(),
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
    std::fflush(err_);
    barShown_ = true;
  }

 private:
  void ClearProgress() {
    if (!barShown_) return;
    std::fprintf(err_, "\r%60s\r", "");
    std::fflush(err_);
    barShown_ = false;
  }

  std::FILE* out_;
  std::FILE* err_;
  bool showProgress_;
  bool barShown_ = false;
};

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      line.sources.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument.compare(0, 2, "--") == 0) {
      std::string name = argument.substr(2);
      std::optional<std::string> inlineValue;
      if (size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
      const OptionSpec* option = nullptr;
      for (const OptionSpec& candidate : kOptions) {
        if (name == candidate.longName) option = &candidate;
      }
      if (option == nullptr) return {std::nullopt, "unknown option '--" + name + "'"};
      std::string value;
      if (option->takesValue) {
        if (inlineValue) {
          value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          return {std::nullopt, "option '--" + name + "' needs a value"};
        }
      } else if (inlineValue) {
        return {std::nullopt, "option '--" + name + "' takes no value"};
      }
      if (std::string error = ApplyOption(*option, value, line); !error.empty()) {
        return {std::nullopt, error};
      }
      continue;
    }
    // A cluster of short options: -kq90, -k -q 90.
    for (size_t j = 1; j < argument.size(); ++j) {
      const OptionSpec* option = nullptr;
      for (const OptionSpec& candidate : kOptions) {
        if (candidate.shortName != '\0' && candidate.shortName == argument[j]) option = &candidate;
      }
      if (option == nullptr) return {std::nullopt, std::string("unknown option '-") + argument[j] + "'"};
      std::string value;
      if (option->takesValue) {
        if (j + 1 < argument.size()) {
          value = argument.substr(j + 1);
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          return {std::nullopt, std::string("option '-") + argument[j] + "' needs a value"};
        }
        j = argument.size();
      }
      if (std::string error = ApplyOption(*option, value, line); !error.empty()) {
        return {std::nullopt, error};
      }
    }
  }
  if (line.help || line.version) return {line, {}};
  if (line.sources.empty()) return {std::nullopt, "no source document given"};
  if (line.target && line.sources.size() != 1) {
    return {std::nullopt, "--output needs exactly one source document"};
  }
  for (const std::string& source : line.sources) {
    if (Trim(source).empty()) return {std::nullopt, "empty source document name"};
  }
  return {line, {}};
}

int Run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  ParseResult parsed = ParseCommandLine(arguments);
  if (!parsed.commandLine) {
    std::fprintf(err, "velmora: %s (see 'velmora --help')\n", parsed.error.c_str());
    return kExitUsage;
  }
  const CommandLine& line = *parsed.commandLine;
  if (line.help) {
    std::fputs(kUsage, out);
    return kExitSuccess;
  }
  if (line.version) {
    std::fprintf(out, "velmora %s (JPEG: %s)\n", GetVersionText().c_str(), JpegLibraryText().c_str());
    return kExitSuccess;
  }

  CommandLineHost host(out, err);
  bool allSucceeded = true;
  for (const std::string& source : line.sources) {
    const std::string target = line.target ? *line.target : DefaultTargetName(source);
    host.revealLogPath.clear();
    if (!RunShrinkJob(source, target, line.options, host)) allSucceeded = false;
    if (line.options.keepTempFiles && !host.revealLogPath.empty()) {
      std::fprintf(out, "log: %s\n", host.revealLogPath.c_str());
    }
  }
  std::fflush(out);
  return allSucceeded ? kExitSuccess : kExitJobFailed;
}

}  // namespace velmora::cli
