#include <gtest/gtest.h>

#include <algorithm>

#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"
#include "TestKit.h"

namespace qx {
namespace {

using test::Bytes;
using test::MessageOf;
using test::TempDir;

TEST(WholeFiles, RoundTripEmptyAndLarge) {
  TempDir dir;
  SaveWholeFile(dir / "empty", ByteBuffer());
  EXPECT_TRUE(LoadWholeFile(dir / "empty").empty());
  ByteBuffer big(5 * 1024 * 1024 + 3);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + (i >> 13));
  SaveWholeFile(dir / "big", big);
  EXPECT_EQ(LoadWholeFile(dir / "big"), big);
  // Replacing a longer file leaves exactly the new content.
  SaveWholeFile(dir / "big", ByteBuffer{1, 2, 3});
  EXPECT_EQ(test::ReadFile(dir / "big"), (Bytes{1, 2, 3}));
}

TEST(WholeFiles, SaveCreatesMissingFolders) {
  TempDir dir;
  SaveWholeFile(dir / "new/sub/x.bin", ByteBuffer{42});
  EXPECT_EQ(test::ReadFile(dir / "new/sub/x.bin"), Bytes{42});
  // Delimiters written the other way round land in the same folders.
  SaveWholeFile(dir.Path() + "/new\\sub\\y.bin", ByteBuffer{43});
  EXPECT_EQ(test::ReadFile(dir / "new/sub/y.bin"), Bytes{43});
}

TEST(WholeFiles, MissingFileIsAnOSErrorWithItsCode) {
  TempDir dir;
  os::SetLastError(0);
  try {
    LoadWholeFile(dir / "missing");
    FAIL() << "no error";
  } catch (const EOSError& e) {
    EXPECT_NE(e.Code(), 0u);
    EXPECT_EQ(e.Message(), "System Error.  Code: " + std::to_string(e.Code()) + ".\r\n" +
                               SystemErrorMessage(e.Code()));
  }
}

TEST(WholeFiles, SaveIntoAFileUsedAsFolderFails) {
  TempDir dir;
  test::WriteFile(dir / "file", "x");
  EXPECT_THROW(SaveWholeFile(dir / "file/inner.bin", ByteBuffer{1}), EOSError);
}

TEST(OSErrors, TextsForACodeAndForNoCode) {
  os::SetLastError(0);
  EXPECT_EQ(MessageOf([] { RaiseOSError(); }), "A call to an OS function failed");
  const std::string text = SystemErrorMessage(2);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_GE(static_cast<unsigned char>(text.back()), 0x21);
  EXPECT_EQ(os::SystemErrorText(2).substr(0, text.size()), text);
  os::SetLastError(2);
  EXPECT_EQ(MessageOf([] { RaiseOSError(); }), "System Error.  Code: 2.\r\n" + text);
}

TEST(Folders, ForceFolderCreatesParentsAndRefusesFiles) {
  TempDir dir;
  EXPECT_TRUE(ForceFolder(""));
  EXPECT_TRUE(ForceFolder(dir / "a/b/c/"));
  EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
  EXPECT_TRUE(ForceFolder(dir / "a/b"));  // already there
  test::WriteFile(dir / "file", "x");
  EXPECT_FALSE(ForceFolder(dir / "file"));
  EXPECT_FALSE(ForceFolder(dir / "file/sub"));
  EXPECT_FALSE(DirectoryExists(dir / "file"));
}

std::vector<std::string> ListNames(const std::string& mask, std::uint32_t required, std::uint32_t excluded) {
  std::vector<std::string> names;
  TQxFindFile find(mask);
  while (find.FindAttributes(required, excluded)) {
    names.push_back(find.FindData().name);
    find.FindNext();
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Listing, FilesOnlyFoldersOnlyAndMissingFolder) {
  TempDir dir;
  test::WriteFile(dir / "a.txt", "a");
  test::WriteFile(dir / ".hidden", "h");
  test::MakeDir(dir / "sub");
  test::WriteFile(dir / "sub/inner", "i");
  const std::string mask = dir.Path() + "/*";
  EXPECT_EQ(ListNames(mask, 0, os::AttributeDirectory), (std::vector<std::string>{".hidden", "a.txt"}));
  EXPECT_EQ(ListNames(mask, os::AttributeDirectory, 0), (std::vector<std::string>{"sub"}));
  EXPECT_TRUE(ListNames(dir.Path() + "/missing/*", 0, 0).empty());
}

TEST(FileStream, OpenAndCreateFailuresNameTheFullPath) {
  TempDir dir;
  const std::string missing = dir / "missing.agg";
  const std::string opened = MessageOf([&] { TFileStream s(missing, TFileStream::Mode::OpenRead); });
  const std::string prefix = "Cannot open file \"" + os::GetFullPathName(missing) + "\". ";
  EXPECT_EQ(opened.substr(0, prefix.size()), prefix);
  EXPECT_GT(opened.size(), prefix.size());
  EXPECT_NE(opened.back(), '.');

  const std::string created =
      MessageOf([&] { TFileStream s(dir / "no/such/x.agg", TFileStream::Mode::Create); });
  EXPECT_EQ(created.rfind("Cannot create file \"" + os::GetFullPathName(dir / "no/such/x.agg") + "\". ", 0), 0u)
      << created;
}

TEST(FileStream, ReadWriteSeekAndShortReads) {
  TempDir dir;
  {
    TFileStream out(dir / "f", TFileStream::Mode::Create);
    out.WriteBuffer("hello world", 11);
    EXPECT_EQ(out.Seek(0, SeekOrigin::End), 11);
    EXPECT_EQ(out.GetSize(), 11);
  }
  TFileStream in(dir / "f", TFileStream::Mode::OpenRead);
  char buffer[16] = {};
  EXPECT_EQ(in.Seek(6, SeekOrigin::Beginning), 6);
  in.ReadBuffer(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(in.Read(buffer, 4), 0);  // at the end
  EXPECT_EQ(in.Seek(20, SeekOrigin::Beginning), 20);  // past the end is allowed
  EXPECT_EQ(MessageOf([&] { in.ReadBuffer(buffer, 1); }), "Stream read error");
  in.Seek(0, SeekOrigin::Beginning);
  EXPECT_EQ(MessageOf([&] { in.WriteBuffer(buffer, 1); }), "Stream write error");
  in.ReadBuffer(buffer, 0);  // nothing asked, nothing raised
}

TEST(FullPath, MadeAbsoluteAndNormalised) {
  const std::string cwd = os::GetFullPathName(".");
  const std::string base = cwd == "/" || cwd.back() == '\\' ? cwd : cwd + std::string(1, os::PathDelimiter());
  EXPECT_EQ(os::GetFullPathName("x/./a.agg"), base + "x" + std::string(1, os::PathDelimiter()) + "a.agg");
  EXPECT_EQ(os::GetFullPathName("x/../a.agg"), base + "a.agg");
}

}  // namespace
}  // namespace qx
