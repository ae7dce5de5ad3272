#include "QxProgram.h"

#include <exception>
#include <new>

#include "QxExceptions.h"
#include "QxSysUtils.h"
#include "QxVersion.h"

namespace qx {

namespace {

constexpr const char* kVersion = " v" QX_VERSION;
constexpr const char* kCreditLines =
    "qxarc: tools for .agg resource archives\r\n"
    "Web: none; see README.md beside the sources\r\n"
    "E-mail: none; report problems as README.md describes";

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

}  // namespace

void ToolRun::ReportError(const std::string& message) const {
  const std::string text = current.empty() ? message + "." : message + ".\r\n" + current;
  ShowMessageBox(text, name_, os::MessageIconError);
}

void ToolRun::ShowInformation(const std::string& text) const {
  ShowMessageBox(text, name_, os::MessageIconInformation);
}

std::string UsageText(const std::string& name) {
  return name + kVersion + "\r\nUsage: " + name + os::ExecutableSuffix() +
         " Archive.agg [Folder]\r\nFolder defaults to the archive name without extension.\r\n\r\n" +
         kCreditLines;
}

std::string DefaultFolder(const std::string& archive) {
  std::string folder = ReplaceExtension(archive, "");
  // An archive named only by its extension packs the current folder, never
  // the root of the drive.
  if (folder.empty()) folder.push_back('.');
  return AddTrailingDelimiter(folder);
}

int RunTool(const std::string& name, int argc, char** argv, const ToolJob& job) {
  InitLeadByteTable();
  InitAppFolder();
  ToolRun run(name);
  const std::vector<std::string> params = os::CommandLine(argc, argv);
  const std::string archive = params.size() > 1 ? params[1] : std::string();
  if (archive.empty()) {
    run.ShowInformation(UsageText(name));
    return kExitSuccess;
  }
  if (archive == kCopyExeCommand) {
    // The outcome of the copy is deliberately not reported.
    os::CopyFile(os::ModuleFileName(), name + os::ExecutableSuffix(), false);
    return kExitSuccess;
  }
  try {
    const std::string folder = params.size() > 2 ? params[2] : std::string();
    job(run, archive, folder.empty() ? DefaultFolder(archive) : AddTrailingDelimiter(folder));
    run.ShowInformation(kSuccessText);
    return kExitSuccess;
  } catch (const Exception& e) {
    run.ReportError(e.Message());
  } catch (const std::bad_alloc&) {
    run.ReportError(kOutOfMemory);
  } catch (const std::exception& e) {
    // Not expected from the tools' own code; still a report, never a crash.
    run.ReportError(e.what());
  }
  return kExitFailure;
}

}  // namespace qx
