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
// - an archive whose tables cannot be read leaves no output folder behind;
// - after a successful run every file holds what the archive says: the
//   entry's bytes, or for an image entry a BMP file with the record's size
//   and pixels (the last entry wins where names meet), and there are no
//   other files.
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "ArchiveFormat.h"
#include "FixtureArchive.h"
#include "FuzzCommon.h"
#include "QxExceptions.h"
#include "QxGraphics.h"
#include "QxProgram.h"
#include "QxSysUtils.h"
#include "Unpacker.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

const unpack::UnpackerProgram kLong{"Fennloose", archive::kLongLayout, "H2Palette.bmp"};
const unpack::UnpackerProgram kShort{"Morrloose", archive::kShortLayout, "H1Palette.bmp"};

// True when the count and the tables fit the file, so that the unpacker gets
// as far as creating the output folder.
bool TablesFit(const std::uint8_t* data, std::size_t size, std::size_t entrySize) {
  if (size < 2) return false;
  const std::size_t count = test::Get16(data);
  return test::EntryAt(count, entrySize) <= size && count * archive::kNameSlotSize <= size;
}

struct Expected {
  bool image = false;
  std::vector<std::uint8_t> bytes;  // entry data, or the record of an image
};

bool EndsWithNoCase(const std::string& name, const std::string& tail) {
  if (name.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = name[name.size() - tail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

// What each output file must hold, read from the archive independently of
// the unpacker, keyed by the file's path below the output folder.
std::map<std::string, Expected> ExpectedFiles(const std::uint8_t* data, std::size_t size,
                                              const archive::Layout& layout) {
  std::map<std::string, Expected> files;
  for (test::ParsedEntry& entry :
       test::ParseArchive(test::Bytes(data, data + size), layout.entrySize, test::Tables::MayOverlap)) {
    Expected e;
    e.bytes = std::move(entry.data);
    std::string path = entry.name;
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    if (EndsWithNoCase(entry.name, ".bkg")) path += ".bmp";
    e.image = EndsWithNoCase(entry.name, ".bmp") || EndsWithNoCase(entry.name, ".bkg");
    files[fs::path(path).lexically_normal().generic_string()] = std::move(e);
  }
  return files;
}

void CheckOutput(const fs::path& out, const std::map<std::string, Expected>& files) {
  std::error_code ec;
  for (const std::string& name : ListTree(out)) {
    if (fs::is_regular_file(out / name, ec)) QX_FUZZ_CHECK(files.count(name) == 1);
  }
  for (const auto& [name, e] : files) {
    const fs::path path = out / name;
    std::ifstream file(path, std::ios::binary);
    QX_FUZZ_CHECK(file.good());
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!e.image) {
      QX_FUZZ_CHECK(written == e.bytes);
      continue;
    }
    const std::int64_t width = test::Get16(e.bytes, 2);
    const std::int64_t height = test::Get16(e.bytes, 4);
    if (width == 0 || height == 0) {
      QX_FUZZ_CHECK(written.empty());
      continue;
    }
    std::unique_ptr<TBitmap> bitmap = LoadBitmapFile(path.string());
    QX_FUZZ_CHECK(bitmap->Width() == width && bitmap->Height() == height);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height));
    BitmapToBuffer(pixels.data(), pixels.size(), *bitmap);
    QX_FUZZ_CHECK(std::equal(pixels.begin(), pixels.end(), e.bytes.begin() + 6));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitLeadByteTable();
  InitAppFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unpack::UnpackerProgram& program = (data[0] & 1) ? kShort : kLong;
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

  ToolRun run(program.name);
  bool failed = false;
  try {
    unpack::UnpackArchive(run, program, archivePath.string(), out.string() + "/");
  } catch (const Exception&) {
    failed = true;
  }

  const std::set<std::string> inBox = ListTree(box);
  for (const std::string& name : inBox) {
    QX_FUZZ_CHECK(name == "out" || name.rfind("out/", 0) == 0);
  }
  QX_FUZZ_CHECK((ListTree(scratch).size() == inBox.size() + 2));
  if (!TablesFit(bytes, length, program.layout.entrySize)) {
    QX_FUZZ_CHECK(failed && inBox.empty());
  }
  // A run that succeeds names no entry, and wrote what the archive holds.
  if (!failed) {
    QX_FUZZ_CHECK(run.current.empty());
    CheckOutput(out, ExpectedFiles(bytes, length, program.layout));
  }

  std::error_code ec;
  fs::remove_all(out, ec);
  return 0;
}
