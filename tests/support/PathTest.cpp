#include <gtest/gtest.h>

#include "Platform.h"
#include "QxSysUtils.h"

namespace qx {
namespace {

const std::string D(1, os::PathDelimiter());

struct PathCase {
  const char* path;
  const char* extension;  // ExtractExtension
  const char* noExtension;  // ReplaceExtension(path, "")
  const char* folder;     // ExtractFolder
};

TEST(PathHelpers, ExtensionAndFolderTable) {
  const PathCase cases[] = {
      {"archive.agg", ".agg", "archive", ""},
      {"folder.old\\archive", "", "folder.old\\archive", "folder.old\\"},
      {"folder.old/archive", "", "folder.old/archive", "folder.old/"},
      {"name.bkg.bmp", ".bmp", "name.bkg", ""},
      {"name", "", "name", ""},
      {"name.", ".", "name", ""},
      {".agg", ".agg", "", ""},
      {"C:\\res\\x.agg", ".agg", "C:\\res\\x", "C:\\res\\"},
      {"C:x.agg", ".agg", "C:x", "C:"},
      {"a.b\\pic", "", "a.b\\pic", "a.b\\"},
      {"dir.x:name", "", "dir.x:name", "dir.x:"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractExtension(c.path), c.extension);
    EXPECT_EQ(ReplaceExtension(c.path, ""), c.noExtension);
    EXPECT_EQ(ExtractFolder(c.path), c.folder);
  }
  EXPECT_EQ(ReplaceExtension("a.bmp", ".bkg"), "a.bkg");
  EXPECT_EQ(ReplaceExtension("dir.x\\name", ".bmp"), "dir.x\\name.bmp");
}

TEST(PathHelpers, TrailingDelimiters) {
  EXPECT_EQ(AddTrailingDelimiter(""), D);
  EXPECT_EQ(AddTrailingDelimiter("out/"), "out/");
  EXPECT_EQ(AddTrailingDelimiter("out\\"), "out\\");
  EXPECT_EQ(AddTrailingDelimiter("out"), "out" + D);
  EXPECT_EQ(AddTrailingDelimiter("C:"), "C:" + D);  // the colon does not count
  EXPECT_EQ(RemoveTrailingDelimiter("a\\\\"), "a\\");
  EXPECT_EQ(RemoveTrailingDelimiter("a/"), "a");
  EXPECT_EQ(RemoveTrailingDelimiter("a"), "a");
  EXPECT_FALSE(IsDelimiterAt("a/", 0));
  EXPECT_FALSE(IsDelimiterAt("a/", 3));
  EXPECT_TRUE(IsDelimiterAt("a/", 2));
  EXPECT_FALSE(IsDelimiterAt("a:", 2));
}

TEST(PathHelpers, SameTextAsciiFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameTextAscii(".BMP", ".bmp"));
  EXPECT_TRUE(SameTextAscii(".Bkg", ".bKG"));
  EXPECT_FALSE(SameTextAscii(".bmp", ".bm"));
  EXPECT_FALSE(SameTextAscii("\xC9", "\xE9"));  // Latin-1 letters are not folded
}

// A double-byte code page whose lead bytes are 0x81..0x9F: a character may
// end in 0x5C, which must not be taken for a delimiter or a dot.
class DoubleBytePaths : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetLeadByteTable();
    LeadByteTable table{};
    for (int b = 0x81; b <= 0x9F; ++b) table[b] = true;
    SetLeadByteTable(table);
  }
  void TearDown() override { SetLeadByteTable(saved_); }
  LeadByteTable saved_{};
};

TEST_F(DoubleBytePaths, TrailByteBackslashIsNotADelimiter) {
  const std::string name = "dir\\\x95\x5C";  // ends in a character whose trail byte is 0x5C
  EXPECT_FALSE(IsDelimiterAt(name, name.size()));
  EXPECT_EQ(AddTrailingDelimiter(name), name + D);
  EXPECT_EQ(RemoveTrailingDelimiter(name), name);
  EXPECT_EQ(ExtractFolder(name), "dir\\");
  EXPECT_EQ(ExtractFolder("\x95\x5Cx"), "");
  // A lead byte that is itself 0x5C-free but followed by a real delimiter.
  EXPECT_EQ(ExtractFolder("\x95\x41\\x"), "\x95\x41\\");
}

TEST_F(DoubleBytePaths, TrailByteDotIsNotAnExtension) {
  EXPECT_EQ(ExtractExtension("\x95."), "");
  EXPECT_EQ(ExtractExtension("\x95.x.bmp"), ".bmp");
}

}  // namespace
}  // namespace qx
