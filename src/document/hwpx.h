#pragma once
// HWPX packages: a zip archive whose manifest Contents/content.hpf lists the
// embedded pictures stored under BinData/.

#include <string>

#include "core/job_host.h"
#include "document/processor_result.h"
#include "core/process_log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "core/worker_pool.h"
#include "picture/embedded_picture.h"

namespace velmora {

// Shrinks the pictures of an HWPX package into the target. All changes are made on a
// temporary working copy; the target is replaced only by a complete package.
// The pictures are processed by the pool (one at a time, in order, without one).
ProcessorResult ShrinkHwpx(const std::string& source, const std::string& target,
                           const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                           JobHost* host, WorkerPool* pool = nullptr);

// The same with a chosen picture processor in place of the standard one.
ProcessorResult ShrinkHwpxWith(const std::string& source, const std::string& target,
                               const ShrinkOptions& options, ProcessLog& log, TempFiles& temp,
                               JobHost* host, const PictureProcessor& processPicture,
                               WorkerPool* pool = nullptr);

// Largest manifest and picture entry the processor reads; an archive can claim any
// uncompressed size, and larger entries are left as they are.
constexpr uint64_t kMaxManifestBytes = 64ull << 20;
constexpr uint64_t kMaxPictureBytes = 1ull << 31;

}  // namespace velmora
