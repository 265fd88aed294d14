#pragma once
// HWPML documents (".hml"): one XML file whose BINDATALIST lists the embedded items
// and whose BINDATASTORAGE holds each item's bytes as Base64 text, optionally
// raw-deflate compressed first.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "core/job_host.h"
#include "document/processor_result.h"
#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "core/worker_pool.h"
#include "picture/embedded_picture.h"
#include "platform/platform.h"

namespace velmora {

// Shrinks the pictures of an HWPML document into the target. failedInflations counts
// compressed items whose data could not be inflated. The target is written only
// whole: a failure leaves no target, and an existing target untouched.
// The pictures are processed by the pool (one at a time, in order, without one).
ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                            JobHost* host, int& failedInflations, WorkerPool* pool = nullptr);

// How the processor recognises and recompresses one picture; ShrinkHwpml uses
// DetectPictureKind and the standard picture processor. Tests give their own.
struct PictureHandlers {
  std::function<std::optional<PictureKind>(const std::string& path)> detect;
  PictureProcessor process;
};
PictureHandlers StandardPictureHandlers();

ProcessorResult ShrinkHwpmlWith(const std::string& source, const std::string& target,
                                const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                                JobHost* host, int& failedInflations,
                                const PictureHandlers& handlers, WorkerPool* pool = nullptr);

// Copies the source bytes first through last inclusive in chunks of at most 64 KiB.
// Nothing to copy when last < first. False when the source ends before the range does
// or the target refuses the bytes.
bool CopyRange(std::FILE* source, int64_t first, int64_t last, platform::AtomicFile& target);

}  // namespace velmora
