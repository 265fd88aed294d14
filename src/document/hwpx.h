#pragma once
// HWPX packages: a zip archive whose manifest Contents/content.hpf lists the
// embedded pictures stored under BinData/.

#include <string>

#include "core/job.h"
#include "core/log.h"
#include "core/options.h"
#include "core/temp_files.h"
#include "image/embedded_picture.h"

namespace velmora {

// Shrinks the pictures of an HWPX package into the target. All changes are made on a
// temporary working copy; the target is replaced only by a complete package.
ProcessorResult ShrinkHwpx(const std::string& source, const std::string& target,
                           const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                           JobHost* host);

// The same with a chosen picture processor in place of ProcessEmbeddedPicture.
ProcessorResult ShrinkHwpxWith(const std::string& source, const std::string& target,
                               const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                               JobHost* host, const PictureProcessor& processPicture);

// Largest manifest and picture entry the processor reads; an archive can claim any
// uncompressed size, and larger entries are left as they are.
constexpr uint64_t kMaxManifestBytes = 64ull << 20;
constexpr uint64_t kMaxPictureBytes = 1ull << 31;

}  // namespace velmora
