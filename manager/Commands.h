// The commands of qxarc. Each takes its parsed arguments and returns the exit
// status; failures that end the command are exceptions, reported at the top.
#pragma once

#include <string>
#include <vector>

#include "Cli.h"

namespace qx::manager {

struct Command {
  const char* name;
  const char* usage;    // the operands and options after the command name
  const char* summary;  // one line for the overall help
  std::vector<OptionSpec> options;
  int (*run)(const Arguments& args);
};

// Every command, in the order the help lists them.
const std::vector<Command>& Commands();

int RunList(const Arguments& args);
int RunTest(const Arguments& args);
int RunExtract(const Arguments& args);

}  // namespace qx::manager
