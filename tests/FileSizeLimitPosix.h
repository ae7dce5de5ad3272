// A file size limit for the current process while the object lives, so a
// test can make the system refuse the rest of a write (POSIX only).
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "Process.h"

namespace qx::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

// RunProcess with a file size limit for the child: its writes past the
// limit fail as they would on a full disk.
ProcessResult RunProcessWithFileSizeLimit(const std::string& program, const std::vector<std::string>& args,
                                          const std::string& workingDir, std::uint64_t fileSizeLimit);

}  // namespace qx::test
