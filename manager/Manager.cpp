#include "Manager.h"

#include <exception>
#include <cstdio>
#include <new>

#include "Commands.h"
#include "Platform.h"
#include "QxSysUtils.h"
#include "QxVersion.h"

namespace qx::manager {

namespace {

constexpr const char* kVersionText = "qxarc " QX_VERSION "\n";


constexpr const char* kPackDetails =
    "\nPacks every file of FOLDER (not its subfolders) as Fennbind and Morrbind do:\n"
    "\".bmp\" files become image records, \"X.bkg.bmp\" is stored as \"X.bkg\", names\n"
    "are cut to 14 bytes. The entries follow the byte order of the file names, so\n"
    "the same folder always gives the same archive. With --order-of OLD, the files\n"
    "whose stored names are entries of the archive OLD come first, in OLD's order,\n"
    "and the others follow in name order. The layout is long unless --layout says\n"
    "short; a short archive whose files share a hash ID is written and the files\n"
    "are named in a warning.\n";

constexpr const char* kUpdateDetails =
    "\nAdds each FILE under its bare name, converted as pack converts it. The first\n"
    "entry of the same stored name gets the new data in its place; a new name is\n"
    "added at the end, in operand order. Every other entry keeps its name, hash and\n"
    "bytes. An ARCHIVE that does not exist is created (long layout unless --layout\n"
    "says short). The archive is replaced only when the new one is complete.\n";

constexpr const char* kDeleteDetails =
    "\nRemoves every entry that matches a NAME (\"*\" matches any run of bytes, \"?\"\n"
    "any one byte). When a NAME matches no entry, it is reported and the archive is\n"
    "left as it was. Every other entry keeps its name, hash and bytes.\n";

std::string CommandUsage(const Command& command) {
  return std::string("usage: ") + kProgramName + " " + command.name + " " + command.usage + "\n";
}

std::string OverallUsage() {
  std::string text = "usage: qxarc COMMAND [OPTION...] ARCHIVE [OPERAND...]\n"
                     "       qxarc --help | --version | COMMAND --help\n\ncommands:\n";
  for (const Command& command : Commands()) {
    std::string name = command.name;
    name.resize(10, ' ');
    text += "  " + name + command.summary + "\n";
  }
  text +=
      "\nWithout --layout the layout (long: 12-byte entries, short: 10-byte entries) is\n"
      "detected: the layout whose tables fit the file and whose stored hashes match\n"
      "more entry names wins; when neither fits, or both fit equally, name it.\n"
      "pack, update and delete put a new archive in place only once it is complete.\n"
      "Exit status: 0 success, 1 failure or a problem found, 2 usage error.\n";
  return text;
}

int ReportUsage(const std::string& message, const std::string& usage) {
  WriteError(message);
  std::fputs(usage.c_str(), stderr);
  return kExitUsage;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands{
      {"list", "[--layout long|short] [--json] ARCHIVE", "list the entries",
       {{"--layout", true}, {"--json", false}}, RunList},
      {"test", "[--layout long|short] [--json] ARCHIVE", "check the whole archive",
       {{"--layout", true}, {"--json", false}}, RunTest},
      {"extract", "[--layout long|short] [-C FOLDER] [--palette FILE | --raw] [-O] ARCHIVE [NAME...]",
       "write entries to files (or to standard output)",
       {{"--layout", true}, {"-C", true}, {"--palette", true}, {"--raw", false}, {"-O", false}},
       RunExtract},
      {"pack", "[--layout long|short] [--order-of OLD] ARCHIVE FOLDER",
       "pack the files of a folder, in name order or in the order of an archive",
       {{"--layout", true}, {"--order-of", true}}, RunPack, kPackDetails},
      {"update", "[--layout long|short] ARCHIVE FILE...", "replace or add entries, keeping the others",
       {{"--layout", true}}, RunUpdate, kUpdateDetails},
      {"delete", "[--layout long|short] ARCHIVE NAME...", "remove entries, keeping the others",
       {{"--layout", true}}, RunDelete, kDeleteDetails},
  };
  return commands;
}

int RunManager(int argc, char** argv) {
  InitLeadByteTable();
  InitAppFolder();
  // Bytes written by -O and every line reach the caller unchanged.
  os::SetBinaryStandardStreams();
  std::vector<std::string> words = os::CommandLine(argc, argv);
  if (!words.empty()) words.erase(words.begin());
  if (words.empty()) return ReportUsage("no command given", OverallUsage());
  const std::string first = words.front();
  if (first == "--help") {
    WriteOut(OverallUsage());
    return kExitSuccess;
  }
  if (first == "--version") {
    WriteOut(kVersionText);
    return kExitSuccess;
  }
  const Command* command = nullptr;
  for (const Command& candidate : Commands()) {
    if (first == candidate.name) command = &candidate;
  }
  if (command == nullptr) return ReportUsage("unknown command " + Quoted(first), OverallUsage());
  words.erase(words.begin());

  try {
    const Arguments args = ParseArguments(words, command->options);
    if (args.help) {
      WriteOut(CommandUsage(*command) + command->details);
      return kExitSuccess;
    }
    const int status = command->run(args);
    std::fflush(stdout);
    if (std::ferror(stdout)) throw EWriteError("cannot write to standard output");
    return status;
  } catch (const UsageError& error) {
    return ReportUsage(std::string(command->name) + ": " + error.Message(), CommandUsage(*command));
  } catch (const Exception& error) {
    WriteError(InContext(error.Message()));
  } catch (const std::bad_alloc&) {
    WriteError(InContext(kOutOfMemory));
  } catch (const std::exception& error) {
    WriteError(InContext(error.what()));
  }
  return kExitFailure;
}

}  // namespace qx::manager
