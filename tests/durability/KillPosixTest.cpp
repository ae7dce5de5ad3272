// A pack run over an existing archive, seen from outside: the order of its
// system calls (data durable before the rename, the folder after it), a run
// killed at random moments, and the permissions of the new archive.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "ProgramFixture.h"

namespace qx::test {
namespace {

constexpr const char* kStrace = "/usr/bin/strace";

// A folder of `files` files of `size` bytes each, different per `seed`.
void MakeFolder(const std::string& folder, int files, std::size_t size, unsigned seed) {
  MakeDir(folder);
  std::mt19937 random(seed);
  for (int i = 0; i < files; ++i) {
    Bytes data(size);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    WriteFile(folder + "/f" + std::to_string(i) + ".dat", data);
  }
}

// Starts the program in `workingDir` with its output discarded.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& workingDir) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    if (chdir(workingDir.c_str()) != 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

class PackRun : public ProgramTest {};

TEST_F(PackRun, DataIsDurableBeforeTheRenameAndTheFolderAfterIt) {
  if (access(kStrace, X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  MakeFolder(dir / "In", 3, 1000, 1);
  WriteFile(dir / "a.agg", B("old archive"));
  // The leak checker of a sanitized build cannot run under ptrace.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string options =
      "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
  const ProcessResult r = RunProcess(
      kStrace, {"-f", "-E", options, "-o", dir / "trace.txt", "-e",
                "trace=open,openat,close,fsync,fdatasync,rename,renameat,renameat2,linkat",
                BinPath("Fennbind"), "a.agg", "In"},
      dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::ifstream in(dir / "trace.txt");
  std::vector<std::string> calls;
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  // The call that puts the archive in place, and the syncs around it.
  const std::regex rename(R"(rename(at2?)?\(.*"a\.agg\.qxtmp[0-9]+",.*"a\.agg"(, 0)?\) = 0)");
  const std::regex dataSync(R"((fsync|fdatasync)\(([0-9]+)\) += 0)");
  std::ptrdiff_t renameAt = -1;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (std::regex_search(calls[i], rename)) renameAt = static_cast<std::ptrdiff_t>(i);
  }
  ASSERT_GE(renameAt, 0) << "no rename onto the archive";
  bool dataBefore = false;
  for (std::ptrdiff_t i = 0; i < renameAt; ++i) dataBefore |= std::regex_search(calls[i], dataSync);
  EXPECT_TRUE(dataBefore) << "no sync of the data before the rename";
  // After the rename: the folder opened as a folder, then synced.
  bool folderOpened = false, folderSynced = false;
  for (std::size_t i = static_cast<std::size_t>(renameAt) + 1; i < calls.size(); ++i) {
    if (calls[i].find("O_DIRECTORY") != std::string::npos) folderOpened = true;
    if (folderOpened && std::regex_search(calls[i], std::regex(R"(^[0-9]+ +fsync\()"))) folderSynced = true;
  }
  EXPECT_TRUE(folderSynced) << "no sync of the folder after the rename";
}

// Without /proc an unnamed file could never be named; the named temporary
// file takes its place and the run succeeds. Hiding /proc needs a mount
// namespace of the test's own (root, or a system that allows it).
TEST_F(PackRun, WithoutProcTheNamedTemporaryFileTakesOver) {
#ifdef QX_SANITIZED
  GTEST_SKIP() << "the sanitizers' runtime needs /proc";
#endif
  const char* unshare = "/usr/bin/unshare";
  if (access(unshare, X_OK) != 0) GTEST_SKIP() << "unshare is not installed";
  const ProcessResult probe =
      RunProcess(unshare, {"--mount", "--propagation", "private", "/bin/sh", "-c", "umount -l /proc"}, dir.Path());
  if (probe.exitCode != 0) GTEST_SKIP() << "no mount namespace of our own: " << probe.err;
  MakeFolder(dir / "In", 3, 1000, 4);
  ExpectSuccess(Run("Fennbind", {"expected.agg", "In"}));
  WriteFile(dir / "a.agg", B("old archive"));
  const ProcessResult r = RunProcess(
      unshare,
      {"--mount", "--propagation", "private", "/bin/sh", "-c",
       "umount -l /proc && test ! -e /proc/self && exec \"$0\" a.agg In", BinPath("Fennbind")},
      dir.Path());
  ExpectSuccess(r);
  EXPECT_EQ(ReadFile(dir / "a.agg"), ReadFile(dir / "expected.agg"));
  std::vector<std::string> names = ListDir(dir.Path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"In", "a.agg", "expected.agg"}));
}

TEST_F(PackRun, KilledAtAnyMomentLeavesTheOldOrTheNewArchiveAndNothingElse) {
  // Big enough that a run lasts some tens of milliseconds.
  MakeFolder(dir / "Old", 2, 100, 2);
  MakeFolder(dir / "Work/In", 300, 64 * 1024, 3);
  ExpectSuccess(Run("Fennbind", {"old.agg", "Old"}));
  const Bytes oldArchive = ReadFile(dir / "old.agg");
  ExpectSuccess(Run("Fennbind", {"new.agg", "Work/In"}));
  const Bytes newArchive = ReadFile(dir / "new.agg");

  const auto start = std::chrono::steady_clock::now();
  ExpectSuccess(Run("Fennbind", {"Work/a.agg", "Work/In"}));
  const auto runTime = std::chrono::steady_clock::now() - start;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(runTime).count();

  std::mt19937 random(42);
  int oldSeen = 0, newSeen = 0;
  constexpr int kRuns = 30;
  for (int run = 0; run < kRuns; ++run) {
    WriteFile(dir / "Work/a.agg", oldArchive);
    const auto delay = std::chrono::microseconds(random() % static_cast<unsigned>(micros + micros / 4 + 1));
    const pid_t pid = Start(BinPath("Fennbind"), {"a.agg", "In"}, dir / "Work");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    SCOPED_TRACE("run " + std::to_string(run) + ", killed after " + std::to_string(delay.count()) + " us");
    const Bytes now = ReadFile(dir / "Work/a.agg");
    EXPECT_TRUE(now == oldArchive || now == newArchive) << "archive of " << now.size() << " bytes";
    (now == oldArchive ? oldSeen : newSeen) += 1;
    std::vector<std::string> names = ListDir(dir / "Work");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"In", "a.agg"}));
  }
  // Report how the kills fell; both outcomes are sound.
  std::cout << "old archive after " << oldSeen << " kills, new after " << newSeen << "\n";
}

TEST_F(PackRun, NewArchiveGetsThePermissionsOfANewFile) {
  MakeFolder(dir / "In", 1, 10, 4);
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
    std::remove((dir / "a.agg").c_str());
    const mode_t before = umask(mask);
    const ProcessResult r = Run("Fennbind", {"a.agg", "In"});
    umask(before);
    ExpectSuccess(r);
    struct stat info {};
    ASSERT_EQ(stat((dir / "a.agg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
  }
}

}  // namespace
}  // namespace qx::test
