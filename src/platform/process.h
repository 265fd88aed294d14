#pragma once
// Child processes for the external optimisers: started directly with an argument
// vector, at lower priority, with their console output drained and discarded.

#include <atomic>
#include <string>
#include <vector>

namespace platform {

// True when the file is in this system's executable format (ELF here, PE on Windows)
// and this process may execute it.
bool IsExecutableImage(const std::string& path);

// How a run of a child program ended.
enum class RunResult {
  kNotStarted,  // the program could not be started
  kFinished,    // it ended by itself (its exit status is not looked at)
  kStopped,     // the stop flag or the process's stop request ended it
  kTimedOut,    // its time limit was spent and it was ended
};

// Runs program with the arguments (argv[1...]) to its end, reading and discarding
// everything it writes to standard output and standard error. Standard input is
// empty. While it runs, the stop flag and the process's stop request (platform.h)
// are polled every pollMilliseconds, and the time limit is checked; when either
// says so, the child is killed and waited for. timeLimitMilliseconds <= 0: no limit.
RunResult RunAndDrain(const std::string& program, const std::vector<std::string>& arguments,
                      const std::atomic<bool>& stop, int pollMilliseconds,
                      double timeLimitMilliseconds = 0);

// Where the optimisers live below the program's folder.
std::string ZopflipngRelativePath();
std::string GifsicleRelativePath();
// The file name of a program on this system ("zopflipng", "zopflipng.exe").
std::string ExecutableName(const std::string& name);

// Where on the PATH a program name is found: every PATH directory joined with name.
std::vector<std::string> PathCandidates(const std::string& name);

}  // namespace platform
