// Splitting a process command line into parameters, the way the programs
// read their own command line on Windows.
#pragma once

#include <string>
#include <vector>

namespace qx {

// Splits `commandLine` into parameters:
// - bytes 0x01 to 0x20 (blanks and control characters) separate parameters;
// - a double quote opens a group that runs to the next double quote (or the
//   end); blanks inside it belong to the parameter, the quotes do not;
// - a pair of double quotes at the start of a parameter is skipped like a
//   blank, so "" never yields an empty parameter;
// - backslashes are ordinary bytes (C:\dir\ keeps its final backslash).
// Splitting ends at the end of the text or at the first empty parameter
// (a lone double quote at the very end). Element 0 is the program as written.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace qx
