#pragma once
// Child processes for the external optimisers: started directly with an argument
// vector, at lower priority, with their console output drained and discarded.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// True when the file is in this system's executable format (ELF here, PE on Windows)
// and this process may execute it.
bool IsExecutableImage(const std::string& path);

// How long a tool may run. A tool that hangs (on a hostile picture, or for any other
// reason) would otherwise hold the job forever; one that is ended leaves no output
// or an incomplete one, which the callers' checks throw away, so the job goes on with
// the file the program wrote itself.
constexpr int64_t kToolTimeLimitMilliseconds = 10 * 60 * 1000;

// Runs program with the arguments (argv[1...]) to its end, reading and discarding
// everything it writes to standard output and standard error. Standard input is
// empty. Returns false when the program could not be started. While it runs, the
// stop flag is polled every pollMilliseconds; once set, or once the child has run
// for timeLimitMilliseconds, the child is ended.
bool RunAndDrain(const std::string& program, const std::vector<std::string>& arguments,
                 const std::atomic<bool>& stop, int pollMilliseconds,
                 int64_t timeLimitMilliseconds = kToolTimeLimitMilliseconds);

// Where the optimisers live below the program's folder.
std::string ZopflipngRelativePath();
std::string GifsicleRelativePath();
// The file name of a program on this system ("zopflipng", "zopflipng.exe").
std::string ExecutableName(const std::string& name);

// Where on the PATH a program name is found: every PATH directory joined with name.
std::vector<std::string> PathCandidates(const std::string& name);

}  // namespace platform
