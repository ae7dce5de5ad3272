// The common shape of the four programs: the command line, the usage box,
// ":copyexe", one error handler around the job, and the exit status.
#pragma once

#include <functional>
#include <string>

namespace qx {

inline constexpr const char* kSuccessText = "Operation succesful.";
inline constexpr const char* kCopyExeCommand = ":copyexe";

// One run of a tool: its name (the caption of every box) and the name of the
// file or entry being worked on, which error reports append.
class ToolRun {
 public:
  explicit ToolRun(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }

  // The current file (packers) or entry name (unpackers); empty when none.
  std::string current;

  // Shows message + "." or message + ".\r\n" + current in an error box.
  void ReportError(const std::string& message) const;
  void ShowInformation(const std::string& text) const;

 private:
  std::string name_;
};

// The text of the usage box for a program name.
std::string UsageText(const std::string& name);

// The folder a program works in when none is given: the archive path without
// its extension (the current folder for a name that is only an extension),
// with a trailing delimiter.
std::string DefaultFolder(const std::string& archive);

// The job of a program: archive path and folder path (ending in a
// delimiter). It raises qx::Exception on failure.
using ToolJob =
    std::function<void(ToolRun& run, const std::string& archive, const std::string& folder)>;

// Runs a program from its command line and returns the process exit status:
// 0 for usage, ":copyexe" and success, 1 after an error box.
int RunTool(const std::string& name, int argc, char** argv, const ToolJob& job);

}  // namespace qx
