// A stand-in for the external optimisers, built with the tests. It accepts both tools'
// command lines (zopflipng: --keepchunks=... IN OUT; gifsicle: -O3 -o OUT IN) and
// behaves as VELMORA_STANDIN_MODE says, so that every way a tool can fail is tested:
//   copy       copy the input to the output (a valid result)
//   nothing    write nothing
//   garbage    write bytes that are no picture
//   truncated  write the first half of the input
//   noisy      print several megabytes to both streams, then copy
//   killed     write half of the input, then kill itself
//   killfirst  as killed for the first run that claims the marker file named by
//              VELMORA_STANDIN_MARKER, as copy for every other run (while the first
//              is being killed the others go on)
//   crash      abort without writing
//   hang       never end (until it is stopped)
//   other      write a complete picture that is not the input's: the file named by
//              VELMORA_STANDIN_PNG (zopflipng) or VELMORA_STANDIN_GIF (gifsicle)
//   nice       write its scheduling priority to the output once it differs from its
//              parent's (the runner lowers it just after the start), or after 10 s
// With VELMORA_STANDIN_ARGS set, it also writes its arguments there, one per line.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* log = std::getenv("VELMORA_STANDIN_ARGS")) {
    std::ofstream out(log, std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
  }
  std::string input, output;
  const bool zopflipng = argc == 4;
  if (argc == 4 && std::string(argv[1]).rfind("--keepchunks=", 0) == 0) {
    input = argv[2], output = argv[3];
  } else if (argc == 5 && std::string(argv[1]) == "-O3" && std::string(argv[2]) == "-o") {
    output = argv[3], input = argv[4];
  } else {
    std::fprintf(stderr, "stand-in: unexpected arguments\n");
    return 2;
  }
  const char* modeText = std::getenv("VELMORA_STANDIN_MODE");
  const std::string mode = modeText != nullptr ? modeText : "copy";
  const std::string bytes = ReadAll(input);
  if (mode == "copy") {
    Write(output, bytes);
  } else if (mode == "nothing") {
  } else if (mode == "garbage") {
    Write(output, std::string(4096, '\x5A'));
  } else if (mode == "truncated") {
    Write(output, bytes.substr(0, bytes.size() / 2));
  } else if (mode == "noisy") {
    const std::string line(1023, 'x');
    for (int i = 0; i < 4096; ++i) {
      std::fprintf(stdout, "%s\n", line.c_str());
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    Write(output, bytes);
  } else if (mode == "killed") {
    Write(output, bytes.substr(0, bytes.size() / 2));
    ::raise(SIGKILL);
  } else if (mode == "killfirst") {
    const char* marker = std::getenv("VELMORA_STANDIN_MARKER");
    const int claimed = marker != nullptr ? ::open(marker, O_CREAT | O_EXCL | O_WRONLY, 0600) : -1;
    if (claimed >= 0) {
      ::close(claimed);
      Write(output, bytes.substr(0, bytes.size() / 2));
      ::usleep(200000);  // long enough for the other runs to start beside it
      ::raise(SIGKILL);
    }
    Write(output, bytes);
  } else if (mode == "crash") {
    std::abort();
  } else if (mode == "hang") {
    for (;;) ::pause();
  } else if (mode == "nice") {
    const int parent = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getppid()));
    int now = ::getpriority(PRIO_PROCESS, 0);
    for (int i = 0; i < 1000 && now == parent; ++i) {
      ::usleep(10000);
      now = ::getpriority(PRIO_PROCESS, 0);
    }
    Write(output, std::to_string(now));
  } else if (mode == "other") {
    const char* other = std::getenv(zopflipng ? "VELMORA_STANDIN_PNG" : "VELMORA_STANDIN_GIF");
    if (other != nullptr) Write(output, ReadAll(other));
  }
  return 0;
}
