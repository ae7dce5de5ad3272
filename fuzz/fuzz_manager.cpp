// qxarc's reading commands on arbitrary bytes: list (text and JSON), test
// (JSON) and extract, each with the layout detected or given. The first byte
// picks the layout option (0: detected, 1: long, 2: short, others: detected);
// the rest is the archive file.
//
// Properties checked on every input:
// - the only failures are the tools' own errors (qx::Exception other than a
//   usage error); anything else escapes and ends the run;
// - every command returns 0 or 1;
// - extract writes nothing outside its output folder;
// - extract of all entries succeeds exactly when the unpacker of the layout
//   succeeds (when no entry name is unsafe, so the unpacker does not stop),
//   and then both write the same files with the same bytes.
#include <fstream>
#include <iterator>

#include "ArchiveReader.h"
#include "Commands.h"
#include "FuzzCommon.h"
#include "ImageExport.h"
#include "QxExceptions.h"
#include "QxProgram.h"
#include "QxSysUtils.h"
#include "Unpacker.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

// Runs one command; false when it failed with one of the tools' errors.
bool RunCommand(int (*command)(const manager::Arguments&), manager::Arguments args) {
  try {
    const int status = command(args);
    QX_FUZZ_CHECK(status == manager::kExitSuccess || status == manager::kExitFailure);
    return status == manager::kExitSuccess;
  } catch (const manager::UsageError&) {
    Fail("a well-formed command line was refused");
  } catch (const Exception&) {
    return false;
  }
}

std::vector<std::uint8_t> Contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitLeadByteTable();
  InitAppFolder();
  // The listings are not what is checked here; keep the run quiet.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) Fail("cannot silence standard output");
  static std::FILE* quiet = std::fopen("/dev/null", "w");
  manager::SetMessageStream(quiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char* layouts[] = {nullptr, "long", "short"};
  const char* layout = data[0] < 3 ? layouts[data[0]] : nullptr;

  const fs::path& scratch = ScratchFolder("manager");
  const fs::path archivePath = scratch / "in.agg";
  const fs::path box = scratch / "box";
  const fs::path out = box / "out";
  const fs::path reference = scratch / "ref";
  {
    std::ofstream file(archivePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  fs::create_directories(box);

  manager::Arguments base;
  base.operands = {archivePath.string()};
  if (layout != nullptr) base.values["--layout"] = layout;
  manager::Arguments json = base;
  json.flags["--json"] = true;
  RunCommand(manager::RunList, base);
  RunCommand(manager::RunList, json);
  RunCommand(manager::RunTest, json);
  manager::Arguments extract = base;
  extract.values["-C"] = out.string();
  const bool extracted = RunCommand(manager::RunExtract, extract);
  manager::CurrentContext() = {};

  for (const std::string& name : ListTree(box)) {
    QX_FUZZ_CHECK(name == "out" || name.rfind("out/", 0) == 0);
  }

  // The unpacker of the layout extract used, on the same file.
  const archive::Layout* used = nullptr;
  if (layout != nullptr) {
    used = layout[0] == 'l' ? &archive::kLongLayout : &archive::kShortLayout;
  } else {
    TFileStream file(archivePath.string(), TFileStream::Mode::OpenRead);
    used = archive::DetectLayout(file).layout;
  }
  if (used != nullptr) {
    bool safe = true;
    try {
      archive::ArchiveReader reader(archivePath.string(), *used);
      for (const archive::Entry& entry : reader.Entries()) {
        safe = safe && archive::IsSafeEntryName(entry.name, os::RefusesDeviceNames());
      }
    } catch (const Exception&) {
    }
    const unpack::UnpackerProgram program{"fuzz", *used, used == &archive::kLongLayout
                                                             ? unpack::kLongPaletteTemplate
                                                             : unpack::kShortPaletteTemplate};
    ToolRun run(program.name);
    bool unpacked = true;
    try {
      unpack::UnpackArchive(run, program, archivePath.string(), reference.string() + "/");
    } catch (const Exception&) {
      unpacked = false;
    }
    if (safe) {
      QX_FUZZ_CHECK(extracted == unpacked);
      if (extracted) {
        const std::set<std::string> written = ListTree(out);
        QX_FUZZ_CHECK(written == ListTree(reference));
        for (const std::string& name : written) {
          if (fs::is_regular_file(out / name)) QX_FUZZ_CHECK(Contents(out / name) == Contents(reference / name));
        }
      }
    }
  }

  std::error_code ec;
  fs::remove_all(out, ec);
  fs::remove_all(reference, ec);
  return 0;
}
