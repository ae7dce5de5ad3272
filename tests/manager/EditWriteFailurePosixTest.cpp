// pack, update and delete whose archive cannot be written, as on a full
// disk: each reports the failure and leaves the previous archive and no
// temporary file.
#include "FixtureArchive.h"
#include "FileSizeLimitPosix.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

constexpr std::uint64_t kLimit = 64 * 1024;

TEST(EditWriteFailure, TheArchiveThatCannotBeWrittenKeepsThePreviousOne) {
  TempDir dir;
  const Bytes big(3 * kLimit, 0x5A);
  const Bytes original = BuildArchive({Entry("small.txt", B("small")), Entry("big.bin", big)}, kLongEntry);
  MakeDir(dir / "D");
  WriteFile(dir / "D/big.bin", big);
  WriteFile(dir / "new.txt", "new");
  const std::vector<std::vector<std::string>> runs{
      {"update", "--layout", "long", "a.agg", "new.txt"},
      {"delete", "--layout", "long", "a.agg", "small.txt"},
      {"pack", "a.agg", "D"},
  };
  for (const auto& args : runs) {
    SCOPED_TRACE(args[0]);
    WriteFile(dir / "a.agg", original);
    const ProcessResult r = RunProcessWithFileSizeLimit(BinPath("qxarc"), args, dir.Path(), kLimit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("qxarc: a.agg: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Stream write error"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.agg"), original);
    EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"D", "a.agg", "new.txt"}));
  }
}

}  // namespace
}  // namespace qx::test
