#pragma once
// What the command line prints of its own: the help text and the usage errors. The
// job's messages come from the job.

namespace velmora::cli_text {

inline constexpr char kUsage[] =
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
    "  -j, --jobs N             pictures (and documents) processed at once, 1..256\n"
    "                           (default: one per processor core)\n"
    "      --ppi N              reduce each picture to the pixels it needs where the\n"
    "                           document prints it, at N pixels per inch, 96..600\n"
    "                           (220 print, 150 screen, 96 e-mail; default: every\n"
    "                           picture keeps its resolution)\n"
    "      --quiet              no progress line and no summaries; failures are\n"
    "                           still shown\n"
    "  -h, --help               show this help and exit\n"
    "  -V, --version            show the version and the JPEG library, and exit\n"
    "\n"
    "Exit status: 0 every job succeeded, 1 a job failed, 2 usage error.\n";

// printf formats for the lines on standard output and standard error.
inline constexpr char kUsageError[] = "velmora: %s (see 'velmora --help')\n";
inline constexpr char kVersion[] = "velmora %s (JPEG: %s)\n";
inline constexpr char kLogPath[] = "log: %s";
inline constexpr char kFailure[] = "velmora: %s\n";

// Usage errors.
inline constexpr char kInvalidRule[] = "invalid rule '%s' (png, jpeg or pngquant)";
inline constexpr char kInvalidQuality[] = "invalid quality '%s' (a whole number from 0 to 100)";
inline constexpr char kInvalidJobs[] = "invalid number of jobs '%s' (a whole number from 1 to 256)";
inline constexpr char kInvalidPpi[] = "invalid ppi '%s' (a whole number from 96 to 600)";
inline constexpr char kInvalidBackground[] =
    "invalid background '%s' (six hexadecimal digits RRGGBB)";
inline constexpr char kOutputTwice[] = "--output given twice";
inline constexpr char kUnknownOption[] = "unknown option '%s'";
inline constexpr char kNeedsValue[] = "option '%s' needs a value";
inline constexpr char kTakesNoValue[] = "option '%s' takes no value";
inline constexpr char kNoSource[] = "no source document given";
inline constexpr char kOutputNeedsOneSource[] = "--output needs exactly one source document";
inline constexpr char kEmptySource[] = "empty source document name";

}  // namespace velmora::cli_text
