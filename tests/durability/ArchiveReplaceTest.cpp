// Replacing an archive leaves nothing beside it: after a run that succeeds,
// one that fails, and two packers writing the same archive at once.
#include <algorithm>
#include <thread>

#include "ProgramFixture.h"

namespace qx::test {
namespace {

class ArchiveReplace : public ProgramTest {
 protected:
  std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names = ListDir(folder);
    std::sort(names.begin(), names.end());
    return names;
  }

  void MakeFolder(const std::string& folder, int files, char fill) {
    MakeDir(folder);
    for (int i = 0; i < files; ++i) {
      WriteFile(folder + "/f" + std::to_string(i) + ".dat", Bytes(20000 + i, static_cast<std::uint8_t>(fill)));
    }
  }
};

TEST_F(ArchiveReplace, SuccessAndFailureLeaveOnlyTheArchive) {
  MakeFolder(dir / "Work/In", 3, 'a');
  WriteFile(dir / "Work/a.agg", B("old"));
  ExpectSuccess(Run("Fennbind", {"Work/a.agg", "Work/In"}));
  EXPECT_EQ(Names(dir / "Work"), (std::vector<std::string>{"In", "a.agg"}));
  const Bytes packed = ReadFile(dir / "Work/a.agg");
  // An image the packer refuses stops the run after the archive was begun.
  WriteFile(dir / "Work/In/bad.bmp", B("BM not a bitmap"));
  const ProcessResult failed = Run("Fennbind", {"Work/a.agg", "Work/In"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "Work/a.agg"), packed);
  EXPECT_EQ(Names(dir / "Work"), (std::vector<std::string>{"In", "a.agg"}));
}

TEST_F(ArchiveReplace, TwoPackersAtOnceGiveOneCompleteArchive) {
  MakeFolder(dir / "A", 40, 'a');
  MakeFolder(dir / "B", 50, 'b');
  ExpectSuccess(Run("Fennbind", {"a.agg", "A"}));
  ExpectSuccess(Run("Fennbind", {"b.agg", "B"}));
  const Bytes fromA = ReadFile(dir / "a.agg");
  const Bytes fromB = ReadFile(dir / "b.agg");
  MakeDir(dir / "Out");
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ProcessResult first, second;
    std::thread one([&] { first = Run("Fennbind", {"Out/x.agg", "A"}); });
    std::thread two([&] { second = Run("Fennbind", {"Out/x.agg", "B"}); });
    one.join();
    two.join();
    ExpectSuccess(first);
    ExpectSuccess(second);
    const Bytes result = ReadFile(dir / "Out/x.agg");
    EXPECT_TRUE(result == fromA || result == fromB) << result.size() << " bytes";
    EXPECT_EQ(Names(dir / "Out"), std::vector<std::string>{"x.agg"});
  }
}

}  // namespace
}  // namespace qx::test
