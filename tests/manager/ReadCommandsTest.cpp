// qxarc list, test and extract, run as a user runs them, on archives the
// packers write and on small hand-made fixtures that each show one finding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ArchiveFormat.h"
#include "FixtureArchive.h"
#include "FixtureBmp.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

struct LayoutCase {
  const char* name;   // --layout value
  const char* packer;
  const char* unpacker;
  std::size_t entrySize;
  const char* otherName;
};

const LayoutCase kLong{"long", "Fennbind", "Fennloose", kLongEntry, "short"};
const LayoutCase kShort{"short", "Morrbind", "Morrloose", kShortEntry, "long"};

// The hash each layout stores for a name.
std::uint32_t HashOf(const std::string& name, std::size_t entrySize) {
  return entrySize == kLongEntry ? archive::NameHash(name) : archive::HashId(name);
}

// Entries laid out as the packers lay them out, with the hashes they store.
Bytes Archive(std::vector<FixtureEntry> entries, std::size_t entrySize) {
  for (FixtureEntry& e : entries) {
    std::string name(e.slot.begin(), e.slot.end());
    e.hash = HashOf(name.substr(0, name.find('\0')), entrySize);
  }
  return BuildArchive(entries, entrySize);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// Every line of standard error is one of qxarc's own messages.
void ExpectOwnMessages(const ProcessResult& r) {
  for (const std::string& line : Lines(r.err)) {
    EXPECT_EQ(line.rfind("qxarc: ", 0), 0u) << r.err;
  }
}

class ReadCommands : public ProgramTest, public ::testing::WithParamInterface<LayoutCase> {
 protected:
  ProcessResult Qxarc(const std::vector<std::string>& args) { return Run("qxarc", args); }

  // A folder with a text file, an empty file, an image, a background and a
  // name with bytes above 0x7F, packed by the layout's packer into Data.agg.
  void PackSample() {
    MakeDir(dir / "Data");
    WriteFile(dir / "Data/readme.txt", "hello archive\n");
    WriteFile(dir / "Data/empty.dat", Bytes{});
    WriteFile(dir / "Data/pic.bmp", MakeBmp({3, 2, Bytes{1, 2, 3, 4, 5, 6}, Greys(256)}));
    WriteFile(dir / "Data/Sky.bkg.bmp", MakeBmp({2, 2, Bytes{9, 8, 7, 6}, Greys(16)}));
    WriteFile(dir / "Data/caf\xe9.txt", "latin");
    ASSERT_EQ(Run(GetParam().packer, {"Data.agg"}).exitCode, 0);
  }
};

TEST_P(ReadCommands, ListJsonGivesEveryFieldWithAndWithoutLayout) {
  const LayoutCase& c = GetParam();
  PackSample();
  const Bytes archive = ReadFile(dir / "Data.agg");
  const std::vector<ParsedEntry> entries = ParseArchive(archive, c.entrySize);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "--json", "Data.agg"},
        std::vector<std::string>{"list", "--layout", c.name, "--json", "Data.agg"}}) {
    const ProcessResult r = Qxarc(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const ParsedEntry& e = entries[i];
      std::string name = e.name;
      if (name == "caf\xe9.txt") name = "caf\xc3\xa9.txt";  // U+00E9 in UTF-8
      const bool image = e.name == "pic.bmp" || e.name == "Sky.bkg";
      std::string expected = "{\"index\":" + std::to_string(i) + ",\"name\":\"" + name +
                             "\",\"offset\":" + std::to_string(e.offset) + ",\"size\":" +
                             std::to_string(e.size) + ",\"hash\":" + std::to_string(e.hash) +
                             ",\"hash_matches\":true,\"kind\":\"" + (image ? "image" : "file") + "\"";
      if (e.name == "pic.bmp") expected += ",\"width\":3,\"height\":2";
      if (e.name == "Sky.bkg") expected += ",\"width\":2,\"height\":2";
      expected += std::string(",\"layout\":\"") + c.name + "\"}";
      EXPECT_EQ(lines[i], expected);
    }
  }
}

TEST_P(ReadCommands, ListTextGivesLayoutCountSizeAndOneLinePerEntry) {
  const LayoutCase& c = GetParam();
  PackSample();
  const ProcessResult r = Qxarc({"list", "Data.agg"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], std::string("layout ") + c.name + ", 5 entries, " +
                          std::to_string(ReadFile(dir / "Data.agg").size()) + " bytes");
  const std::vector<ParsedEntry> entries = ParseArchive(ReadFile(dir / "Data.agg"), c.entrySize);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& line = lines[i + 1];
    EXPECT_TRUE(EndsWith(line, " " + entries[i].name)) << line;
    if (entries[i].name == "pic.bmp") {
      EXPECT_NE(line.find(" image 3x2 "), std::string::npos) << line;
    }
    if (entries[i].name == "readme.txt") {
      EXPECT_NE(line.find(" file "), std::string::npos) << line;
    }
  }
}

TEST_P(ReadCommands, DetectionFindsThePackersLayoutAndTheWrongOneFailsTest) {
  const LayoutCase& c = GetParam();
  PackSample();
  const ProcessResult list = Qxarc({"list", "Data.agg"});
  EXPECT_EQ(list.out.rfind(std::string("layout ") + c.name + ",", 0), 0u) << list.out;
  const ProcessResult clean = Qxarc({"test", "Data.agg"});
  EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
  EXPECT_EQ(clean.out, "");
  const ProcessResult wrong = Qxarc({"test", "--layout", c.otherName, "Data.agg"});
  EXPECT_EQ(wrong.exitCode, 1) << wrong.out;
  EXPECT_NE(wrong.out, "");
  ExpectOwnMessages(wrong);
}

TEST_P(ReadCommands, ExtractWritesWhatTheUnpackerWrites) {
  const LayoutCase& c = GetParam();
  PackSample();
  ASSERT_EQ(Run(c.unpacker, {"Data.agg", "ref"}).exitCode, 0);
  const ProcessResult r = Qxarc({"extract", "Data.agg", "-C", "out"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  ASSERT_EQ(ListDir(dir / "out"), ListDir(dir / "ref"));
  // Walked as paths, not byte strings, so that names with bytes above 0x7F
  // reach the files on every system.
  namespace fs = std::filesystem;
  auto contents = [](const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  };
  for (const auto& item : fs::directory_iterator(fs::path(dir / "ref"))) {
    const fs::path twin = fs::path(dir / "out") / item.path().filename();
    ASSERT_TRUE(fs::exists(twin)) << twin;
    EXPECT_EQ(contents(twin), contents(item.path())) << twin;
  }
  // Without -C: the archive path without its extension, as the unpackers.
  std::filesystem::remove_all(dir / "Data");
  ASSERT_EQ(Qxarc({"extract", "Data.agg"}).exitCode, 0);
  EXPECT_EQ(ListDir(dir / "Data"), ListDir(dir / "ref"));
}

TEST_P(ReadCommands, ExtractSelectsByNameAndPatternAndReportsWhatMatchesNothing) {
  PackSample();
  const ProcessResult some = Qxarc({"extract", "Data.agg", "-C", "a", "readme.txt", "*.bkg"});
  EXPECT_EQ(some.exitCode, 0) << some.err;
  EXPECT_EQ(ListDir(dir / "a"), (std::vector<std::string>{"Sky.bkg.bmp", "readme.txt"}));

  const ProcessResult missing = Qxarc({"extract", "Data.agg", "-C", "b", "nothing*", "pic.bm?"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "qxarc: Data.agg: 'nothing*': no such entry\n");
  EXPECT_EQ(ListDir(dir / "b"), std::vector<std::string>{"pic.bmp"});
}

TEST_P(ReadCommands, ExtractRawPaletteAndStandardOutput) {
  const LayoutCase& c = GetParam();
  PackSample();
  const std::vector<ParsedEntry> entries = ParseArchive(ReadFile(dir / "Data.agg"), c.entrySize);
  const Bytes archive = ReadFile(dir / "Data.agg");
  auto stored = [&](const std::string& name) {
    for (const ParsedEntry& e : entries) {
      if (e.name == name) return Bytes(archive.begin() + e.offset, archive.begin() + e.offset + e.size);
    }
    return Bytes{};
  };

  ASSERT_EQ(Qxarc({"extract", "--raw", "Data.agg", "-C", "raw"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "raw/Sky.bkg"), stored("Sky.bkg"));
  EXPECT_EQ(ReadFile(dir / "raw/pic.bmp"), stored("pic.bmp"));
  EXPECT_FALSE(FileExists(dir / "raw/Sky.bkg.bmp"));

  BmpPicture templ{1, 1, Bytes{0}, {}};
  for (int i = 0; i < 256; ++i) {
    templ.palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
  }
  WriteFile(dir / "mine.bmp", MakeBmp(templ));
  ASSERT_EQ(Qxarc({"extract", "--palette", "mine.bmp", "Data.agg", "-C", "pal", "pic.bmp"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "pal/pic.bmp"), ExpectedExport(3, 2, Bytes{1, 2, 3, 4, 5, 6}, templ));

  const std::vector<std::string> before = ListDir(dir.Path());
  const ProcessResult text = Qxarc({"extract", "-O", "Data.agg", "readme.txt", "empty.dat"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out, "hello archive\n");
  EXPECT_EQ(text.err, "");
  const ProcessResult picture = Qxarc({"extract", "-O", "--palette", "mine.bmp", "Data.agg", "pic.bmp"});
  EXPECT_EQ(B(picture.out), ExpectedExport(3, 2, Bytes{1, 2, 3, 4, 5, 6}, templ));
  const ProcessResult rawOut = Qxarc({"extract", "-O", "--raw", "Data.agg", "Sky.bkg"});
  EXPECT_EQ(B(rawOut.out), stored("Sky.bkg"));
  EXPECT_EQ(ListDir(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, ReadCommands, ::testing::Values(kLong, kShort),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Findings of test, one small fixture each ---------------------------------

struct FindingCase {
  const char* label;
  const char* code;  // expected problem or note code
  bool problem;
  Bytes (*make)();
  const char* layout = "long";
};

Bytes Plain(std::vector<FixtureEntry> entries) { return Archive(entries, kLongEntry); }

const FindingCase kFindings[] = {
    {"CutTables", "tables-do-not-fit", true, [] { Bytes b(40, 0); b[0] = 5; return b; }},
    {"EntryPastTheEnd", "entry-out-of-bounds", true,
     [] {
       Bytes b = Plain({Entry("a.txt", B("abc")), Entry("b.txt", B("defg"))});
       SetLe(b, 2 + 12 + 8, 400, 4);
       return b;
     }},
    {"ChangedHash", "hash-mismatch", true,
     [] {
       Bytes b = Plain({Entry("a.txt", B("abc"))});
       b[2] ^= 1;
       return b;
     }},
    {"DotDot", "unsafe-name", true, [] { return Plain({Entry("../x", B("abc"))}); }},
    {"DeviceName", "unsafe-name", true, [] { return Plain({Entry("nul.txt", B("abc"))}); }},
    {"TwoEqualNames", "duplicate-name", true,
     [] { return Plain({Entry("a.txt", B("1")), Entry("a.txt", B("2"))}); }},
    {"SharedHash", "shared-hash", true,
     // The hash ID drops the top bit: "a" and the byte 0xE1 share 0xFFBF.
     [] { return Archive({Entry("a", B("1")), Entry("\xe1", B("2"))}, kShortEntry); }, "short"},
    {"CutImage", "image-too-short", true,
     [] { return Plain({Entry("p.bmp", Bytes{0x21, 0, 3, 0, 2, 0, 1, 2, 3})}); }},
    {"HeaderlessImage", "image-too-short", true, [] { return Plain({Entry("p.bkg", Bytes{0x21, 0})}); }},
    {"CaseOnly", "case-duplicate", false,
     [] { return Plain({Entry("Read.me", B("1")), Entry("read.ME", B("2"))}); }},
    {"Overlap", "overlapping-entries", false,
     [] {
       Bytes b = Plain({Entry("a.txt", B("abcd")), Entry("b.txt", B("efgh"))});
       SetLe(b, 2 + 12 + 4, 2 + 24 + 2, 4);  // b starts inside a
       return b;
     }},
    {"TrailingBytes", "unused-bytes", false,
     [] {
       Bytes b = Plain({Entry("a.txt", B("abcd"))});
       SetLe(b, 2 + 8, 2, 4);  // a is cut short: its last two bytes are unused
       return b;
     }},
    {"NotARecord", "not-image-record", false, [] { return Plain({Entry("p.bkg", Bytes{7, 0, 1, 0, 1, 0, 5})}); }},
    {"FullSlot", "full-slot", false, [] { return Plain({Entry("abcdefghijklmno", B("1"))}); }},
};

class TestFindings : public ProgramTest, public ::testing::WithParamInterface<FindingCase> {};

TEST_P(TestFindings, EachFixtureShowsItsFinding) {
  const FindingCase& c = GetParam();
  WriteFile(dir / "f.agg", c.make());
  const ProcessResult text = Run("qxarc", {"test", "--layout", c.layout, "f.agg"});
  EXPECT_EQ(text.exitCode, c.problem ? 1 : 0) << text.out << text.err;
  if (c.problem) {
    EXPECT_EQ(Lines(text.err), std::vector<std::string>{"qxarc: f.agg: 1 problem found"}) << text.out;
  }
  const std::string prefix = std::string(c.problem ? "problem " : "note ") + c.code + ": ";
  const std::vector<std::string> lines = Lines(text.out);
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }))
      << text.out;
  if (!c.problem) {
    EXPECT_EQ(text.out.find("problem "), std::string::npos) << text.out;
  }
  ExpectOwnMessages(text);

  const ProcessResult json = Run("qxarc", {"test", "--layout", c.layout, "--json", "f.agg"});
  EXPECT_EQ(json.exitCode, text.exitCode);
  const std::string key = std::string("{\"") + (c.problem ? "problem" : "note") + "\":\"" + c.code + "\"";
  EXPECT_NE(json.out.find(key), std::string::npos) << json.out;
  for (const std::string& line : Lines(json.out)) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_NE(line.find("\"message\":\""), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TestFindings, ::testing::ValuesIn(kFindings),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Layout detection on fixtures ---------------------------------------------

class Detection : public ProgramTest {};

TEST_F(Detection, UndecidableArchivesAskForTheLayout) {
  // Neither fits: a count far larger than the file.
  WriteFile(dir / "neither.agg", Bytes{0xFF, 0xFF, 1, 2, 3});
  // Both fit with no matching hash: one empty entry whose hash matches
  // neither layout's hash of its name.
  Bytes both = BuildArchive({Entry("x", Bytes{})}, kLongEntry);
  SetLe(both, 2, 0x12345678, 4);
  WriteFile(dir / "both.agg", both);
  for (const char* name : {"neither.agg", "both.agg"}) {
    SCOPED_TRACE(name);
    for (const char* command : {"list", "test", "extract"}) {
      const ProcessResult r = Run("qxarc", {command, name});
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find("--layout"), std::string::npos) << r.err;
      EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    }
  }
  // Named, the layout is used as given.
  EXPECT_EQ(Run("qxarc", {"list", "--layout", "short", "both.agg"}).exitCode, 0);
}

TEST_F(Detection, AnEmptyArchiveWorksWithEveryCommand) {
  WriteFile(dir / "e.agg", Bytes{0, 0});
  const ProcessResult list = Run("qxarc", {"list", "e.agg"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out, "layout empty, 0 entries, 2 bytes\n");
  EXPECT_EQ(Run("qxarc", {"list", "--json", "e.agg"}).out, "");
  EXPECT_EQ(Run("qxarc", {"test", "e.agg"}).exitCode, 0);
  EXPECT_EQ(Run("qxarc", {"extract", "e.agg", "-C", "o"}).exitCode, 0);
}

// ---- Unsafe names, usage -------------------------------------------------------

class ExtractSafety : public ProgramTest {};

TEST_F(ExtractSafety, UnsafeEntriesAreReportedAndSkippedTheOthersExtracted) {
  WriteFile(dir / "u.agg", Archive({Entry("ok.txt", B("ok")), Entry("../evil", B("x")),
                                    Entry("/abs", B("y")), Entry("c:x", B("z")), Entry("last.txt", B("l"))},
                                   kLongEntry));
  MakeDir(dir / "in");
  const ProcessResult r =
      RunProcess(BinPath("qxarc" + os::ExecutableSuffix()), {"extract", "../u.agg", "-C", "out"}, dir / "in");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Lines(r.err).size(), 3u) << r.err;
  ExpectOwnMessages(r);
  EXPECT_EQ(ListDir(dir / "in/out"), (std::vector<std::string>{"last.txt", "ok.txt"}));
  EXPECT_EQ(ListDir(dir / "in"), std::vector<std::string>{"out"});
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"in", "u.agg"}));
}

TEST(Usage, ErrorsExitTwoWithTheUsageAndHelpExitsZero) {
  TempDir dir;
  const std::string qxarc = BinPath("qxarc" + os::ExecutableSuffix());
  const std::vector<std::vector<std::string>> misuses{
      {},
      {"frobnicate"},
      {"list"},
      {"list", "a.agg", "b.agg"},
      {"list", "--bogus", "a.agg"},
      {"list", "--layout", "medium", "a.agg"},
      {"list", "--layout"},
      {"extract", "--raw", "--palette", "p.bmp", "a.agg"},
      {"test", "--json=yes", "a.agg"},
  };
  for (const auto& args : misuses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ProcessResult r = RunProcess(qxarc, args, dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("qxarc: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: qxarc"), std::string::npos) << r.err;
  }
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"list", "--help"}, {"test", "--help"}, {"extract", "--help"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ProcessResult r = RunProcess(qxarc, args, dir.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: qxarc", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
  }
  const ProcessResult version = RunProcess(qxarc, {"--version"}, dir.Path());
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("qxarc ", 0), 0u);
}

// ---- Hostile archives ----------------------------------------------------------

TEST(HostileArchives, OnlyTheToolsOwnMessages) {
  const std::string corpus = std::string(QX_SOURCE_DIR) + "/fuzz/corpus/archive";
  TempDir dir;
  const std::string qxarc = BinPath("qxarc" + os::ExecutableSuffix());
  std::size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(corpus)) {
    ++files;
    const std::string path = item.path().string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", path}, std::vector<std::string>{"test", "--json", path},
          std::vector<std::string>{"list", "--layout", "short", path},
          std::vector<std::string>{"test", "--layout", "long", path},
          std::vector<std::string>{"extract", "--layout", "long", path, "-C", "out"}}) {
      const ProcessResult r = RunProcess(qxarc, args, dir.Path());
      ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << path << " " << r.exitCode << " " << r.err;
      ExpectOwnMessages(r);
    }
    // Nothing was written outside the output folder.
    for (const std::string& name : ListDir(dir.Path())) ASSERT_EQ(name, "out") << path;
    std::filesystem::remove_all(dir / "out");
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
}  // namespace qx::test
