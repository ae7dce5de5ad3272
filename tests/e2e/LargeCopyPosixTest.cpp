// Large files and entries are copied inside the system where it can copy
// between the two files, and through the program's bounded buffer where it
// cannot (an archive on another volume than the files); byte for byte
// either way, with small entries before and after them read ahead together.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "ProgramFixture.h"

namespace qx::test {
namespace {

constexpr const char* kStrace = "/usr/bin/strace";
constexpr const char* kOtherVolume = "/dev/shm";

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  return data;
}

std::uint64_t DeviceOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_dev) : 0;
}

// A folder on another volume, removed with the test.
class OtherVolumeDir {
 public:
  OtherVolumeDir() {
    std::string pattern = std::string(kOtherVolume) + "/qxtest-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~OtherVolumeDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class LargeCopyTest : public ProgramTest {
 protected:
  // Runs a program under strace, tracing only the kernel copy; returns the
  // trace.
  std::string Traced(const std::string& program, const std::vector<std::string>& args) {
    const std::string trace = dir / "trace.txt";
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options =
        "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
    std::vector<std::string> all{"-f", "-E", options, "-o", trace, "-e", "trace=copy_file_range",
                                 BinPath(program)};
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult r = RunProcess(kStrace, all, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(trace);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(LargeCopyTest, InsideTheSystemOnOneVolumeThroughTheBufferAcrossVolumes) {
  if (access(kStrace, X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  OtherVolumeDir other;
  const bool haveOther = !other.Path().empty() && DeviceOf(other.Path()) != DeviceOf(dir.Path());

  // Small entries around two large ones, so read-ahead, the kernel copy and
  // the buffer all meet in one archive.
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"a.txt", B("first small file")},
      {"big1.dat", RandomBytes((3u << 20) + 5, 1)},
      {"m.txt", B("between")},
      {"big2.dat", RandomBytes((9u << 20) + 1, 2)},
      {"z.txt", B("last")},
  };
  MakeDir(dir / "In");
  for (const auto& [name, data] : files) WriteFile(dir / ("In/" + name), data);

  const std::regex copied(R"(copy_file_range\(.*\) = [1-9][0-9]*)");
  const std::regex refused(R"(copy_file_range\(.*\) = -1 EXDEV)");
  const struct {
    const char* name;
    bool acrossVolumes;
  } cases[] = {{"one volume", false}, {"across volumes", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.acrossVolumes && !haveOther) {
      std::cout << "no second volume at " << kOtherVolume << "; the buffered copy is not shown\n";
      continue;
    }
    const std::string archive = c.acrossVolumes ? other.Path() + "/a.agg" : dir / "a.agg";
    const std::string out = std::string("Out-") + (c.acrossVolumes ? "across" : "one");

    std::string trace = Traced("Fennbind", {archive, "In"});
    EXPECT_TRUE(std::regex_search(trace, c.acrossVolumes ? refused : copied)) << trace;
    const Bytes bytes = ReadFile(archive);
    const std::vector<ParsedEntry> stored = ParseArchive(bytes, kLongEntry);
    ASSERT_EQ(stored.size(), files.size());

    trace = Traced("Fennloose", {archive, out});
    EXPECT_TRUE(std::regex_search(trace, c.acrossVolumes ? refused : copied)) << trace;
    for (const auto& [name, data] : files) {
      EXPECT_EQ(ReadFile(dir / (out + "/" + name)), data) << name;
    }
    // qxarc keeps the large entries it does not touch byte for byte, and
    // extracts them as the unpacker does.
    WriteFile(dir / "m.txt", B("replaced"));
    ASSERT_EQ(RunProcess(BinPath("qxarc"), {"update", archive, "m.txt"}, dir.Path()).exitCode, 0);
    ASSERT_EQ(RunProcess(BinPath("qxarc"), {"extract", "-C", out + "-q", archive}, dir.Path()).exitCode, 0);
    for (const auto& [name, data] : files) {
      EXPECT_EQ(ReadFile(dir / (out + "-q/" + name)), name == "m.txt" ? B("replaced") : data) << name;
    }
  }
}

}  // namespace
}  // namespace qx::test
