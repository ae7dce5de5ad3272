// qxarc pack, update and delete, run as a user runs them. Expected archives
// are laid out here from the format, independently of the product's writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "ArchiveFormat.h"
#include "FixtureArchive.h"
#include "FixtureBmp.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

struct LayoutCase {
  const char* name;  // --layout value
  const char* packer;
  std::size_t entrySize;
};

const LayoutCase kLong{"long", "Fennbind", kLongEntry};
const LayoutCase kShort{"short", "Morrbind", kShortEntry};

std::uint32_t HashOf(const std::string& name, std::size_t entrySize) {
  return entrySize == kLongEntry ? archive::NameHash(name) : archive::HashId(name);
}

// An entry stored under a name as a packer stores it: cut to 14 bytes.
FixtureEntry Named(const std::string& name, const Bytes& data) { return Entry(name.substr(0, 14), data); }

// The archive of the entries as the packers lay it out; entries without a
// hash get the layout's hash of their slot name.
Bytes Layout(std::vector<FixtureEntry> entries, std::size_t entrySize) {
  for (FixtureEntry& e : entries) {
    if (e.hash) continue;
    const std::string name(e.slot.begin(), std::find(e.slot.begin(), e.slot.end(), 0));
    e.hash = HashOf(name, entrySize);
  }
  return BuildArchive(entries, entrySize);
}

std::vector<std::string> NamesOf(const Bytes& archive, std::size_t entrySize) {
  std::vector<std::string> names;
  for (const ParsedEntry& e : ParseArchive(archive, entrySize)) names.push_back(e.name);
  return names;
}

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 7));
  return b;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + std::string(1, os::PathDelimiter()) + name;
}

class EditTest : public ProgramTest {
 protected:
  ProcessResult Qxarc(const std::vector<std::string>& args) { return Run("qxarc", args); }

  // Runs qxarc and expects success with nothing printed.
  void Quiet(const std::vector<std::string>& args) {
    const ProcessResult r = Qxarc(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "") << ::testing::PrintToString(args);
  }
};

class EditBothLayouts : public EditTest, public ::testing::WithParamInterface<LayoutCase> {};

// ---- pack ----------------------------------------------------------------------

// A folder with upper- and lower-case names, an image of each extension, an
// image record passed through, a name cut to 14 bytes, an empty file and
// bytes above 0x7F; its archive in name order.
struct SampleFolder {
  std::vector<std::pair<std::string, Bytes>> files;  // as written, in no order
  std::vector<FixtureEntry> expected;                        // in name order
};

SampleFolder Sample() {
  const Bytes pixels{1, 2, 3, 4, 5, 6};
  const Bytes sky{9, 8, 7, 6};
  const Bytes record = Record(2, 1, Bytes{4, 5});
  SampleFolder s;
  s.files = {
      {"b.txt", B("bee")},
      {"twenty_bytes_name.tx", Pattern(33, 3)},
      {"pic.bmp", MakeBmp({3, 2, pixels, Greys(256)})},
      {"caf\xe9.txt", B("latin")},
      {"A.txt", B("upper")},
      {"empty.dat", {}},
      {"Sky.bkg.bmp", MakeBmp({2, 2, sky, Greys(16)})},
      {"rec.bmp", record},
      {"\x80x", B("high")},
  };
  // Byte order: upper case before lower case, bytes above 0x7F last.
  s.expected = {
      Named("A.txt", B("upper")),
      Named("Sky.bkg", Record(2, 2, sky)),
      Named("b.txt", B("bee")),
      Named("caf\xe9.txt", B("latin")),  // 'c' < 'e' < 'p' < 'r' < 't'
      Named("empty.dat", {}),
      Named("pic.bmp", Record(3, 2, pixels)),
      Named("rec.bmp", record),
      Named("twenty_bytes_name.tx", Pattern(33, 3)),
      Named("\x80x", B("high")),
  };
  return s;
}

TEST_P(EditBothLayouts, PackWritesNameOrderWhateverOrderTheFolderWasMadeIn) {
  const LayoutCase& c = GetParam();
  const SampleFolder s = Sample();
  MakeDir(dir / "One");
  MakeDir(dir / "Two");
  for (const auto& [name, bytes] : s.files) WriteFile(dir / ("One/" + name), bytes);
  for (auto it = s.files.rbegin(); it != s.files.rend(); ++it) WriteFile(dir / ("Two/" + it->first), it->second);

  Quiet({"pack", "--layout", c.name, "one.agg", "One"});
  Quiet({"pack", "--layout", c.name, "again.agg", "One"});
  Quiet({"pack", "--layout", c.name, "two.agg", "Two"});
  const Bytes expected = Layout(s.expected, c.entrySize);
  EXPECT_EQ(ReadFile(dir / "one.agg"), expected)
      << ::testing::PrintToString(NamesOf(ReadFile(dir / "one.agg"), c.entrySize));
  EXPECT_EQ(ReadFile(dir / "again.agg"), expected);
  EXPECT_EQ(ReadFile(dir / "two.agg"), expected);
}

TEST_F(EditTest, PackWithoutLayoutWritesTheLongLayout) {
  MakeDir(dir / "D");
  WriteFile(dir / "D/x.txt", "x");
  WriteFile(dir / "D/a.txt", "a");
  Quiet({"pack", "d.agg", "D"});
  EXPECT_EQ(ReadFile(dir / "d.agg"), Layout({Named("a.txt", B("a")), Named("x.txt", B("x"))}, kLongEntry));
  MakeDir(dir / "Empty/sub");
  Quiet({"pack", "e.agg", "Empty"});
  EXPECT_EQ(ReadFile(dir / "e.agg"), (Bytes{0, 0}));
}

TEST_P(EditBothLayouts, OneFileFolderGivesThePackersArchive) {
  const LayoutCase& c = GetParam();
  const std::vector<std::pair<std::string, Bytes>> cases{
      {"notes.txt", B("some text\r\n")},
      {"empty", {}},
      {"pic.bmp", MakeBmp({3, 2, Bytes{1, 2, 3, 4, 5, 6}, Greys(256)})},
      {"Sky.bkg.bmp", MakeBmp({2, 2, Bytes{9, 8, 7, 6}, Greys(16)})},
      {"a_name_longer_than_14.dat", B("cut")},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    const std::string folder = std::string("F") + std::to_string(i);
    MakeDir(dir / folder);
    WriteFile(dir / (folder + "/" + cases[i].first), cases[i].second);
    ASSERT_EQ(Run(c.packer, {"packer.agg", folder}).exitCode, 0);
    Quiet({"pack", "--layout", c.name, "qxarc.agg", folder});
    EXPECT_EQ(ReadFile(dir / "qxarc.agg"), ReadFile(dir / "packer.agg"));
  }
}

TEST_F(EditTest, ShortPackWarnsAboutSharedHashIdsAndSucceeds) {
  MakeDir(dir / "D");
  // "{" and "}" fold onto "[" and "]" in the hash ID.
  WriteFile(dir / "D/x[1].dat", "1");
  WriteFile(dir / "D/x{1}.dat", "2");
  WriteFile(dir / "D/other.txt", "3");
  const ProcessResult r = Qxarc({"pack", "--layout", "short", "s.agg", "D"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "qxarc: warning: s.agg: these files have the same hash ID 0x4FD8: 'x[1].dat' 'x{1}.dat'\n");
  EXPECT_EQ(ReadFile(dir / "s.agg"),
            Layout({Named("other.txt", B("3")), Named("x[1].dat", B("1")), Named("x{1}.dat", B("2"))},
                   kShortEntry));
  // The long layout has no hash IDs to share.
  Quiet({"pack", "l.agg", "D"});

  // update names what it adds when that shares an ID with another name.
  WriteFile(dir / "u.agg", Layout({Named("x[1].dat", B("1")), Named("x[1].dat", B("1"))}, kShortEntry));
  Quiet({"update", "u.agg", InFolder("D", "x[1].dat"), InFolder("D", "other.txt")});
  const ProcessResult added = Qxarc({"update", "u.agg", InFolder("D", "x{1}.dat")});
  EXPECT_EQ(added.exitCode, 0);
  EXPECT_EQ(added.err,
            "qxarc: warning: u.agg: these files have the same hash ID 0x4FD8: 'x[1].dat' 'x[1].dat' 'x{1}.dat'\n");
}

TEST_P(EditBothLayouts, OrderOfPutsTheOldArchivesEntriesFirstThenNewOnesInNameOrder) {
  const LayoutCase& c = GetParam();
  // The old archive in another layout than the new one: only its names count.
  const std::size_t oldEntry = c.entrySize == kLongEntry ? kShortEntry : kLongEntry;
  WriteFile(dir / "old.agg", Layout({Named("c.txt", B("old")), Named("gone.txt", B("x")),
                                     Named("Sky.bkg", Record(1, 1, Bytes{1})), Named("a.txt", B("old")),
                                     Named("longer_name_cu", B("old"))},
                                    oldEntry));
  MakeDir(dir / "D");
  const Bytes sky = Record(1, 1, Bytes{2});
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, Bytes>>{
           {"new2.txt", B("n2")}, {"a.txt", B("a")}, {"Sky.bkg.bmp", sky}, {"c.txt", B("c")},
           {"new1.txt", B("n1")}, {"longer_name_cut_here.txt", B("l")}}) {
    WriteFile(dir / ("D/" + name), bytes);
  }
  Quiet({"pack", "--layout", c.name, "--order-of", "old.agg", "new.agg", "D"});
  EXPECT_EQ(ReadFile(dir / "new.agg"),
            Layout({Named("c.txt", B("c")), Named("Sky.bkg", sky), Named("a.txt", B("a")),
                    Named("longer_name_cu", B("l")), Named("new1.txt", B("n1")), Named("new2.txt", B("n2"))},
                   c.entrySize));

  // OLD may be the archive being replaced.
  WriteFile(dir / "D/0first.txt", "0");
  Quiet({"pack", "--layout", c.name, "--order-of", "new.agg", "new.agg", "D"});
  EXPECT_EQ(NamesOf(ReadFile(dir / "new.agg"), c.entrySize),
            (std::vector<std::string>{"c.txt", "Sky.bkg", "a.txt", "longer_name_cu", "new1.txt", "new2.txt",
                                      "0first.txt"}));
}

// ---- Round trip: extract, then pack in the old order ---------------------------

class RoundTrip : public EditBothLayouts {
 protected:
  void Check(const std::string& archive) {
    const ProcessResult out = Qxarc({"extract", archive, "-C", "X"});
    ASSERT_EQ(out.exitCode, 0) << out.err;
    // A short archive may hold shared hash IDs, which pack warns about.
    const ProcessResult packed =
        Qxarc({"pack", "--layout", GetParam().name, "--order-of", archive, "back.agg", "X"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    const Bytes original = ReadFile(dir / archive);
    const Bytes back = ReadFile(dir / "back.agg");
    EXPECT_TRUE(back == original) << "round trip differs: " << back.size() << " vs " << original.size()
                                  << " bytes";
  }
};

TEST_P(RoundTrip, ThePackersArchiveComesBackByteForByte) {
  const SampleFolder s = Sample();
  MakeDir(dir / "Data");
  for (const auto& [name, bytes] : s.files) WriteFile(dir / ("Data/" + name), bytes);
  WriteFile(dir / "Data/background.bkg", Record(3, 1, Bytes{7, 7, 7}));
  ASSERT_EQ(Run(GetParam().packer, {"Data.agg"}).exitCode, 0);
  Check("Data.agg");
}

TEST_P(RoundTrip, AGeneratedArchiveOfThousandsOfEntriesComesBackByteForByte) {
  const LayoutCase& c = GetParam();
  // Names in no sorted order; images of both extensions, files, empty files.
  std::vector<FixtureEntry> wants;
  for (unsigned i = 0; i < 3000; ++i) {
    const unsigned key = (i * 7919u) % 3001u;
    const std::string stem = std::to_string(key);
    switch (i % 5) {
      case 0: {
        const auto w = static_cast<std::uint16_t>(1 + i % 13), h = static_cast<std::uint16_t>(1 + i % 7);
        wants.push_back(Named("img" + stem + ".bmp", Record(w, h, Pattern(std::size_t{w} * h, i))));
        break;
      }
      case 1:
        wants.push_back(Named("bg" + stem + ".BKG", Record(4, 2, Pattern(8, i))));
        break;
      case 2:
        wants.push_back(Named("e" + stem, {}));
        break;
      default:
        wants.push_back(Named("file" + stem + ".dat", Pattern(i % 97, i)));
    }
  }
  WriteFile(dir / "big.agg", Layout(wants, c.entrySize));
  Check("big.agg");
}

// ---- update --------------------------------------------------------------------

// An archive whose entries show what must be kept: a slot with bytes after
// its zero byte, a stored hash that is not the name's, two entries of the
// same name and an image.
std::vector<FixtureEntry> KeptSample() {
  Bytes oddSlot = B("odd.txt");
  oddSlot.push_back(0);
  for (std::uint8_t b : B("junk!!!")) oddSlot.push_back(b);
  return {
      {oddSlot, B("odd data")},
      {B("wrong.hash"), B("hash kept"), 0x1234},
      Named("b.txt", B("first b")),
      Named("Sky.bkg", Record(2, 1, Bytes{1, 2})),
      Named("b.txt", B("second b")),
  };
}

TEST_P(EditBothLayouts, UpdateReplacesInPlaceAndAppendsNewNamesInOperandOrder) {
  const LayoutCase& c = GetParam();
  std::vector<FixtureEntry> kept = KeptSample();
  Bytes original = Layout(kept, c.entrySize);
  WriteFile(dir / "a.agg", original);
  MakeDir(dir / "in");
  WriteFile(dir / "in/b.txt", "new b");
  WriteFile(dir / "in/z.txt", "zed");
  WriteFile(dir / "in/new.bmp", MakeBmp({2, 2, Bytes{3, 4, 5, 6}, Greys(8)}));
  WriteFile(dir / "in/Sky.bkg.bmp", MakeBmp({1, 2, Bytes{8, 9}, Greys(16)}));
  WriteFile(dir / "in/a_long_name_to_cut.txt", "cut");

  Quiet({"update", "a.agg", "in/z.txt", "in/b.txt", "in/new.bmp", "in/Sky.bkg.bmp", "in/a_long_name_to_cut.txt"});
  std::vector<FixtureEntry> expected = kept;
  expected[2] = Named("b.txt", B("new b"));
  expected[3] = Named("Sky.bkg", Record(1, 2, Bytes{8, 9}));
  expected.push_back(Named("z.txt", B("zed")));
  expected.push_back(Named("new.bmp", Record(2, 2, Bytes{3, 4, 5, 6})));
  expected.push_back(Named("a_long_name_to_cut.txt", B("cut")));
  EXPECT_EQ(ReadFile(dir / "a.agg"), Layout(expected, c.entrySize));

  // A later operand of the same name wins; the layout may be named.
  MakeDir(dir / "in/z2");
  WriteFile(dir / "in/z2/z.txt", "zed two");
  Quiet({"update", "--layout", c.name, "a.agg", "in/z.txt", "in/z2/z.txt"});
  expected[5] = Named("z.txt", B("zed two"));
  EXPECT_EQ(ReadFile(dir / "a.agg"), Layout(expected, c.entrySize));
}

TEST_F(EditTest, UpdateCreatesAMissingArchive) {
  WriteFile(dir / "b.txt", "b");
  WriteFile(dir / "a.txt", "a");
  Quiet({"update", "new.agg", "b.txt", "a.txt"});
  EXPECT_EQ(ReadFile(dir / "new.agg"), Layout({Named("b.txt", B("b")), Named("a.txt", B("a"))}, kLongEntry));
  Quiet({"update", "--layout", "short", "short.agg", "a.txt"});
  EXPECT_EQ(ReadFile(dir / "short.agg"), Layout({Named("a.txt", B("a"))}, kShortEntry));
  // Then the layout is detected.
  Quiet({"update", "short.agg", "b.txt"});
  EXPECT_EQ(ReadFile(dir / "short.agg"), Layout({Named("a.txt", B("a")), Named("b.txt", B("b"))}, kShortEntry));
}

// ---- delete --------------------------------------------------------------------

TEST_P(EditBothLayouts, DeleteRemovesEveryMatchKeepingTheOthersAsTheyWere) {
  const LayoutCase& c = GetParam();
  std::vector<FixtureEntry> kept = KeptSample();
  kept.push_back(Named("c.dat", B("see")));
  WriteFile(dir / "a.agg", Layout(kept, c.entrySize));
  Quiet({"delete", "a.agg", "b.txt", "*.bkg"});
  EXPECT_EQ(ReadFile(dir / "a.agg"), Layout({kept[0], kept[1], kept[5]}, c.entrySize));
  Quiet({"delete", "--layout", c.name, "a.agg", "?dd.txt"});
  EXPECT_EQ(ReadFile(dir / "a.agg"), Layout({kept[1], kept[5]}, c.entrySize));
  Quiet({"delete", "a.agg", "*"});
  EXPECT_EQ(ReadFile(dir / "a.agg"), (Bytes{0, 0}));

  // Data shared by two entries, or with bytes between, is laid out again
  // back to back.
  const std::uint32_t data = static_cast<std::uint32_t>(EntryAt(3, c.entrySize));
  Bytes odd = Layout({Named("a.txt", B("abcdef")), {B("inside.txt"), {}, {}, data + 2, 3},
                      Named("z.txt", B("zz"))},
                     c.entrySize);
  odd.insert(odd.end() - 3 * kSlot, {'g', 'a', 'p'});
  WriteFile(dir / "odd.agg", odd);
  Quiet({"delete", "--layout", c.name, "odd.agg", "z.txt"});
  EXPECT_EQ(ReadFile(dir / "odd.agg"), Layout({Named("a.txt", B("abcdef")), Named("inside.txt", B("cde"))}, c.entrySize));
}

// ---- Failures leave the archive as it was --------------------------------------

struct FailureCase {
  const char* label;
  std::vector<std::string> args;
  const char* message;  // the whole of standard error, or null for one line of system text
};

std::string D(const std::string& name) { return InFolder("D", name); }

TEST_F(EditTest, FailuresLeaveTheArchiveByteForByteAndNoStrayFile) {
  MakeDir(dir / "D");
  WriteFile(dir / "D/ok.txt", "ok");
  BmpPicture rgb{2, 2, Bytes(12, 9), {}};
  rgb.bitCount = 24;
  WriteFile(dir / "colour.bmp", MakeBmp(rgb));
  WriteFile(dir / "D/colour.bmp", MakeBmp(rgb));
  WriteFile(dir / "ok.txt", "ok");
  const Bytes original = Layout({Named("a.txt", B("a")), Named("b.txt", B("b"))}, kLongEntry);
  WriteFile(dir / "a.agg", original);
  const std::vector<FailureCase> cases{
      {"update with a BMP that is not 8-bit", {"update", "a.agg", "ok.txt", "colour.bmp"},
       "qxarc: a.agg: 'colour.bmp': Wrong bitmap format\n"},
      {"update with a missing file", {"update", "a.agg", "ok.txt", "missing.txt"}, nullptr},
      {"update with the archive itself", {"update", "a.agg", "ok.txt", "./a.agg"},
       "qxarc: a.agg: './a.agg': Cannot pack the archive into itself\n"},
      {"delete of a name that matches nothing", {"delete", "a.agg", "a.txt", "nothing*", "c.txt"},
       "qxarc: a.agg: 'nothing*': no such entry\nqxarc: a.agg: 'c.txt': no such entry\n"
       "qxarc: a.agg: nothing deleted\n"},
      {"pack of a folder with a BMP that is not 8-bit", {"pack", "a.agg", "D"}, nullptr},
      {"pack of a missing folder", {"pack", "a.agg", "Missing"}, nullptr},
      {"pack with a missing old archive", {"pack", "--order-of", "none.agg", "a.agg", "D"}, nullptr},
  };
  for (const FailureCase& f : cases) {
    SCOPED_TRACE(f.label);
    const std::vector<std::string> before = ListDir(dir.Path());
    const ProcessResult r = Qxarc(f.args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    if (f.message != nullptr) {
      EXPECT_EQ(r.err, f.message);
    } else {
      EXPECT_EQ(r.err.rfind("qxarc: ", 0), 0u) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(ReadFile(dir / "a.agg"), original);
    EXPECT_EQ(ListDir(dir.Path()), before);
  }
}

TEST_F(EditTest, PackFailuresNameTheFileAsThePackersDo) {
  MakeDir(dir / "D");
  WriteFile(dir / "D/a.txt", "a");
  BmpPicture rgb{2, 2, Bytes(12, 9), {}};
  rgb.bitCount = 24;
  WriteFile(dir / "D/colour.bmp", MakeBmp(rgb));
  EXPECT_EQ(Qxarc({"pack", "x.agg", "D"}).err, "qxarc: x.agg: '" + D("colour.bmp") + "': Wrong bitmap format\n");
  std::filesystem::remove(dir / "D/colour.bmp");
  EXPECT_EQ(Qxarc({"pack", "x.agg", "Missing"}).err,
            "qxarc: x.agg: Folder doesn't exist: " + InFolder("Missing", "") + "\n");
  // The archive inside the folder it packs.
  ASSERT_EQ(Qxarc({"pack", InFolder("D", "self.agg"), "D"}).exitCode, 0);
  const Bytes first = ReadFile(dir / "D/self.agg");
  const ProcessResult self = Qxarc({"pack", InFolder("D", "self.agg"), "D"});
  EXPECT_EQ(self.exitCode, 1);
  EXPECT_EQ(self.err, "qxarc: " + D("self.agg") + ": '" + D("self.agg") + "': Cannot pack the archive into itself\n");
  EXPECT_EQ(ReadFile(dir / "D/self.agg"), first);
  EXPECT_EQ(ListDir(dir / "D"), (std::vector<std::string>{"a.txt", "self.agg"}));
  EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"D"});
}

TEST_F(EditTest, UpdateBeyond65535EntriesIsRefused) {
  std::vector<FixtureEntry> entries;
  for (std::size_t i = 0; i < archive::kMaxEntries; ++i) entries.push_back(Entry(std::to_string(i), {}));
  const Bytes full = BuildArchive(entries, kLongEntry);
  WriteFile(dir / "full.agg", full);
  WriteFile(dir / "new.txt", "n");
  WriteFile(dir / "7", "seven");
  const ProcessResult r = Qxarc({"update", "--layout", "long", "full.agg", "7", "new.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "qxarc: full.agg: Too many files: 65536 (at most 65535)\n");
  EXPECT_EQ(ReadFile(dir / "full.agg"), full);
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"7", "full.agg", "new.txt"}));
  // Replacing keeps the count: that works.
  Quiet({"update", "--layout", "long", "full.agg", "7"});
  EXPECT_EQ(ParseArchive(ReadFile(dir / "full.agg"), kLongEntry)[7].size, 5u);
}

// ---- Usage ----------------------------------------------------------------------

TEST(EditUsage, MisusesExitTwoAndHelpDescribesEachCommand) {
  TempDir dir;
  const std::string qxarc = BinPath("qxarc" + os::ExecutableSuffix());
  const std::vector<std::vector<std::string>> misuses{
      {"pack"},
      {"pack", "a.agg"},
      {"pack", "a.agg", "D", "E"},
      {"pack", "a.agg", ""},
      {"pack", "--layout", "medium", "a.agg", "D"},
      {"pack", "a.agg", "D", "--order-of"},
      {"update", "a.agg"},
      {"update", "--json", "a.agg", "x"},
      {"delete", "a.agg"},
      {"delete", "-O", "a.agg", "x"},
  };
  for (const auto& args : misuses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ProcessResult r = RunProcess(qxarc, args, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: qxarc " + args[0]), std::string::npos) << r.err;
  }
  EXPECT_TRUE(ListDir(dir.Path()).empty());
  for (const char* command : {"pack", "update", "delete"}) {
    const ProcessResult r = RunProcess(qxarc, {command, "--help"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind(std::string("usage: qxarc ") + command + " [--layout long|short]", 0), 0u) << r.out;
    EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
  }
  const std::string help = RunProcess(qxarc, {"--help"}, dir.Path()).out;
  for (const char* command : {"\n  pack ", "\n  update ", "\n  delete "}) {
    EXPECT_NE(help.find(command), std::string::npos) << help;
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, EditBothLayouts, ::testing::Values(kLong, kShort),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(BothLayouts, RoundTrip, ::testing::Values(kLong, kShort),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qx::test
