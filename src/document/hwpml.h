#pragma once
// HWPML documents (".hml"): one XML file whose pictures are Base64 text.

#include <string>

#include "core/job.h"
#include "core/log.h"
#include "core/options.h"
#include "core/temp_files.h"

namespace velmora {

// Shrinks the pictures of an HWPML document into the target. failedInflations counts
// compressed items whose data could not be inflated.
ProcessorResult ShrinkHwpml(const std::string& source, const std::string& target,
                            const ShrinkOptions& options, CCreateLog& log, CTempFiles& temp,
                            JobHost* host, int& failedInflations);

}  // namespace velmora
