#pragma once
// HWPML documents (".hml"): one XML file whose BINDATALIST lists the embedded items
// and whose BINDATASTORAGE holds each item's bytes as Base64 text, optionally
// raw-deflate compressed first.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "core/job.h"
#include "core/log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "image/embedded_picture.h"
#include "platform/platform.h"

namespace velmora {

// Shrinks the pictures of an HWPML document into the target. failedInflations counts
// compressed items whose data could not be inflated. The target is written only
// whole: a failure leaves no target, and an existing target untouched.
ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                            JobHost* host, int& failedInflations);

// How the processor recognises and recompresses one picture; ShrinkHwpml uses
// DetectPictureKind and ProcessEmbeddedPicture. Tests give their own.
struct PictureHandlers {
  std::function<int(const std::string& path)> detect;
  std::function<int(EmbeddedPicture& picture, const ShrinkOptions& options, CCreateLog& log,
                    CTempFiles& temp)>
      process;
};
PictureHandlers StandardPictureHandlers();

ProcessorResult ShrinkHwpmlWith(const std::string& source, const std::string& target,
                                const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                                JobHost* host, int& failedInflations,
                                const PictureHandlers& handlers);

// Copies the source bytes first through last inclusive in chunks of at most 64 KiB.
// Nothing to copy when last < first. False when the source ends before the range does
// or the target refuses the bytes.
bool CopyRange(std::FILE* source, int64_t first, int64_t last, platform::AtomicFile& target);

}  // namespace velmora
