// Links inside the packed folder: the packer follows them, and refuses the
// archive itself however a link reaches it.
#include <sys/stat.h>
#include <unistd.h>

#include "ProgramFixture.h"

namespace qx::test {
namespace {

class LinkTest : public ProgramTest {};

TEST_F(LinkTest, ArchiveReachedThroughALinkInTheFolderIsRefused) {
  const struct {
    const char* name;
    bool hard;
  } cases[] = {{"hard.agg", true}, {"soft.agg", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir local;
    MakeDir(local / "Data");
    WriteFile(local / "Data/x.txt", "x");
    ASSERT_EQ(RunProcess(BinPath("Fennbind"), {"out.agg", "Data"}, local.Path()).exitCode, 0);
    const Bytes first = ReadFile(local / "out.agg");
    // A plain file of the archive's size and bytes is not the archive.
    WriteFile(local / "Data/lookalike.agg", first);
    const std::string link = local / (std::string("Data/") + c.name);
    ASSERT_EQ(c.hard ? ::link((local / "out.agg").c_str(), link.c_str())
                     : ::symlink("../out.agg", link.c_str()),
              0);
    const ProcessResult r = RunProcess(BinPath("Fennbind"), {"out.agg", "Data"}, local.Path());
    ExpectError(r, std::string("Cannot pack the archive into itself.\r\nData/") + c.name);
    EXPECT_EQ(ReadFile(local / "out.agg"), first);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ExpectSuccess(RunProcess(BinPath("Fennbind"), {"out.agg", "Data"}, local.Path()));
  }
}

TEST_F(LinkTest, LinkedFilesArePackedAndOtherKindsLeftOut) {
  MakeDir(dir / "Data");
  WriteFile(dir / "target.bin", "linked bytes");
  ASSERT_EQ(symlink("../target.bin", (dir / "Data/link.bin").c_str()), 0);
  ASSERT_EQ(symlink("missing", (dir / "Data/broken.bin").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "Data/fifo.bin").c_str(), 0600), 0);
  ExpectSuccess(Run("Fennbind", {"Data.agg", "Data"}));
  ExpectSuccess(Run("Fennloose", {"Data.agg", "Out"}));
  EXPECT_EQ(ListDir(dir / "Out"), std::vector<std::string>{"link.bin"});
  EXPECT_EQ(ReadFile(dir / "Out/link.bin"), B("linked bytes"));
}

}  // namespace
}  // namespace qx::test
