// Runs a built program as a child process, the way a user or script would.
#pragma once

#include <string>
#include <vector>

namespace qx::test {

struct ProcessResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
  long peakMemoryKiB = -1;  // peak resident memory of the child; -1 where unknown
};

// Runs `program` with `args` in the folder `workingDir` and waits for it.
// Each argument reaches the program as one parameter, blanks included.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir);

// True where the programs' message boxes reach standard output and standard
// error (POSIX). Under Windows a message box is a window, and tests check
// files and exit status only.
bool ProgramsPrintMessages();

}  // namespace qx::test
