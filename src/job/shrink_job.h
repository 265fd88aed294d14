#pragma once
// The job driver: one source document, one target document, one option set, one
// message for the user at the end. It is the only code that knows both document
// forms.

#include <cstdint>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/options.h"
#include "core/worker_pool.h"
#include "picture/embedded_picture.h"

namespace velmora {

// How a job ended.
enum class JobStatus {
  kWritten,   // the target was written
  kMeasured,  // a dry run: the target was built among the temporary files and removed
  kFailed,    // no target; the message says why
};

// What a job did, for a caller that keeps an account of several jobs.
struct JobResult {
  JobStatus status = JobStatus::kFailed;
  std::string message;       // as the host was shown it
  int64_t sourceBytes = -1;  // -1 when the size is not known
  int64_t targetBytes = -1;  // of the target as written, or as a dry run built it
  double seconds = 0;
  std::vector<PictureRecord> pictures;  // every embedded item, in document order

  bool Succeeded() const { return status != JobStatus::kFailed; }
};

// Runs one job. Every outcome reaches the user through host.ShowMessage, exactly
// once; the return value says whether the target was written (or, in a dry run,
// built). The pictures are processed by a pool of options.workers.
bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host);
// The same with a pool that several jobs share.
bool RunShrinkJob(const std::string& source, const std::string& target,
                  const ShrinkOptions& options, JobHost& host, WorkerPool& pool);
// The same, with everything the job learnt.
JobResult RunShrinkJobWithResult(const std::string& source, const std::string& target,
                                 const ShrinkOptions& options, JobHost& host, WorkerPool& pool);

}  // namespace velmora
