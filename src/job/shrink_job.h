#pragma once
// The job driver: one source document, one target document, one option set, one
// message for the user at the end. It is the only code that knows both document
// forms.

#include <string>

#include "core/job_host.h"
#include "core/options.h"
#include "core/worker_pool.h"

namespace velmora {

// Runs one job. Every outcome reaches the user through host.ShowMessage, exactly
// once; the return value says whether the target was written. The pictures are
// processed by a pool of options.workers.
bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host);
// The same with a pool that several jobs share.
bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host, WorkerPool& pool);

}  // namespace velmora
