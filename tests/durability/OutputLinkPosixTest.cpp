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

TEST_P(OutputLinkProgram, UnpackingOverLinksReplacesThemForPlainAndImageEntries) {
  MakeDir(dir / "In");
  WriteFile(dir / "In/plain.txt", B("plain entry"));
  WriteFile(dir / "In/pic.bmp", MakeBmp({2, 2, Bytes{1, 2, 3, 4}, Greys(256)}));
  WriteFile(dir / "In/gone.txt", B("entry whose link dangles"));
  ExpectSuccess(Run(GetParam().packer, {"a.agg", "In"}));
  // A first unpack gives the files an unpack over links must give too.
  ExpectSuccess(Run(GetParam().unpacker, {"a.agg", "Expected"}));

  MakeDir(dir / "Out");
  WriteFile(dir / "victim.txt", B("not to be changed"));
  WriteFile(dir / "victim.bmp", B("not a picture either"));
  Link("../victim.txt", dir / "Out/plain.txt");
  Link("../victim.bmp", dir / "Out/pic.bmp");
  Link("../elsewhere.txt", dir / "Out/gone.txt");
  ExpectSuccess(Run(GetParam().unpacker, {"a.agg", "Out"}));

  for (const char* name : {"plain.txt", "pic.bmp", "gone.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsRegular(dir / ("Out/" + std::string(name))));
    EXPECT_EQ(ReadFile(dir / ("Out/" + std::string(name))), ReadFile(dir / ("Expected/" + std::string(name))));
  }
  EXPECT_EQ(ReadFile(dir / "victim.txt"), B("not to be changed"));
  EXPECT_EQ(ReadFile(dir / "victim.bmp"), B("not a picture either"));
  EXPECT_FALSE(FileExists(dir / "elsewhere.txt"));
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OutputLinkProgram, ::testing::ValuesIn(kTools),
                         [](const auto& info) { return std::string(info.param.unpacker); });

}  // namespace
}  // namespace qx::test
