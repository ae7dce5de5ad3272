// The Windows programs (run under wine) and the native programs must write
// the same archives and unpack the same files. Built natively; it runs the
// programs of the `windows` build (build/windows/bin) when they and wine are
// there, and skips otherwise.
//
// A folder listing comes in file-system order, which wine and the native
// system need not share: one-file folders are compared byte for byte, and a
// larger folder entry by entry, each entry found by its name slot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "FixtureArchive.h"
#include "FixtureBmp.h"
#include "Process.h"
#include "TestKit.h"

namespace qx::test {
namespace {

namespace fs = std::filesystem;

struct Program {
  const char* packer;
  const char* unpacker;
  std::size_t entrySize;
};

const Program kPrograms[] = {{"Fennbind", "Fennloose", kLongEntry}, {"Morrbind", "Morrloose", kShortEntry}};

// One entry of an archive without its offset, which depends on the order of
// the listing: its name slot, hash, size and data.
struct Stored {
  Bytes slot;
  std::uint32_t hash = 0;
  std::uint32_t size = 0;
  Bytes data;
  bool operator<(const Stored& o) const {
    return std::tie(slot, hash, size, data) < std::tie(o.slot, o.hash, o.size, o.data);
  }
  bool operator==(const Stored& o) const = default;
};

std::vector<Stored> Entries(const Bytes& archive, std::size_t entrySize) {
  std::vector<Stored> entries;
  for (ParsedEntry& e : ParseArchive(archive, entrySize)) {
    entries.push_back({std::move(e.slot), e.hash, e.size, std::move(e.data)});
  }
  return entries;
}

// Every file below a folder, by its path relative to it, with the SHA-256
// of its bytes.
std::vector<std::pair<std::string, std::string>> Tree(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) {
      files.emplace_back(fs::relative(item.path(), folder).generic_string(),
                         Sha256Hex(ReadFile(item.path().string())));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path == nullptr ? "" : path;
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
    std::error_code ec;
    if (end > start && fs::is_regular_file(candidate, ec)) return candidate.string();
    start = end + 1;
  }
  return "";
}

class WindowsParity : public ::testing::TestWithParam<Program> {
 protected:
  void SetUp() override {
    windowsBin_ = std::string(QX_SOURCE_DIR) + "/build/windows/bin/";
    wine_ = FindOnPath("wine");
    if (wine_.empty()) GTEST_SKIP() << "wine is not installed";
    if (!FileExists(windowsBin_ + GetParam().packer + ".exe")) {
      GTEST_SKIP() << "no Windows build in " << windowsBin_ << " (scripts/test-windows.sh makes one)";
    }
    // The prefix of the Windows test run; no display, so a message box
    // returns at once instead of waiting for a click.
    setenv("WINEDEBUG", "-all", 0);
    setenv("WINEPREFIX", (std::string(QX_SOURCE_DIR) + "/build/windows/wineprefix").c_str(), 0);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }

  // Runs a native program and its Windows twin in `folder`, each with its
  // own relative parameters; both must succeed.
  void RunBoth(const std::string& program, const std::string& folder,
               const std::vector<std::string>& nativeArgs, const std::vector<std::string>& windowsArgs) {
    std::vector<std::string> wineArgs{windowsBin_ + program + ".exe"};
    wineArgs.insert(wineArgs.end(), windowsArgs.begin(), windowsArgs.end());
    const ProcessResult n = RunProcess(BinPath(program), nativeArgs, folder);
    ASSERT_EQ(n.exitCode, 0) << program << " (native): " << n.err;
    const ProcessResult w = RunProcess(wine_, wineArgs, folder);
    ASSERT_EQ(w.exitCode, 0) << program << ".exe under wine: " << w.err;
  }

  std::string wine_;
  std::string windowsBin_;
  TempDir dir;
};

// Files that exercise every path of the packers: plain, empty, a name cut
// to 14 bytes, a background stored as it is (already a raw image record),
// and 8-bit images converted. No two names differ only in letter case: on
// Windows they would name one file.
std::vector<std::pair<std::string, Bytes>> SampleFiles() {
  const Bytes image = ReadFile(SharedPath("testdata/bmpsuite/pal8.bmp"));
  Bytes pattern;
  for (int i = 0; i < 70000; ++i) pattern.push_back(static_cast<std::uint8_t>(i * 7 + i / 251));
  return {{"notes.txt", B("plain text\r\n")},
          {"empty", {}},
          {"name_longer_than_14.dat", pattern},
          {"Sky.bkg", Record(3, 2, {1, 2, 3, 4, 5, 6})},  // a raw 3 x 2 image record
          {"pal8.bmp", image},
          {"SEA.BKG.BMP", image}};
}

TEST_P(WindowsParity, OneFileFoldersGiveIdenticalArchives) {
  for (const auto& [name, bytes] : SampleFiles()) {
    SCOPED_TRACE(name);
    const std::string folder = dir / ("one-" + name);
    MakeDir(folder + "/in");
    WriteFile(folder + "/in/" + name, bytes);
    ASSERT_NO_FATAL_FAILURE(RunBoth(GetParam().packer, folder, {"native.agg", "in"}, {"windows.agg", "in"}));
    EXPECT_EQ(ReadFile(folder + "/windows.agg"), ReadFile(folder + "/native.agg"));
  }
}

TEST_P(WindowsParity, LargerFolderGivesTheSameEntries) {
  const std::string folder = dir.Path();
  MakeDir(dir / "in");
  for (const auto& [name, bytes] : SampleFiles()) WriteFile(dir / ("in/" + name), bytes);
  for (int i = 0; i < 20; ++i) WriteFile(dir / ("in/file" + std::to_string(i)), Bytes(i * 13, static_cast<std::uint8_t>(i)));
  ASSERT_NO_FATAL_FAILURE(RunBoth(GetParam().packer, folder, {"native.agg", "in"}, {"windows.agg", "in"}));
  const Bytes native = ReadFile(dir / "native.agg");
  const Bytes windows = ReadFile(dir / "windows.agg");
  std::vector<Stored> nativeEntries = Entries(native, GetParam().entrySize);
  std::vector<Stored> windowsEntries = Entries(windows, GetParam().entrySize);
  ASSERT_EQ(nativeEntries.size(), 26u);
  // Listed in the same order, the archives are equal byte for byte.
  const bool sameOrder = std::equal(nativeEntries.begin(), nativeEntries.end(), windowsEntries.begin(),
                                    windowsEntries.end(), [](const Stored& a, const Stored& b) { return a.slot == b.slot; });
  if (sameOrder) {
    EXPECT_EQ(windows, native);
  }
  EXPECT_EQ(windows.size(), native.size());
  std::sort(nativeEntries.begin(), nativeEntries.end());
  std::sort(windowsEntries.begin(), windowsEntries.end());
  EXPECT_TRUE(windowsEntries == nativeEntries);
}

TEST_P(WindowsParity, UnpackingGivesTheSameFiles) {
  MakeDir(dir / "in");
  for (const auto& [name, bytes] : SampleFiles()) WriteFile(dir / ("in/" + name), bytes);
  const ProcessResult packed = RunProcess(BinPath(GetParam().packer), {"data.agg", "in"}, dir.Path());
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  ASSERT_NO_FATAL_FAILURE(
      RunBoth(GetParam().unpacker, dir.Path(), {"data.agg", "native-out"}, {"data.agg", "windows-out"}));
  EXPECT_EQ(Tree(dir / "windows-out"), Tree(dir / "native-out"));
  EXPECT_EQ(Tree(dir / "native-out").size(), SampleFiles().size());
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, WindowsParity, ::testing::ValuesIn(kPrograms),
                         [](const auto& info) { return std::string(info.param.packer); });

}  // namespace
}  // namespace qx::test
