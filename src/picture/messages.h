#pragma once
// The process log's lines about one picture. They are kept letter for letter,
// misspellings included ("modifing"), because users and their tools search logs for
// them: do not correct or reword them. Formats are printf formats.

namespace velmora::picture_text {

inline constexpr char kEmbeddedIs[] = "embedded %d is %s";  // number, kind name
inline constexpr char kReadFailed[] = "reading embedded failed. original file is to be written";
inline constexpr char kRewrittenUsed[] = "rewritten file is to be written";
inline constexpr char kOriginalUsed[] = "original file is to be written";
inline constexpr char kWritingFinished[] = "writing `%s` finished";

inline constexpr char kModifyingExif[] = "modifing exif...";
inline constexpr char kCreatingExif[] = "creating exif...";
inline constexpr char kExifTooLarge[] = "exif block too large, left out";

inline constexpr char kWritingPngQuant[] = "writing PNGquant...";
inline constexpr char kWritingPng[] = "writing PNG...";
inline constexpr char kConvertingToPngQuant[] = "converting to PNGquant...";
inline constexpr char kConvertingToPng[] = "converting to PNG...";
inline constexpr char kConvertingToJpeg[] = "converting to JPEG...";

inline constexpr char kAnimationKept[] = "frame count > 1, original file is to be written";
inline constexpr char kAnimationToGifsicle[] = "frame count > 1, trying GIFsicle";

inline constexpr char kAnimatedPngKept[] = "animated PNG (acTL), original file is to be written";
inline constexpr char kOverMemoryBudget[] =
    "picture of %dx%d needs about %llu MiB, over the memory budget of %u MiB: "
    "original file is to be written";
inline constexpr char kPngToolTimedOut[] =
    "zopflipng stopped after its time budget of %.0f s, the PNG written before it is used";
inline constexpr char kGifToolTimedOut[] =
    "gifsicle stopped after its time budget of %.0f s, original file is to be written";

inline constexpr char kFailedVerification[] =
    "rewritten file failed verification (%s), original file is to be written";
inline constexpr char kProcessingFailed[] =
    "processing embedded failed (%s), original file is to be written";

// The lossless passes: the kind's name, bytes before and after.
inline constexpr char kLosslessSmaller[] = "lossless %s: %lld -> %lld bytes, rewritten file is to be written";
inline constexpr char kLosslessNotSmaller[] = "lossless %s: nothing smaller, original file is to be written";
inline constexpr char kLosslessUnreadable[] = "lossless %s: not readable whole, original file is to be written";

// Reasons of a failed verification.
inline constexpr char kNoReaderFor[] = "no reader for output kind %d";
inline constexpr char kOriginalUnreadable[] = "original cannot be read for comparison";
inline constexpr char kReaderStatus[] = "%s reader status %d";
inline constexpr char kOtherSize[] = "%s is %dx%d, original %dx%d";
inline constexpr char kOtherFrames[] = "%s has %d frame(s), original %d";
inline constexpr char kAnimatedOriginal[] = "original is an animated PNG";

// Pictures at the resolution they are printed at (--ppi): one line per picture.
inline constexpr char kResampling[] = "resampling %dx%d to %dx%d for %d ppi";
inline constexpr char kResolutionKept[] = "resolution %dx%d kept for %d ppi: %s";
// The reasons of kResolutionKept.
inline constexpr char kKeptLayoutUnread[] = "the document's layout could not be read (%s)";
inline constexpr char kKeptNotShown[] = "no picture frame shows it";
inline constexpr char kKeptOtherUse[] = "it is also used by <%s>, whose printed size is not read";
inline constexpr char kKeptFrameUnread[] = "a frame's printed size cannot be read (<%s>)";
inline constexpr char kKeptCropNotMapped[] = "its crop cannot be mapped exactly onto its pixels";
inline constexpr char kKeptSmallerThanNeed[] = "its largest frame needs %dx%d";
inline constexpr char kKeptSavesTooLittle[] = "%dx%d would save less than 20%% of its pixels";
inline constexpr char kKeptAnimated[] = "it is animated";
inline constexpr char kKeptTooLarge[] = "it is too large to resample";
inline constexpr char kKeptFailed[] = "resampling failed (status %s)";
inline constexpr char kKeptLarger[] = "resampled it is larger (%s)";
// The sizes behind kKeptLarger: the resampled file's and the file's at its own size.
inline constexpr char kLargerSizes[] = "%d bytes, %d at its own size";
// Reasons of a failed verification of a resampled picture.
inline constexpr char kOtherThanComputed[] = "%s is %dx%d, computed %dx%d";
inline constexpr char kNotForResampling[] = "resampled, but its size needs no change";

}  // namespace velmora::picture_text
