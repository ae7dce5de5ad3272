#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <stdexcept>

#include "FileSizeLimitPosix.h"
#include "Process.h"

namespace qx::test {

namespace {

std::string Drain(int fd) {
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

ProcessResult RunProcessWithFileSizeLimit(const std::string& program, const std::vector<std::string>& args,
                                          const std::string& workingDir, std::uint64_t fileSizeLimit) {
  // Output goes to unlinked temporary files, so a chatty child never blocks
  // on a full pipe.
  char outName[] = "/tmp/qxout-XXXXXX";
  char errName[] = "/tmp/qxerr-XXXXXX";
  const int outFd = mkstemp(outName);
  const int errFd = mkstemp(errName);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("cannot make output files");
  unlink(outName);
  unlink(errName);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(workingDir.c_str()) != 0) _exit(127);
    if (fileSizeLimit > 0) {
      // Writes past the limit then fail with EFBIG instead of killing the child.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(fileSizeLimit);
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  ProcessResult result;
  result.peakMemoryKiB = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  lseek(outFd, 0, SEEK_SET);
  lseek(errFd, 0, SEEK_SET);
  result.out = Drain(outFd);
  result.err = Drain(errFd);
  close(outFd);
  close(errFd);
  return result;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir) {
  return RunProcessWithFileSizeLimit(program, args, workingDir, 0);
}

bool ProgramsPrintMessages() { return true; }

}  // namespace qx::test
