// The Windows programs as a user runs them: parameters from the process
// command line, drive-relative paths, refused device names, and the shape of
// the executables themselves. Built for Windows only and run under wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "FixtureArchive.h"
#include "Process.h"
#include "TestKit.h"

namespace qx::test {
namespace {

constexpr const char* kPrograms[] = {"Fennbind", "Morrbind", "Fennloose", "Morrloose"};

class WindowsPrograms : public ::testing::Test {
 protected:
  ProcessResult Run(const std::string& program, const std::vector<std::string>& args) {
    return RunProcess(BinPath(program + ".exe"), args, dir.Path());
  }
  // The number of entries of an archive in the test folder.
  std::size_t CountOf(const std::string& archive) {
    const Bytes bytes = ReadFile(dir / archive);
    EXPECT_GE(bytes.size(), kCountBytes);
    return bytes.size() < kCountBytes ? 0 : Get16(bytes, 0);
  }
  // The drive of the test folder, "X:".
  std::string Drive() const { return dir.Path().substr(0, 2); }

  TempDir dir;
};

TEST_F(WindowsPrograms, ParametersWithBlanksArriveWhole) {
  MakeDir(dir / "my files");
  WriteFile(dir / "my files/a b.txt", "spaced");
  // The default folder of "my files.agg" is "my files\".
  ASSERT_EQ(Run("Fennbind", {"my files.agg"}).exitCode, 0);
  EXPECT_EQ(CountOf("my files.agg"), 1u);
  ASSERT_EQ(Run("Fennloose", {"my files.agg", "out folder\\sub dir"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out folder/sub dir/a b.txt"), B("spaced"));
  // A quoted parameter may end in a backslash: it is an ordinary character.
  ASSERT_EQ(Run("Fennloose", {"my files.agg", "second out\\"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "second out/a b.txt"), B("spaced"));
}

TEST_F(WindowsPrograms, EmptyQuotedParameterIsSkippedLikeABlank) {
  MakeDir(dir / "data");
  WriteFile(dir / "data/x.txt", "x");
  // The command line reads: Morrbind.exe "" data.agg. The pair of quotes is
  // skipped, so parameter 1 is data.agg rather than empty (which would show
  // the usage box and pack nothing).
  ASSERT_EQ(Run("Morrbind", {"", "data.agg"}).exitCode, 0);
  EXPECT_EQ(CountOf("data.agg"), 1u);
}

TEST_F(WindowsPrograms, DriveRelativeArchiveAndFolder) {
  MakeDir(dir / "data");
  WriteFile(dir / "data/x.txt", "drive");
  // "X:data.agg" names data.agg in the current folder of drive X, and its
  // default folder is "X:data\".
  ASSERT_EQ(Run("Fennbind", {Drive() + "data.agg"}).exitCode, 0);
  EXPECT_EQ(CountOf("data.agg"), 1u);
  ASSERT_EQ(Run("Fennloose", {Drive() + "data.agg", Drive() + "out"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out/x.txt"), B("drive"));
}

// An archive of the long layout with the given entries, laid out as the
// packers lay it out; the hashes are left 0 (unpacking never reads them).
Bytes LongArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<FixtureEntry> fixture;
  for (const auto& [name, data] : entries) fixture.push_back(Entry(name, B(data)));
  return BuildArchive(fixture, kLongEntry);
}

TEST_F(WindowsPrograms, EntriesNamingDevicesStopTheUnpacking) {
  const char* devices[] = {"con", "a\\NUL.txt", "lpt1 .x", "Com3.log"};
  for (const char* device : devices) {
    SCOPED_TRACE(device);
    const std::string out = std::string("out-") + std::to_string(&device - devices);
    WriteFile(dir / "d.agg", LongArchive({{"before.txt", "ok"}, {device, "device"}, {"after.txt", "no"}}));
    EXPECT_EQ(Run("Fennloose", {"d.agg", out}).exitCode, 1);
    // The entries before it are written; nothing of it or after it is.
    EXPECT_EQ(ListDir(dir / out), std::vector<std::string>{"before.txt"});
  }
}

// ---- The executables ---------------------------------------------------------

struct PeImage {
  std::uint32_t subsystem = 0;
  std::set<std::string> dlls;  // imported DLL names, lower case
};

// Reads the subsystem and the import table of a 64-bit PE file.
PeImage ReadPe(const Bytes& file) {
  constexpr std::size_t kPeOffsetField = 0x3C;
  constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
  constexpr std::size_t kCoffSize = 20;
  constexpr std::uint32_t kPe32PlusMagic = 0x20B;
  constexpr std::size_t kSubsystemField = 68;
  constexpr std::size_t kImportDirectoryField = 120;  // data directory 1 of PE32+
  constexpr std::size_t kSectionSize = 40;
  constexpr std::size_t kImportDescriptorSize = 20;
  constexpr std::size_t kImportNameField = 12;

  PeImage image;
  const std::size_t pe = Get32(file, kPeOffsetField);
  EXPECT_EQ(Get32(file, pe), kPeSignature);
  const std::size_t coff = pe + 4;
  const std::size_t sections = Get16(file, coff + 2);
  const std::size_t optional = coff + kCoffSize;
  EXPECT_EQ(Get16(file, optional), kPe32PlusMagic);
  image.subsystem = Get16(file, optional + kSubsystemField);
  const std::size_t sectionTable = optional + Get16(file, coff + 16);
  auto fileOffset = [&](std::uint32_t rva) -> std::size_t {
    for (std::size_t i = 0; i < sections; ++i) {
      const std::size_t s = sectionTable + i * kSectionSize;
      const std::uint32_t start = Get32(file, s + 12);
      const std::uint32_t extent = std::max(Get32(file, s + 8), Get32(file, s + 16));
      if (rva >= start && rva < start + extent) return Get32(file, s + 20) + (rva - start);
    }
    ADD_FAILURE() << "RVA outside every section: " << rva;
    return 0;
  };
  const std::uint32_t imports = Get32(file, optional + kImportDirectoryField);
  if (imports == 0) return image;
  for (std::size_t d = fileOffset(imports);; d += kImportDescriptorSize) {
    const std::uint32_t nameRva = Get32(file, d + kImportNameField);
    if (nameRva == 0) break;
    std::string name;
    for (std::size_t at = fileOffset(nameRva); file.at(at) != 0; ++at) {
      const char c = static_cast<char>(file[at]);
      name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    image.dlls.insert(name);
  }
  return image;
}

// The four programs show message boxes (GUI subsystem); qxarc writes to the
// console it was started from (console subsystem). None needs a DLL that is
// not part of Windows.
TEST(WindowsExecutables, HaveTheirSubsystemAndNeedOnlySystemDlls) {
  constexpr std::uint32_t kGuiSubsystem = 2;
  constexpr std::uint32_t kConsoleSubsystem = 3;
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "msvcrt.dll",
                                        "advapi32.dll", "gdi32.dll",  "ntdll.dll"};
  const struct {
    const char* program;
    std::uint32_t subsystem;
  } cases[] = {{"Fennbind", kGuiSubsystem},
               {"Morrbind", kGuiSubsystem},
               {"Fennloose", kGuiSubsystem},
               {"Morrloose", kGuiSubsystem},
               {"qxarc", kConsoleSubsystem}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const PeImage image = ReadPe(ReadFile(BinPath(std::string(c.program) + ".exe")));
    EXPECT_EQ(image.subsystem, c.subsystem);
    // MessageBoxA comes from user32; no runtime DLL (libstdc++, libgcc,
    // winpthread) is needed beside the program.
    if (c.subsystem == kGuiSubsystem) {
      EXPECT_TRUE(image.dlls.count("user32.dll"));
    }
    for (const std::string& dll : image.dlls) EXPECT_TRUE(system.count(dll)) << dll;
  }
}

}  // namespace
}  // namespace qx::test
