// The unpacker on arbitrary bytes. The first byte picks the layout (even:
// long entries, odd: short entries); the rest is written as the archive file
// and unpacked by the real UnpackArchive, image entries included (through the
// palette templates the build puts beside this executable).
//
// Properties checked on every input:
// - the only failures are the tools' own errors (qx::Exception); anything
//   else escapes and ends the run;
// - nothing is written outside the output folder: the folder that holds it
//   contains the output folder alone afterwards, and the scratch folder still
//   holds just the archive and that folder;
// - an archive whose tables cannot be read leaves no output folder behind.
#include <fstream>

#include "ArchiveFormat.h"
#include "FuzzCommon.h"
#include "QxExceptions.h"
#include "QxProgram.h"
#include "QxSysUtils.h"
#include "Unpacker.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

const unpack::UnpackerSpec kLong{"Fennloose", archive::kLongLayout, "H2Palette.bmp"};
const unpack::UnpackerSpec kShort{"Morrloose", archive::kShortLayout, "H1Palette.bmp"};

// True when the count and the tables fit the file, so that the unpacker gets
// as far as creating the output folder.
bool TablesFit(const std::uint8_t* data, std::size_t size, std::size_t entrySize) {
  if (size < 2) return false;
  const std::size_t count = data[0] | (data[1] << 8);
  return 2 + count * entrySize <= size && count * archive::kNameSlotSize <= size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitLeadByteTable();
  InitAppFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unpack::UnpackerSpec& spec = (data[0] & 1) ? kShort : kLong;
  const std::uint8_t* bytes = data + 1;
  const std::size_t length = size - 1;

  const fs::path& scratch = ScratchFolder("archive");
  const fs::path archivePath = scratch / "in.agg";
  const fs::path box = scratch / "box";
  const fs::path out = box / "out";
  {
    std::ofstream file(archivePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
  }
  fs::create_directories(box);

  ToolRun run(spec.name);
  bool failed = false;
  try {
    unpack::UnpackArchive(run, spec, archivePath.string(), out.string() + "/");
  } catch (const Exception&) {
    failed = true;
  }

  const std::set<std::string> inBox = ListTree(box);
  for (const std::string& name : inBox) {
    QX_FUZZ_CHECK(name == "out" || name.rfind("out/", 0) == 0);
  }
  QX_FUZZ_CHECK((ListTree(scratch).size() == inBox.size() + 2));
  if (!TablesFit(bytes, length, spec.layout.entrySize)) {
    QX_FUZZ_CHECK(failed && inBox.empty());
  }
  // A run that succeeds names no entry; one that fails inside an entry names it.
  if (!failed) QX_FUZZ_CHECK(run.current.empty());

  std::error_code ec;
  fs::remove_all(out, ec);
  return 0;
}
