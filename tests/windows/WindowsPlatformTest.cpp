// Windows behaviour that the POSIX backend does not have: share modes, the
// system's error texts, drive-qualified paths and reserved device names.
// Built for Windows only and run under wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

#include "Platform.h"
#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"
#include "TestKit.h"
#include "Unpacker.h"

namespace qx {
namespace {

using test::TempDir;

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
// A code with the customer bit set: the system has no text for it.
constexpr std::uint32_t kCodeWithoutText = 0x20001234u;

std::string Backslashed(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The message RaiseOSError shows for a code, from the system's own text.
std::string OSErrorText(std::uint32_t code) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + SystemErrorMessage(code);
}

// Runs `action` and returns the message of the qx::Exception it raises.
template <typename Action>
std::string MessageOf(Action action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// Holds one handle for the length of a test.
class OpenFile {
 public:
  OpenFile(const std::string& name, std::uint32_t access, std::uint32_t share,
           std::uint32_t disposition)
      : handle_(os::CreateFile(name, access, share, disposition, os::AttributeNormal)) {}
  ~OpenFile() {
    if (handle_ != os::InvalidHandle) os::CloseHandle(handle_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  bool IsOpen() const { return handle_ != os::InvalidHandle; }

 private:
  os::Handle handle_;
};

// Makes a folder the current folder for the length of a test.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

// ---- Share modes -------------------------------------------------------------

// Every way the tools open an existing file, each of which must be refused
// with the sharing error while another handle holds the file exclusively.
struct SecondOpen {
  const char* what;
  std::uint32_t access;
  std::uint32_t share;
};

const SecondOpen kSecondOpens[] = {
    {"whole-file read", os::GenericRead, os::ShareRead},
    {"read sharing everything", os::GenericRead, os::ShareRead | os::ShareWrite | os::ShareDelete},
    {"whole-file write", os::GenericWrite, os::ShareRead | os::ShareDelete},
    {"file stream read", os::GenericRead, os::ShareNone},
};

void ExpectEveryOpenRefused(const std::string& path) {
  for (const SecondOpen& open : kSecondOpens) {
    SCOPED_TRACE(open.what);
    os::SetLastError(0);
    OpenFile second(path, open.access, open.share, os::OpenExisting);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(os::GetLastError(), kSharingViolation);
  }
  EXPECT_FALSE(os::DeleteFile(path));
  EXPECT_EQ(os::GetLastError(), kSharingViolation);
  // What a user sees when a tool reaches the file meanwhile.
  EXPECT_EQ(MessageOf([&] { LoadWholeFile(path); }), OSErrorText(kSharingViolation));
  EXPECT_EQ(MessageOf([&] { TFileStream again(path, TFileStream::Mode::OpenRead); }),
            "Cannot open file \"" + os::GetFullPathName(path) + "\". " +
                SystemErrorMessage(kSharingViolation));
}

TEST(WindowsSharing, TemporaryArchiveIsHeldExclusivelyWhileItIsWritten) {
  TempDir dir;
  const std::string temp = dir / "Data.agg.qxtmp123";
  {
    // The packer creates its temporary archive with these arguments.
    OpenFile writer(temp, os::GenericRead | os::GenericWrite, os::ShareNone, os::CreateNew);
    ASSERT_TRUE(writer.IsOpen());
    ExpectEveryOpenRefused(temp);
  }
  // Once it is closed, the file is free again.
  EXPECT_TRUE(LoadWholeFile(temp).empty());
  EXPECT_TRUE(os::DeleteFile(temp));
}

TEST(WindowsSharing, FileStreamOpenedForReadingSharesNothing) {
  TempDir dir;
  const std::string palette = dir / "H2Palette.bmp";
  test::WriteFile(palette, "palette bytes");
  {
    TFileStream held(palette, TFileStream::Mode::OpenRead);
    ExpectEveryOpenRefused(palette);
  }
  EXPECT_EQ(LoadWholeFile(palette), ByteBuffer(test::B("palette bytes")));
}

TEST(WindowsSharing, FileStreamCannotOpenAFileSomeoneWrites) {
  TempDir dir;
  const std::string path = dir / "busy.agg";
  test::WriteFile(path, "x");
  // A writer that lets others read still blocks a reader that shares nothing,
  // since that reader would deny the writer's write access.
  OpenFile writer(path, os::GenericWrite, os::ShareRead | os::ShareDelete, os::OpenExisting);
  ASSERT_TRUE(writer.IsOpen());
  EXPECT_EQ(MessageOf([&] { TFileStream in(path, TFileStream::Mode::OpenRead); }),
            "Cannot open file \"" + os::GetFullPathName(path) + "\". " +
                SystemErrorMessage(kSharingViolation));
  // The whole-file read shares reading only, so it is refused as well.
  EXPECT_EQ(MessageOf([&] { LoadWholeFile(path); }), OSErrorText(kSharingViolation));
}

// ---- System error texts ------------------------------------------------------

TEST(WindowsErrors, TextsComeFromTheSystemWithoutTheirFinalFullStopAndLineBreak) {
  for (const std::uint32_t code : {kFileNotFound, kPathNotFound, kAccessDenied, kSharingViolation}) {
    SCOPED_TRACE(code);
    const std::string raw = os::SystemErrorText(code);
    const std::string trimmed = SystemErrorMessage(code);
    ASSERT_FALSE(trimmed.empty());
    // The system's text ends in a full stop and a line break; only that tail
    // is removed.
    ASSERT_GT(raw.size(), trimmed.size());
    EXPECT_EQ(raw.compare(0, trimmed.size(), trimmed), 0) << raw;
    EXPECT_EQ(raw[trimmed.size()], '.') << raw;
    EXPECT_EQ(raw.back(), '\n') << raw;
    EXPECT_NE(trimmed.back(), '.');
    os::SetLastError(code);
    EXPECT_EQ(MessageOf([] { RaiseOSError(); }), "System Error.  Code: " + std::to_string(code) +
                                                     ".\r\n" + trimmed);
  }
  // A code the system has no text for leaves that part empty.
  EXPECT_EQ(os::SystemErrorText(kCodeWithoutText), "");
  os::SetLastError(kCodeWithoutText);
  EXPECT_EQ(MessageOf([] { RaiseOSError(); }), "System Error.  Code: 536875572.\r\n");
  os::SetLastError(0);
  EXPECT_EQ(MessageOf([] { RaiseOSError(); }), "A call to an OS function failed");
}

TEST(WindowsErrors, FailingOperationsReportTheSystemsCode) {
  TempDir dir;
  test::WriteFile(dir / "file", "x");
  EXPECT_EQ(MessageOf([&] { LoadWholeFile(dir / "missing.bin"); }), OSErrorText(kFileNotFound));
  EXPECT_EQ(MessageOf([&] { LoadWholeFile(dir / "missing\\x.bin"); }), OSErrorText(kPathNotFound));
  // A folder is no file: opening it is refused with "access denied".
  EXPECT_EQ(MessageOf([&] { LoadWholeFile(dir.Path()); }), OSErrorText(kAccessDenied));
  const std::string missing = dir / "missing.agg";
  EXPECT_EQ(MessageOf([&] { TFileStream in(missing, TFileStream::Mode::OpenRead); }),
            "Cannot open file \"" + Backslashed(missing) + "\". " + SystemErrorMessage(kFileNotFound));
  // Codes 2 and 3 end a listing quietly; a listing of a missing folder is empty.
  TQxFindFile missingFolder(dir / "missing\\*");
  EXPECT_FALSE(missingFolder.Found());
  TQxFindFile nothingMatches(dir / "*.none");
  EXPECT_FALSE(nothingMatches.Found());
}

// ---- Paths -------------------------------------------------------------------

TEST(WindowsPaths, FullPathsAreDriveQualifiedAndNormalised) {
  TempDir dir;
  CurrentFolder here(dir.Path());
  const std::string cwd = Backslashed(dir.Path());
  const std::string drive = cwd.substr(0, 2);  // the current drive, "X:"
  ASSERT_EQ(drive[1], ':');
  EXPECT_EQ(os::GetFullPathName("x.agg"), cwd + "\\x.agg");
  // A drive-relative path is resolved against that drive's current folder.
  EXPECT_EQ(os::GetFullPathName(drive + "x.agg"), cwd + "\\x.agg");
  EXPECT_EQ(os::GetFullPathName("a/b/../c/./x.agg"), cwd + "\\a\\c\\x.agg");
  EXPECT_EQ(os::GetFullPathName("\\x.agg"), drive + "\\x.agg");
}

TEST(WindowsPaths, DriveRelativePathsWorkInTheFileHelpers) {
  TempDir dir;
  CurrentFolder here(dir.Path());
  const std::string drive = Backslashed(dir.Path()).substr(0, 2);
  // "X:" is the current folder of drive X; missing folders below it are made.
  EXPECT_TRUE(ForceFolder(drive));
  SaveWholeFile(drive + "new\\sub\\x.bin", ByteBuffer{1, 2, 3});
  EXPECT_EQ(test::ReadFile(dir / "new/sub/x.bin"), (test::Bytes{1, 2, 3}));
  EXPECT_EQ(LoadWholeFile(drive + "new/sub/x.bin"), (ByteBuffer{1, 2, 3}));
  // The drive root exists, so ForceFolder stops there without creating anything.
  EXPECT_TRUE(ForceFolder(drive + "\\"));
  // Path helpers on drive-qualified names, with the Windows delimiter.
  EXPECT_EQ(ExtractFolder(drive + "x.agg"), drive);
  EXPECT_EQ(AddTrailingDelimiter(drive), drive + "\\");
  EXPECT_EQ(AddTrailingDelimiter(ReplaceExtension(drive + "x.agg", "")), drive + "x\\");
}

TEST(WindowsPaths, ModuleFileNameAndAppFolderAreFullWindowsPaths) {
  const std::string module = os::ModuleFileName();
  ASSERT_GT(module.size(), 3u);
  EXPECT_EQ(module.substr(1, 2), ":\\") << module;
  EXPECT_TRUE(SameTextAscii(ExtractExtension(module), ".exe")) << module;
  InitAppFolder();
  EXPECT_EQ(AppFolder(), ExtractFolder(module));
  EXPECT_EQ(AppFolder().back(), '\\');
}

// ---- Reserved device names ---------------------------------------------------

TEST(WindowsDeviceNames, EntryNamesThatNameDevicesAreUnsafe) {
  const char* devices[] = {"con",     "CON",      "Prn",       "aux",   "NUL",       "com1",
                           "COM9",    "lpt1",     "LPT9",      "nul.txt", "CON.",    "con .txt",
                           "lpt1 .x", "aux.tar.gz", "a\\NUL.txt", "sub/com3", "Com4  ", "con\\x"};
  for (const char* name : devices) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(archive::IsSafeEntryName(name, os::RefusesDeviceNames()));
  }
  const char* files[] = {"console", "com0", "com10", "lpt", "nul1", "xcon", "conx.txt",
                         "a\\null", "c.on",  "co",    "com1x", "_nul"};
  for (const char* name : files) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(archive::IsSafeEntryName(name, os::RefusesDeviceNames()));
  }
}

}  // namespace
}  // namespace qx
