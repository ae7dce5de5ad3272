// The packers, run as a user runs them.
#include <algorithm>
#include <map>

#include "ArchiveFormat.h"
#include "QxSysUtils.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

struct Packer {
  const char* name;
  std::size_t entrySize;
  std::uint32_t (*hash)(const std::string&);
};

std::uint32_t LongHash(const std::string& n) { return archive::NameHash(n); }
std::uint32_t ShortHash(const std::string& n) { return archive::HashId(n); }

const Packer kPackers[] = {{"Fennbind", kLongEntry, LongHash}, {"Morrbind", kShortEntry, ShortHash}};

class PackerTest : public ProgramTest, public ::testing::WithParamInterface<Packer> {};

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 9));
  return b;
}

// Names of 1, 14, 15 and 20 bytes, an empty file, a file of several MiB and
// a hidden file; the subfolder and its file are not packed.
TEST_P(PackerTest, ArchiveIsLaidOutByteForByte) {
  const Packer p = GetParam();
  std::map<std::string, Bytes> files = {
      {"a", B("A")},
      {"fourteen_bytes", Pattern(100, 1)},
      {"fifteen_bytes.x", Pattern(7, 2)},
      {"twenty_bytes_name.tx", Pattern(33, 3)},
      {"empty.dat", {}},
      {"big.bin", Pattern(5 * 1024 * 1024 + 17, 4)},
      {".hidden", B("secret")},
  };
  MakeDir(dir / "Data/sub");
  WriteFile(dir / "Data/sub/inner.txt", "not packed");
  for (const auto& [name, bytes] : files) WriteFile(dir / ("Data/" + name), bytes);

  ExpectSuccess(Run(p.name, {"Data.agg"}));
  const Bytes archive = ReadFile(dir / "Data.agg");
  const std::vector<ParsedEntry> entries = ParseArchive(archive, p.entrySize);
  ASSERT_EQ(entries.size(), files.size());

  // Map each stored (cut) name back to its file; the order is the listing's.
  std::map<std::string, std::string> byStored;
  for (const auto& [name, bytes] : files) byStored[name.substr(0, 14)] = name;
  std::vector<FixtureEntry> layout;
  for (const ParsedEntry& e : entries) {
    ASSERT_TRUE(byStored.count(e.name)) << e.name;
    const std::string& full = byStored[e.name];
    const std::string stored = full.substr(0, 14);
    layout.push_back({B(stored), files[full], p.hash(stored)});
  }
  const Bytes expected = BuildArchive(layout, p.entrySize);
  EXPECT_TRUE(archive == expected) << "archive differs from the layout (" << archive.size() << " vs "
                                   << expected.size() << " bytes)";
}

TEST_P(PackerTest, EmptyFolderGivesTwoZeroBytes) {
  MakeDir(dir / "Empty/only_a_subfolder");
  ExpectSuccess(Run(GetParam().name, {"out.agg", "Empty"}));
  EXPECT_EQ(ReadFile(dir / "out.agg"), (Bytes{0, 0}));
}

TEST_P(PackerTest, RoundTripGivesEveryFileBack) {
  const Packer p = GetParam();
  const std::string unpacker = std::string(p.name) == "Fennbind" ? "Fennloose" : "Morrloose";
  MakeDir(dir / "In");
  std::map<std::string, Bytes> files;
  for (unsigned i = 0; i < 40; ++i) {
    files["file" + std::to_string(i) + ".dat"] = Pattern(i * i * 37, i);
  }
  files["notes.txt"] = B("plain text\r\n");
  files["0"] = {};
  for (const auto& [name, bytes] : files) WriteFile(dir / ("In/" + name), bytes);

  ExpectSuccess(Run(p.name, {"pack.agg", "In"}));
  ExpectSuccess(Run(unpacker, {"pack.agg", "Out"}));
  std::vector<std::string> expectedNames;
  for (const auto& [name, bytes] : files) {
    expectedNames.push_back(name);
    EXPECT_EQ(ReadFile(dir / ("Out/" + name)), bytes) << name;
  }
  EXPECT_EQ(ListDir(dir / "Out"), expectedNames);
}

TEST_P(PackerTest, DefaultFolderIsTheArchivePathWithoutExtension) {
  MakeDir(dir / "res/Data");
  WriteFile(dir / "res/Data/x.txt", "x");
  ExpectSuccess(Run(GetParam().name, {"res/Data.agg"}));
  EXPECT_EQ(ParseArchive(ReadFile(dir / "res/Data.agg"), GetParam().entrySize).size(), 1u);
  // A folder given with a trailing delimiter behaves the same.
  ExpectSuccess(Run(GetParam().name, {"other.agg", "res/Data/"}));
  EXPECT_EQ(ReadFile(dir / "other.agg"), ReadFile(dir / "res/Data.agg"));
}

TEST_P(PackerTest, ArchiveNamedOnlyByItsExtensionPacksTheCurrentFolder) {
  MakeDir(dir / "work");
  WriteFile(dir / "work/x.txt", "x");
  const ProcessResult r = RunProcess(BinPath(std::string(GetParam().name) + os::ExecutableSuffix()), {".agg"},
                                     dir / "work");
  ExpectSuccess(r);
  const std::vector<ParsedEntry> entries = ParseArchive(ReadFile(dir / "work/.agg"), GetParam().entrySize);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "x.txt");
}

TEST_P(PackerTest, MissingFolderIsReportedWithItsDelimiter) {
  const std::string d(1, os::PathDelimiter());
  ExpectError(Run(GetParam().name, {"x.agg", "nofolder"}), "Folder doesn't exist: nofolder" + d + ".");
  ExpectError(Run(GetParam().name, {"x.agg", "nofolder/"}), "Folder doesn't exist: nofolder/.");
  // A parameter that only looks like the copy command is an archive path.
  ExpectError(Run(GetParam().name, {":COPYEXE"}), "Folder doesn't exist: :COPYEXE" + d + ".");
  EXPECT_FALSE(FileExists(dir / "x.agg"));
}

TEST_P(PackerTest, ArchiveOverItsOwnFolderCannotBeCreated) {
  MakeDir(dir / "Data");
  WriteFile(dir / "Data/x.txt", "x");
  ExpectErrorStartingWith(Run(GetParam().name, {"Data"}), "Cannot create file \"" + FullPath("Data") + "\". ");
  EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"Data"});
}

TEST_P(PackerTest, ArchiveInsideThePackedFolderIsRefused) {
  MakeDir(dir / "Data");
  WriteFile(dir / "Data/x.txt", "x");
  // First run: the archive does not exist yet, so it is not listed.
  ExpectSuccess(Run(GetParam().name, {"Data/self.agg", "Data"}));
  const Bytes first = ReadFile(dir / "Data/self.agg");
  EXPECT_EQ(ParseArchive(first, GetParam().entrySize).size(), 1u);
  // Second run: it is listed now, however the path is spelled.
  ExpectError(Run(GetParam().name, {"./Data/../Data/self.agg", "Data"}),
              "Cannot pack the archive into itself.\r\nData" + std::string(1, os::PathDelimiter()) + "self.agg");
  EXPECT_EQ(ReadFile(dir / "Data/self.agg"), first);
  EXPECT_EQ(ListDir(dir / "Data"), (std::vector<std::string>{"self.agg", "x.txt"}));
}

TEST_P(PackerTest, MoreThan65535FilesAreRefusedBeforeAnythingIsWritten) {
  // Under wine every file created checks the whole folder for a name that
  // differs only in case, so making 65536 files takes hours there.
  if (os::PathDelimiter() == '\\') GTEST_SKIP() << "too slow to set up under wine";
  MakeDir(dir / "Many");
  for (int i = 0; i < 65536; ++i) WriteFile(dir / ("Many/" + std::to_string(i)), Bytes{});
  WriteFile(dir / "many.agg", "previous");
  ExpectError(Run(GetParam().name, {"many.agg", "Many"}), "Too many files: 65536 (at most 65535).");
  EXPECT_EQ(ReadFile(dir / "many.agg"), B("previous"));
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"Many", "many.agg"}));
}

TEST_P(PackerTest, FailedRunLeavesThePreviousArchiveAndNoTemporaryFile) {
  if (os::PathDelimiter() != '/') GTEST_SKIP() << "names with a backslash exist only on POSIX";
  // A POSIX name holding a backslash is listed but cannot be opened: the
  // backslash is read as a folder delimiter.
  MakeDir(dir / "Data");
  for (int i = 0; i < 5; ++i) WriteFile(dir / ("Data/file" + std::to_string(i)), Pattern(1000, i));
  WriteFile(dir / "Data/bad\\name", "x");
  WriteFile(dir / "Data.agg", "previous archive");
  const ProcessResult r = Run(GetParam().name, {"Data.agg"});
  ExpectError(r, "System Error.  Code: 2.\r\n" + SystemErrorMessage(2) + ".\r\nData/bad\\name");
  EXPECT_EQ(ReadFile(dir / "Data.agg"), B("previous archive"));
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"Data", "Data.agg"}));
}

TEST_P(PackerTest, UsageAndCopyExe) {
  const ProcessResult usage = Run(GetParam().name, {});
  EXPECT_EQ(usage.exitCode, 0);
  if (ProgramsPrintMessages()) {
    EXPECT_EQ(usage.out.rfind(std::string(GetParam().name) + " v1.3.2\nUsage: " + GetParam().name +
                                  os::ExecutableSuffix() + " Archive.agg [Folder]\n",
                              0),
              0u);
  }
  EXPECT_TRUE(ListDir(dir.Path()).empty());

  const ProcessResult copy = Run(GetParam().name, {":copyexe", "ignored"});
  EXPECT_EQ(copy.exitCode, 0);
  EXPECT_EQ(copy.out + copy.err, "");
  const std::string copied = dir / (std::string(GetParam().name) + os::ExecutableSuffix());
  EXPECT_EQ(ReadFile(copied), ReadFile(BinPath(std::string(GetParam().name) + os::ExecutableSuffix())));
  // The copy runs like the original.
  const ProcessResult again = RunProcess(copied, {}, dir.Path());
  EXPECT_EQ(again.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PackerTest, ::testing::ValuesIn(kPackers),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Morrbind's collision report ----------------------------------------

class CollisionTest : public ProgramTest {};

TEST_F(CollisionTest, GroupsInOrderOfTheirFirstEntriesThenSuccess) {
  // Two groups: three names whose IDs fold together ("{" onto "[", "}" onto
  // "]", "a" onto "A") and two equal in their first 14 bytes; plus one name
  // on its own.
  // The names differ in more than letter case, so they are three files on
  // every file system.
  const std::vector<std::string> groupA = {"x[1].dat", "x{1}.dat", "x[1}.DAT"};
  const std::vector<std::string> groupB = {"same_first_14_bytes_1", "same_first_14_bytes_2"};
  MakeDir(dir / "C");
  for (const auto& n : groupA) WriteFile(dir / ("C/" + n), n);
  for (const auto& n : groupB) WriteFile(dir / ("C/" + n), n);
  WriteFile(dir / "C/alone.txt", "alone");

  const ProcessResult r = Run("Morrbind", {"c.agg", "C"});
  EXPECT_EQ(r.exitCode, 0);
  // Each file holds its own listed name, so the data tells the listing
  // order, which decides the order of the groups and of the names in them.
  const Bytes archive = ReadFile(dir / "c.agg");
  std::vector<std::string> listed;
  for (const ParsedEntry& e : ParseArchive(archive, kShortEntry)) {
    listed.emplace_back(archive.begin() + e.offset, archive.begin() + e.offset + e.size);
  }
  ASSERT_EQ(listed.size(), 6u);
  auto indexOf = [&](const std::string& n) { return std::find(listed.begin(), listed.end(), n) - listed.begin(); };
  auto group = [&](std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), [&](const auto& l, const auto& r2) { return indexOf(l) < indexOf(r2); });
    std::string text;
    for (const auto& n : names) text += "\r\n" + n;
    return std::make_pair(indexOf(names[0]), text);
  };
  const auto [firstA, textA] = group(groupA);
  const auto [firstB, textB] = group(groupB);
  const std::string groups = firstA < firstB ? textA + "\r\n" + textB : textB + "\r\n" + textA;
  const std::string report = "The following files have the same hash ID:" + groups +
                             "\r\nRename them to make their IDs different..";
  if (ProgramsPrintMessages()) {
    EXPECT_EQ(r.err, Printed(report));
    EXPECT_EQ(r.out, "Operation succesful.\n");
  }
}

TEST_F(CollisionTest, NoCollisionShowsOnlySuccess) {
  MakeDir(dir / "C");
  WriteFile(dir / "C/one.txt", "1");
  WriteFile(dir / "C/two.txt", "2");
  ExpectSuccess(Run("Morrbind", {"c.agg", "C"}));
  // Fennbind never reports collisions, even for IDs that would collide.
  WriteFile(dir / "C/x[1].dat", "a");
  WriteFile(dir / "C/x{1}.dat", "b");
  ExpectSuccess(Run("Fennbind", {"f.agg", "C"}));
}

}  // namespace
}  // namespace qx::test
