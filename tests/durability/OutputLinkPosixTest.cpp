// A symbolic link at the name of an output file is replaced by the new file;
// the file it points to (or the name a dangling link names) is never touched.
#include <sys/stat.h>
#include <unistd.h>

#include "FixtureBmp.h"
#include "ProgramFixture.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::test {
namespace {

bool IsLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsRegular(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void Link(const std::string& target, const std::string& link) {
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
}

// The writers of output files, each given a path and the bytes to write.
struct Writer {
  const char* name;
  void (*write)(const std::string& path, const Bytes& bytes);
};

const Writer kWriters[] = {
    {"SaveWholeFile", [](const std::string& path, const Bytes& bytes) { SaveWholeFile(path, bytes); }},
    {"FileStream",
     [](const std::string& path, const Bytes& bytes) {
       TFileStream out(path, TFileStream::Mode::Create);
       out.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
     }},
};

class OutputLinkUnit : public ::testing::TestWithParam<Writer> {
 protected:
  TempDir dir;
};

TEST_P(OutputLinkUnit, ReplacesTheLinkAndLeavesItsTargetAlone) {
  const Bytes content = B("new content");
  struct Case {
    const char* what;
    const char* target;  // relative to the link's folder
    bool targetExists;
  };
  const Case cases[] = {
      {"link to a file", "victim", true},
      {"dangling link", "nowhere", false},
      {"link to a folder", "folder", true},
      {"link to a link to a file", "hop", true},
  };
  WriteFile(dir / "victim", B("victim's bytes"));
  MakeDir(dir / "folder");
  Link("victim", dir / "hop");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = dir / "out";
    std::remove(out.c_str());
    Link(c.target, out);
    GetParam().write(out, content);
    EXPECT_TRUE(IsRegular(out));
    EXPECT_EQ(ReadFile(out), content);
    EXPECT_EQ(ReadFile(dir / "victim"), B("victim's bytes"));
    EXPECT_TRUE(IsLink(dir / "hop"));
    EXPECT_FALSE(FileExists(dir / "nowhere"));
    EXPECT_EQ(ListDir(dir / "folder"), std::vector<std::string>{});
  }
}

TEST_P(OutputLinkUnit, LinksInTheFoldersAboveAreFollowed) {
  MakeDir(dir / "real");
  Link("real", dir / "via");
  GetParam().write(dir / "via/file", B("x"));
  EXPECT_TRUE(IsRegular(dir / "real/file"));
  EXPECT_EQ(ReadFile(dir / "real/file"), B("x"));
}

TEST_P(OutputLinkUnit, AnExistingFileIsStillReplacedInPlace) {
  WriteFile(dir / "out", B("a much longer old content"));
  GetParam().write(dir / "out", B("short"));
  EXPECT_EQ(ReadFile(dir / "out"), B("short"));
}

INSTANTIATE_TEST_SUITE_P(Writers, OutputLinkUnit, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

struct Tool {
  const char* packer;
  const char* unpacker;
};

const Tool kTools[] = {{"Fennbind", "Fennloose"}, {"Morrbind", "Morrloose"}};

class OutputLinkProgram : public ProgramTest, public ::testing::WithParamInterface<Tool> {};

// Every way of writing entries out: the unpacker, qxarc extract and
// extract --raw; plain, image and large entries (copied inside the system).
TEST_P(OutputLinkProgram, WritingEntriesOverLinksReplacesThemForEveryKindOfEntry) {
  MakeDir(dir / "In");
  WriteFile(dir / "In/plain.txt", B("plain entry"));
  WriteFile(dir / "In/pic.bmp", MakeBmp({2, 2, Bytes{1, 2, 3, 4}, Greys(256)}));
  WriteFile(dir / "In/gone.txt", B("entry whose link dangles"));
  WriteFile(dir / "In/big.dat", Bytes((2u << 20) + 3, 0x5A));
  ExpectSuccess(Run(GetParam().packer, {"a.agg", "In"}));
  WriteFile(dir / "victim.txt", B("not to be changed"));
  WriteFile(dir / "victim.bmp", B("not a picture either"));
  WriteFile(dir / "victim.dat", B("not large"));

  const struct {
    const char* what;
    std::string program;
    std::vector<std::string> args;  // "%" stands for the output folder
  } ways[] = {
      {"unpacker", GetParam().unpacker, {"a.agg", "%"}},
      {"qxarc extract", "qxarc", {"extract", "-C", "%", "a.agg"}},
      {"qxarc extract --raw", "qxarc", {"extract", "--raw", "-C", "%", "a.agg"}},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    const auto run = [&](const std::string& folder) {
      std::vector<std::string> args = way.args;
      for (std::string& arg : args) {
        if (arg == "%") arg = folder;
      }
      const ProcessResult r = Run(way.program, args);
      EXPECT_EQ(r.exitCode, 0) << r.err;
    };
    // A first run gives the files a run over links must give too.
    const std::string expected = std::string("Expected-") + way.what;
    const std::string out = std::string("Out-") + way.what;
    run(expected);
    MakeDir(dir / out);
    Link("../victim.txt", dir / (out + "/plain.txt"));
    Link("../victim.bmp", dir / (out + "/pic.bmp"));
    Link("../victim.dat", dir / (out + "/big.dat"));
    Link("../elsewhere.txt", dir / (out + "/gone.txt"));
    run(out);

    for (const char* name : {"plain.txt", "pic.bmp", "gone.txt", "big.dat"}) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(IsRegular(dir / (out + "/" + name)));
      EXPECT_EQ(ReadFile(dir / (out + "/" + name)), ReadFile(dir / (expected + "/" + name)));
    }
    EXPECT_EQ(ReadFile(dir / "victim.txt"), B("not to be changed"));
    EXPECT_EQ(ReadFile(dir / "victim.bmp"), B("not a picture either"));
    EXPECT_EQ(ReadFile(dir / "victim.dat"), B("not large"));
    EXPECT_FALSE(FileExists(dir / "elsewhere.txt"));
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OutputLinkProgram, ::testing::ValuesIn(kTools),
                         [](const auto& info) { return std::string(info.param.unpacker); });

}  // namespace
}  // namespace qx::test
