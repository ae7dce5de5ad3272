// The archive library's own rules: names, safe names, records, the writer's
// layout of kept entries, the reader's bounds and layout detection.
#include <gtest/gtest.h>

#include "ArchiveFormat.h"
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "QxExceptions.h"
#include "QxMemoryStreams.h"
#include "TestKit.h"

namespace qx::archive {
namespace {

using test::Bytes;

TEST(EntryNames, StoredAndOutputNames) {
  struct Case {
    const char* file;
    const char* stored;
    bool converted;
  };
  for (const Case& c : {Case{"a.txt", "a.txt", false}, Case{"Pic.BMP", "Pic.BMP", true},
                        Case{"Sky.bkg.bmp", "Sky.bkg", true}, Case{"Sky.BKG.Bmp", "Sky.BKG", true},
                        Case{"Sky.bkg", "Sky.bkg", false}, Case{"x.bmp.bkg", "x.bmp.bkg", false}}) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(StoredNameOf(c.file), c.stored);
    EXPECT_EQ(IsBitmapFileName(c.file), c.converted);
  }
  EXPECT_EQ(OutputNameOf("Sky.bkg"), "Sky.bkg.bmp");
  EXPECT_EQ(OutputNameOf("pic.bmp"), "pic.bmp");
  EXPECT_TRUE(IsImageEntryName("x.BKG"));
  EXPECT_FALSE(IsImageEntryName("x.bmpx"));
}

TEST(EntryNames, SlotsCutToFourteenBytesAndReadUpToFifteen) {
  const NameSlot slot = MakeSlot("abcdefghijklmnopqrst");
  EXPECT_EQ(SlotName(slot), "abcdefghijklmn");
  EXPECT_EQ(slot[14], 0);
  NameSlot full{};
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>('a' + i);
  EXPECT_EQ(SlotName(full), "abcdefghijklmno");
}

TEST(EntryNames, SafeNamesWithAndWithoutDeviceNames) {
  for (const char* unsafe : {"", "/abs", "\\abs", "c:x", "..", "a/../b", "a\\..", "a/", "a/.", "."}) {
    SCOPED_TRACE(unsafe);
    EXPECT_FALSE(IsSafeEntryName(unsafe, false));
    EXPECT_FALSE(IsSafeEntryName(unsafe, true));
  }
  for (const char* safe : {"a", "..x", "a..b", "sub\\x.txt", "sub/x", ".hidden"}) {
    SCOPED_TRACE(safe);
    EXPECT_TRUE(IsSafeEntryName(safe, true));
  }
  for (const char* device : {"nul", "CON.txt", "sub/aux", "com1", "LPT9 .x"}) {
    SCOPED_TRACE(device);
    EXPECT_TRUE(IsSafeEntryName(device, false));
    EXPECT_FALSE(IsSafeEntryName(device, true));
  }
}

TEST(ImageRecords, HeaderAndCompleteness) {
  std::uint8_t record[kImageHeaderSize + 6] = {};
  WriteImageHeader(record, {3, 2});
  EXPECT_EQ(Bytes(record, record + 6), (Bytes{0x21, 0, 3, 0, 2, 0}));
  ImageHeader header;
  ASSERT_TRUE(ReadImageHeader(record, sizeof record, header));
  EXPECT_EQ(header.Pixels(), 6u);
  EXPECT_TRUE(HoldsAllPixels(12, header));
  EXPECT_FALSE(HoldsAllPixels(11, header));
  EXPECT_FALSE(ReadImageHeader(record, 5, header));
  EXPECT_TRUE(LooksLikeImageRecord(record, 6));
  EXPECT_FALSE(LooksLikeImageRecord(record, 5));
}

TEST(ArchiveWriter, KeptEntriesKeepSlotAndHashAndAreLaidOutBackToBack) {
  test::TempDir dir;
  const std::string path = dir / "k.agg";
  NameSlot odd{};
  for (std::size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<std::uint8_t>(i == 3 ? 0 : 'x');
  const Bytes a{1, 2, 3};
  {
    ArchiveWriter writer(path, kShortLayout, 3);
    writer.AddKept(odd, 0xBEEF, a.data(), a.size());
    writer.Add("empty", nullptr, 0);
    writer.Add("b", a.data(), 2);
    writer.Commit();
  }
  Bytes file = test::ReadFile(path);
  Bytes expected{3, 0};
  auto put32 = [&](std::uint32_t v) { test::Put32(expected, v); };
  test::Put16(expected, 0xBEEF);
  put32(32);
  put32(3);
  test::Put16(expected, HashId("empty"));
  put32(35);
  put32(0);
  test::Put16(expected, HashId("b"));
  put32(35);
  put32(2);
  expected.insert(expected.end(), {1, 2, 3, 1, 2});
  expected.insert(expected.end(), odd.begin(), odd.end());
  const NameSlot e = MakeSlot("empty"), b = MakeSlot("b");
  expected.insert(expected.end(), e.begin(), e.end());
  expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(file, expected);

  TQxArrayStream stream(file);
  ArchiveReader reader(stream, kShortLayout);
  ASSERT_EQ(reader.Entries().size(), 3u);
  EXPECT_EQ(reader.Entries()[0].slot, odd);
  EXPECT_EQ(reader.Entries()[0].name, "xxx");
  EXPECT_EQ(reader.Entries()[0].hash, 0xBEEFu);
}

TEST(ArchiveWriter, AnUncommittedWriterLeavesTheOldFileAndNoTemporaryFile) {
  test::TempDir dir;
  test::WriteFile(dir / "a.agg", "old");
  {
    ArchiveWriter writer(dir / "a.agg", kLongLayout, 2);
    writer.Add("x", nullptr, 0);
    EXPECT_THROW(writer.Commit(), Exception);  // one entry short
  }
  EXPECT_EQ(test::ReadFile(dir / "a.agg"), test::B("old"));
  EXPECT_EQ(test::ListDir(dir.Path()), std::vector<std::string>{"a.agg"});
}

// An archive of the given layout in memory, with correct hashes.
Bytes Build(const Layout& layout, const std::vector<std::pair<std::string, Bytes>>& entries) {
  test::TempDir dir;
  {
    ArchiveWriter writer(dir / "m.agg", layout, entries.size());
    for (const auto& [name, data] : entries) writer.Add(name, data.data(), data.size());
    writer.Commit();
  }
  return test::ReadFile(dir / "m.agg");
}

TEST(LayoutDetection, ScoresDecideAndTiesAreRefused) {
  const std::vector<std::pair<std::string, Bytes>> entries{{"one.txt", {1, 2, 3}}, {"two.txt", {}}};
  for (const Layout* layout : {&kLongLayout, &kShortLayout}) {
    SCOPED_TRACE(layout->name);
    Bytes file = Build(*layout, entries);
    TQxArrayStream stream(file);
    const Detection found = DetectLayout(stream);
    EXPECT_EQ(found.layout, layout);
    EXPECT_FALSE(found.Empty());
  }
  Bytes empty{0, 0};
  TQxArrayStream emptyStream(empty);
  EXPECT_TRUE(DetectLayout(emptyStream).Empty());

  Bytes cut{9, 0, 1};
  TQxArrayStream cutStream(cut);
  const Detection none = DetectLayout(cutStream);
  EXPECT_EQ(none.layout, nullptr);
  EXPECT_FALSE(none.fitLong.possible);
  EXPECT_FALSE(none.fitShort.possible);
}

TEST(ArchiveReader, TablesAndEntriesPastTheEndFailBeforeAllocating) {
  Bytes file = Build(kLongLayout, {{"a", {1, 2, 3}}});
  {
    Bytes big = file;
    big[2 + 8] = 0xFF;  // size 0xFF000003... past the end
    big[2 + 11] = 0xFF;
    TQxArrayStream stream(big);
    ArchiveReader reader(stream, kLongLayout);
    ByteBuffer data;
    EXPECT_FALSE(reader.InBounds(reader.Entries()[0]));
    EXPECT_EQ(test::MessageOf([&] { reader.ReadData(reader.Entries()[0], data); }), kStreamReadError);
    EXPECT_TRUE(data.empty());
  }
  Bytes lying{0xFF, 0xFF, 0, 0};
  TQxArrayStream stream(lying);
  EXPECT_EQ(test::MessageOf([&] { ArchiveReader reader(stream, kShortLayout); }), kStreamReadError);
}

}  // namespace
}  // namespace qx::archive
