#pragma once
// What the command line prints of its own: the help text and the usage errors. The
// job's messages come from the job.

namespace velmora::cli_text {

inline constexpr char kUsage[] =
    "Usage: velmora [OPTIONS] SOURCE... [-o TARGET]\n"
    "       velmora [OPTIONS] [-R] [-O OUTDIR] SOURCE|FOLDER...\n"
    "Makes HWPX (.hwpx) and HWPML (.hml) documents smaller by recompressing their\n"
    "pictures. The source documents are never changed.\n"
    "\n"
    "Each SOURCE is shrunk into its own target: SOURCE with \"(pack)\" before the\n"
    "extension (a.hwpx -> a(pack).hwpx, a.hml -> a(pack).hml).\n"
    "A FOLDER stands for the .hwpx and .hml files in it (the extension in any case;\n"
    "with -R those in its sub-folders too), leaving out symbolic links and the\n"
    "\"(pack)\" targets of earlier runs. A target that exists is left alone and its\n"
    "source skipped, unless --force is given or the target is named with -o.\n"
    "\n"
    "Options:\n"
    "  -o, --output TARGET      target document (only with exactly one SOURCE)\n"
    "  -O, --output-dir OUTDIR  write each target into OUTDIR under its source's own\n"
    "                           name, in the sub-folders it has under its FOLDER\n"
    "  -R, --recursive          look for documents in the sub-folders of each FOLDER\n"
    "  -f, --force              replace targets that exist\n"
    "  -n, --dry-run            do everything but write the targets: each is built\n"
    "                           among the temporary files, measured and removed\n"
    "      --report FILE        write a JSON report of every document and picture to\n"
    "                           FILE (\"-\": standard output, and the summaries go to\n"
    "                           standard error)\n"
    "  -r, --rule RULE          conversion rule: png (0, default: BMP becomes PNG),\n"
    "                           jpeg (1: BMP becomes JPEG), pngquant (2: BMP and PNG\n"
    "                           become palette PNG)\n"
    "  -q, --quality N          JPEG quality, 0..100 (default 90)\n"
    "  -b, --background RRGGBB  colour that replaces transparency when a picture\n"
    "                           becomes JPEG (default FFFFFF)\n"
    "  -k, --keep-temp          keep the temporary files and the process log, and\n"
    "                           print the log's path\n"
    "      --no-optimisers      do not run zopflipng and gifsicle\n"
    "      --tool-time SECONDS  time zopflipng or gifsicle may take over one picture:\n"
    "                           SECONDS for each megapixel of it and SECONDS more\n"
    "                           (default 60; 0: no limit). A tool that runs out is\n"
    "                           stopped and the picture written before it is used\n"
    "      --memory-limit MIB   memory one picture may need, in mebibytes (default\n"
    "                           512, at least 16); a picture that needs more keeps\n"
    "                           its original bytes\n"
    "      --classic            rewrite only the pictures the classic rules name,\n"
    "                           as they decide; no lossless passes over the other\n"
    "                           pictures and entries\n"
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
    "Exit status: 0 every job succeeded, 1 a job failed, 2 usage error; 130, 143\n"
    "or 129 when SIGINT (Ctrl-C), SIGTERM or SIGHUP stopped the run, which then\n"
    "leaves no target and no temporary file behind. A second Ctrl-C ends at once.\n"
    "A source skipped because its target exists is no failure.\n";

// printf formats for the lines on standard output and standard error.
inline constexpr char kUsageError[] = "velmora: %s (see 'velmora --help')\n";
inline constexpr char kVersion[] = "velmora %s (JPEG: %s)\n";
inline constexpr char kLogPath[] = "log: %s";
inline constexpr char kFailure[] = "velmora: %s\n";
// The message of one of several documents: the source, then the job's message.
inline constexpr char kNamedMessage[] = "%s: %s";
// What the command line says of one source that does not run.
inline constexpr char kSourceNote[] = "velmora: %s: %s";
inline constexpr char kDryRunTotal[] =
    "dry run, nothing written: %d document(s), %s -> %s, %.2f%% smaller";
inline constexpr char kNoDocuments[] = "velmora: no .hwpx or .hml documents in '%s'";
inline constexpr char kUnreadableFolder[] = "velmora: cannot read folder '%s'";
inline constexpr char kReportFailed[] = "velmora: cannot write the report '%s'";

// Why a document does not run.
inline constexpr char kTargetExists[] = "'%s' exists, left alone (--force replaces it)";
inline constexpr char kTargetTwice[] = "another source of this run has the same target '%s'";
inline constexpr char kTargetIsSource[] = "the target '%s' is a source of this run";

// Usage errors.
inline constexpr char kInvalidRule[] = "invalid rule '%s' (png, jpeg or pngquant)";
inline constexpr char kInvalidQuality[] = "invalid quality '%s' (a whole number from 0 to 100)";
inline constexpr char kInvalidJobs[] = "invalid number of jobs '%s' (a whole number from 1 to 256)";
inline constexpr char kInvalidPpi[] = "invalid ppi '%s' (a whole number from 96 to 600)";
inline constexpr char kInvalidBackground[] =
    "invalid background '%s' (six hexadecimal digits RRGGBB)";
inline constexpr char kInvalidToolTime[] =
    "invalid tool time '%s' (seconds per megapixel, a whole number from 0 to 3600)";
inline constexpr char kInvalidMemoryLimit[] =
    "invalid memory limit '%s' (mebibytes, a whole number from 16 to 1048576)";
inline constexpr char kOutputTwice[] = "--output given twice";
inline constexpr char kUnknownOption[] = "unknown option '%s'";
inline constexpr char kNeedsValue[] = "option '%s' needs a value";
inline constexpr char kTakesNoValue[] = "option '%s' takes no value";
inline constexpr char kNoSource[] = "no source document given";
inline constexpr char kOutputNeedsOneSource[] = "--output needs exactly one source document";
inline constexpr char kEmptySource[] = "empty source document name";
inline constexpr char kOutputDirTwice[] = "--output-dir given twice";
inline constexpr char kReportTwice[] = "--report given twice";
inline constexpr char kOutputAndOutputDir[] = "--output and --output-dir exclude each other";
inline constexpr char kEmptyName[] = "option '%s' needs a name, not an empty text";

}  // namespace velmora::cli_text
