// The unpackers, run as a user runs them, on archives made by hand.
#include "ProgramFixture.h"

namespace qx::test {
namespace {

struct Unpacker {
  const char* name;
  std::size_t entrySize;
};

const Unpacker kUnpackers[] = {{"Fennloose", kLongEntry}, {"Morrloose", kShortEntry}};

class UnpackerTest : public ProgramTest, public ::testing::WithParamInterface<Unpacker> {
 protected:
  std::size_t E() const { return GetParam().entrySize; }
  ProcessResult Unpack(const std::vector<std::string>& args) { return Run(GetParam().name, args); }
  void WriteArchive(const std::string& name, const std::vector<FixtureEntry>& entries) {
    WriteFile(dir / name, BuildArchive(entries, E()));
  }
  // Sets the 32-bit field at `field` of entry `index`.
  void Patch(Bytes& archive, std::size_t index, std::size_t field, std::uint32_t value) {
    Set32(archive, EntryAt(index, E()) + field, value);
  }
};

TEST_P(UnpackerTest, WritesEveryEntryAndMakesTheFolder) {
  WriteArchive("Data.agg", {Entry("notes.txt", B("hello")), Entry("empty", {}), Entry("noext", B("x")),
                            Entry("fifteen_bytes_x", B("15")), Entry("dup", B("first")), Entry("dup", B("second"))});
  ExpectSuccess(Unpack({"Data.agg"}));
  EXPECT_EQ(ReadFile(dir / "Data/notes.txt"), B("hello"));
  EXPECT_TRUE(ReadFile(dir / "Data/empty").empty());
  EXPECT_EQ(ReadFile(dir / "Data/fifteen_bytes_x"), B("15"));
  // The later of two equal names wins, without a message.
  EXPECT_EQ(ReadFile(dir / "Data/dup"), B("second"));
  EXPECT_EQ(ListDir(dir / "Data"), (std::vector<std::string>{"dup", "empty", "fifteen_bytes_x", "noext", "notes.txt"}));
}

TEST_P(UnpackerTest, NamesEndAtTheFirstZeroAndAreReadFromTheEnd) {
  FixtureEntry entry{{'a', 'b', 0, 'x', 'y'}, B("ab")};
  Bytes archive = BuildArchive({entry}, E());
  // Bytes after the name table are not looked at by anything but the names,
  // which always come from the last 15 bytes per entry.
  Bytes withTail = archive;
  withTail.insert(withTail.end() - 15, {'j', 'u', 'n', 'k'});
  WriteFile(dir / "a.agg", withTail);
  ExpectSuccess(Unpack({"a.agg", "out"}));
  EXPECT_EQ(ListDir(dir / "out"), std::vector<std::string>{"ab"});
}

TEST_P(UnpackerTest, EachEntryIsReadAtItsOwnOffsetWhateverTheOrder) {
  // Readers rely only on each entry's offset and size. Data laid out in
  // another order than the table, continuing where the previous entry
  // ended, shared between entries or taken from the tables themselves comes
  // out exactly as the fields say.
  Bytes archive = BuildArchive({Entry("a", B("AAAA")), Entry("b", B("BB")), Entry("c", B("CCC")),
                                Entry("d", B("D")), Entry("e", B("E"))},
                               E());
  const auto data = static_cast<std::uint32_t>(2 + 5 * E());
  const std::uint32_t fields[5][2] = {
      {data, 4},      // the start of the data, read after the name table
      {data + 6, 3},  // forwards, past b's data
      {data + 9, 1},  // right where the previous entry ended
      {data + 2, 2},  // back, inside a's data
      {0, 2},         // the count field
  };
  for (std::size_t i = 0; i < 5; ++i) {
    Patch(archive, i, OffsetField(E()), fields[i][0]);
    Patch(archive, i, SizeField(E()), fields[i][1]);
  }
  WriteFile(dir / "o.agg", archive);
  ExpectSuccess(Unpack({"o.agg", "out"}));
  EXPECT_EQ(ReadFile(dir / "out/a"), B("AAAA"));
  EXPECT_EQ(ReadFile(dir / "out/b"), B("CCC"));
  EXPECT_EQ(ReadFile(dir / "out/c"), B("D"));
  EXPECT_EQ(ReadFile(dir / "out/d"), B("AA"));
  EXPECT_EQ(ReadFile(dir / "out/e"), (Bytes{5, 0}));
}

TEST_P(UnpackerTest, EmptyArchiveMakesOnlyTheFolder) {
  WriteFile(dir / "e.agg", Bytes{0, 0});
  ExpectSuccess(Unpack({"e.agg"}));
  EXPECT_TRUE(ListDir(dir / "e").empty());
}

TEST_P(UnpackerTest, OutputFolderGetsItsDelimiterAndSubfoldersFromBackslashes) {
  WriteArchive("a.agg", {Entry("sub\\x.txt", B("x")), Entry("..dots", B("d")), Entry("a..b", B("ab"))});
  ExpectSuccess(Unpack({"a.agg", "o"}));
  EXPECT_EQ(ReadFile(dir / "o/sub/x.txt"), B("x"));
  EXPECT_EQ(ReadFile(dir / "o/..dots"), B("d"));
  EXPECT_EQ(ReadFile(dir / "o/a..b"), B("ab"));
  ExpectSuccess(Unpack({"a.agg", "p/"}));
  EXPECT_EQ(ReadFile(dir / "p/sub/x.txt"), B("x"));
}

TEST_P(UnpackerTest, ArchiveNamedOnlyByItsExtensionUnpacksIntoTheCurrentFolder) {
  MakeDir(dir / "work");
  WriteFile(dir / "work/.agg", BuildArchive({Entry("x.txt", B("x"))}, E()));
  ExpectSuccess(RunProcess(BinPath(std::string(GetParam().name) + os::ExecutableSuffix()), {".agg"}, dir / "work"));
  EXPECT_EQ(ReadFile(dir / "work/x.txt"), B("x"));
}

TEST_P(UnpackerTest, MissingArchiveNamesItsFullPathAndMakesNoFolder) {
  ExpectErrorStartingWith(Unpack({"missing.agg"}), "Cannot open file \"" + FullPath("missing.agg") + "\". ");
  ExpectErrorStartingWith(Unpack({":COPYEXE"}), "Cannot open file \"" + FullPath(":COPYEXE") + "\". ");
  EXPECT_TRUE(ListDir(dir.Path()).empty());
}

TEST_P(UnpackerTest, ArchiveThatIsAFolderCannotBeOpened) {
  MakeDir(dir / "folder.agg");
  ExpectErrorStartingWith(Unpack({"folder.agg"}), "Cannot open file \"" + FullPath("folder.agg") + "\". ");
}

// Tables that do not fit the file: reported without an entry name, and no
// folder is made.
TEST_P(UnpackerTest, ShortTablesAreStreamReadErrors) {
  const Bytes good = BuildArchive({Entry("a", B("a")), Entry("b", B("b"))}, E());
  const std::vector<Bytes> damaged = {
      {},                                            // no count
      {5},                                           // half a count
      {0xFF, 0xFF, 1, 2, 3},                         // count far too large
      Bytes(good.begin(), good.begin() + 2 + 3),     // entry table cut
      Bytes(good.begin(), good.begin() + 2 + 2 * static_cast<std::ptrdiff_t>(E()) + 3),  // no room for names
  };
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    WriteFile(dir / "d.agg", damaged[i]);
    ExpectError(Unpack({"d.agg", "out"}), "Stream read error.");
    EXPECT_FALSE(FileExists(dir / "out"));
  }
}

TEST_P(UnpackerTest, EntryBeyondTheEndNamesTheEntryAndKeepsEarlierOnes) {
  Bytes archive = BuildArchive({Entry("first.txt", B("1")), Entry("broken.txt", B("22")), Entry("last.txt", B("3"))}, E());
  Patch(archive, 1, OffsetField(E()), static_cast<std::uint32_t>(archive.size() - 1));
  WriteFile(dir / "t.agg", archive);
  ExpectError(Unpack({"t.agg", "out"}), "Stream read error.\r\nbroken.txt");
  EXPECT_EQ(ListDir(dir / "out"), std::vector<std::string>{"first.txt"});

  // Sizes near 4 GiB fail before anything that large is allocated.
  for (const std::uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    Patch(archive, 1, SizeField(E()), size);
    WriteFile(dir / "t.agg", archive);
    const ProcessResult r = Unpack({"t.agg", "out"});
    ExpectError(r, "Stream read error.\r\nbroken.txt");
#ifndef QX_SANITIZED
    if (r.peakMemoryKiB >= 0) {
      EXPECT_LT(r.peakMemoryKiB, 16 * 1024) << "size " << size;
    }
#endif
  }
  // An entry of size 0 is never read, whatever its offset.
  Patch(archive, 1, SizeField(E()), 0);
  Patch(archive, 1, OffsetField(E()), 0xFFFFFFF0u);
  WriteFile(dir / "t.agg", archive);
  ExpectSuccess(Unpack({"t.agg", "out"}));
  EXPECT_TRUE(ReadFile(dir / "out/broken.txt").empty());
}

TEST_P(UnpackerTest, UnsafeEntryNamesAreRefusedAndNothingEscapes) {
  const char* unsafe[] = {"../evil", "..", "/abs", "\\abs", "a:b", "sub/../../x", "sub\\..", "sub/.", ".", "x/", "sub\\"};
  for (const char* name : unsafe) {
    SCOPED_TRACE(name);
    WriteArchive("u.agg", {Entry("ok.txt", B("ok")), Entry(name, B("evil"))});
    ExpectError(Unpack({"u.agg", "box/out"}), std::string("Unsafe entry name.\r\n") + name);
    EXPECT_EQ(ListDir(dir / "box"), std::vector<std::string>{"out"});
    EXPECT_EQ(ListDir(dir / "box/out"), std::vector<std::string>{"ok.txt"});
  }
  // An empty slot is an unsafe (empty) name too; it is shown without a name.
  WriteArchive("u.agg", {FixtureEntry{{}, B("evil")}});
  ExpectError(Unpack({"u.agg", "box2"}), "Unsafe entry name.");
}

TEST_P(UnpackerTest, FileThatCannotBeCreatedIsAnOSErrorNamingTheEntry) {
  WriteArchive("a.agg", {Entry("blocker", B("file")), Entry("blocker/x", B("x"))});
  const ProcessResult r = Unpack({"a.agg", "out"});
  EXPECT_EQ(r.exitCode, 1);
  if (ProgramsPrintMessages()) {
    EXPECT_EQ(r.err.rfind("System Error.  Code: ", 0), 0u) << r.err;
    EXPECT_TRUE(EndsWith(r.err, ".\nblocker/x\n")) << r.err;
  }
}

TEST_P(UnpackerTest, DefaultFolderBesideAFileOfTheSameNameFailsAtTheFirstEntry) {
  WriteFile(dir / "res", BuildArchive({Entry("x.txt", B("x"))}, E()));
  const ProcessResult r = Unpack({"res"});
  EXPECT_EQ(r.exitCode, 1);
  if (ProgramsPrintMessages()) {
      EXPECT_TRUE(EndsWith(r.err, ".\nx.txt\n")) << r.err;
    }
}

TEST_P(UnpackerTest, UsageAndCopyExe) {
  const ProcessResult usage = Unpack({""});
  EXPECT_EQ(usage.exitCode, 0);
  if (ProgramsPrintMessages()) {
      EXPECT_EQ(usage.out.rfind(std::string(GetParam().name) + " v1.3.2\n", 0), 0u);
    }
  const ProcessResult copy = Unpack({":copyexe"});
  EXPECT_EQ(copy.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / (std::string(GetParam().name) + os::ExecutableSuffix())),
            ReadFile(BinPath(std::string(GetParam().name) + os::ExecutableSuffix())));
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, UnpackerTest, ::testing::ValuesIn(kUnpackers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qx::test
