// Writes that the system cuts short, as on a full disk: the programs report
// them, keep the previous archive and leave no truncated file.
#include "FixtureBmp.h"
#include "FileSizeLimitPosix.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

constexpr std::uint64_t kLimit = 64 * 1024;

class WriteFailureTest : public ProgramTest {
 protected:
  ProcessResult RunLimited(const std::string& program, const std::vector<std::string>& args) {
    return RunProcessWithFileSizeLimit(BinPath(program), args, dir.Path(), kLimit);
  }
};

// A file gathered with others, and one large enough to be copied inside the
// system: the cut write is reported the same way for both.
TEST_F(WriteFailureTest, ArchiveThatCannotBeWrittenKeepsThePreviousOne) {
  MakeDir(dir / "Data");
  WriteFile(dir / "Data/small.txt", "small");
  WriteFile(dir / "Data.agg", "previous");
  for (const std::size_t size : {std::size_t{3 * kLimit}, std::size_t{(1u << 20) + 1}}) {
    WriteFile(dir / "Data/big.bin", Bytes(size, 0x5A));
    for (const char* packer : {"Fennbind", "Morrbind"}) {
      SCOPED_TRACE(std::string(packer) + ", " + std::to_string(size) + " bytes");
      const ProcessResult r = RunLimited(packer, {"Data.agg"});
      ExpectError(r, "Stream write error.\r\nData/big.bin");
      EXPECT_EQ(ReadFile(dir / "Data.agg"), B("previous"));
      EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"Data", "Data.agg"}));
    }
  }
}

TEST_F(WriteFailureTest, OutputsThatCannotBeWrittenAreRemoved) {
  // Entries written from the read-ahead window and copied inside the system.
  for (const std::size_t size : {std::size_t{2 * kLimit}, std::size_t{(1u << 20) + 1}}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    const Bytes big(size, 0x11);
    WriteFile(dir / "raw.agg", BuildArchive({Entry("ok.txt", B("ok")), Entry("big.dat", big)}, kLongEntry));
    const std::string out = "out1-" + std::to_string(size);
    const ProcessResult raw = RunLimited("Fennloose", {"raw.agg", out});
    EXPECT_EQ(raw.exitCode, 1);
    EXPECT_EQ(raw.err.rfind("System Error.  Code: ", 0), 0u) << raw.err;
    EXPECT_TRUE(EndsWith(raw.err, ".\nbig.dat\n")) << raw.err;
    EXPECT_EQ(ListDir(dir / out), std::vector<std::string>{"ok.txt"});
  }

  const Bytes pixels(400 * 400, 3);
  WriteFile(dir / "img.agg", BuildArchive({Entry("ok.txt", B("ok")), Entry("big.bmp", Record(400, 400, pixels))}, kShortEntry));
  ExpectError(RunLimited("Morrloose", {"img.agg", "out2"}), "Stream write error.\r\nbig.bmp");
  EXPECT_EQ(ListDir(dir / "out2"), std::vector<std::string>{"ok.txt"});
}

}  // namespace
}  // namespace qx::test
