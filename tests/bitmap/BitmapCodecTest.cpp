#include <gtest/gtest.h>

#include <filesystem>

#include "BmpFixtures.h"
#include "Platform.h"
#include "QxBitmap.h"
#include "QxGraphics.h"

namespace qx::test {
namespace {

// A 3 x 2 8-bit picture: top row 1 2 3, bottom row 4 5 6, rows padded to 4.
BmpFile ThreeByTwo() {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.colours = 256;
  f.pixels = {4, 5, 6, 0, 1, 2, 3, 0};
  return f;
}

// ---- Reader -----------------------------------------------------------------------

TEST(BmpReader, DecodesAPlainEightBitFile) {
  TBitmap bitmap = Load(ThreeByTwo().Build());
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.Stride(), 4u);
  EXPECT_EQ(bitmap.Kind(), HeaderKind::Info);
  EXPECT_FALSE(bitmap.IsDevice());
  EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits8);
  EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(bitmap.Palette().size(), 256u);
  EXPECT_EQ(bitmap.Palette()[7], (PaletteEntry{7, 8, 9}));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 1);
  EXPECT_EQ(bitmap.ScanLine(1)[2], 6);
  for (std::int32_t row : {-1, 2}) {
    EXPECT_EQ(ErrorOf([&] { bitmap.ScanLine(row); }),
              "EInvalidOperation: Scan line index out of range");
  }
}

TEST(BmpReader, ColourTableSizes) {
  struct Case {
    std::string name;
    std::uint32_t clrUsed;
    std::uint32_t written;
    std::size_t expected;
  };
  const std::vector<Case> cases = {
      {"0 means 256 for 8 bits", 0, 256, 256},
      {"16 colours", 16, 16, 16},
      {"more than 256 keeps the first 256", 300, 300, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFile f = ThreeByTwo();
    f.clrUsed = c.clrUsed;
    f.colours = c.written;
    TBitmap bitmap = Load(f.Build());
    EXPECT_EQ(bitmap.Palette().size(), c.expected);
    EXPECT_EQ(bitmap.Palette().back(),
              (PaletteEntry{static_cast<std::uint8_t>(c.expected - 1), static_cast<std::uint8_t>(c.expected),
                            static_cast<std::uint8_t>(c.expected + 1)}));
    // The rows start behind the whole table, skipped entries included.
    EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
  }
}

TEST(BmpReader, CoreHeaderUsesThreeByteEntries) {
  TBitmap bitmap = Load(CoreBmp(3, 2, 256, {4, 5, 6, 0, 1, 2, 3, 0}));
  EXPECT_EQ(bitmap.Kind(), HeaderKind::Core);
  EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits8);
  ASSERT_EQ(bitmap.Palette().size(), 256u);
  EXPECT_EQ(bitmap.Palette()[255], (PaletteEntry{255, 0, 1}));
  EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(bitmap.HeaderRecord().size(), 40u);
}

TEST(BmpReader, PixelOffsetIsHonouredWhenItIsPlausible) {
  // A gap between the table and the rows is skipped.
  BmpFile gap = ThreeByTwo();
  gap.gap = 6;
  TBitmap shifted = Load(gap.Build());
  EXPECT_EQ(Pixels(shifted), (Bytes{1, 2, 3, 4, 5, 6}));

  // An old-style file with 16 entries: the table is cut at the pixel offset.
  TBitmap core = Load(CoreBmp(3, 2, 16, {4, 5, 6, 0, 1, 2, 3, 0}));
  EXPECT_EQ(core.Palette().size(), 16u);
  EXPECT_EQ(Pixels(core), (Bytes{1, 2, 3, 4, 5, 6}));

  // An offset inside the header or beyond the data is not believed: the
  // rows follow the table.
  for (std::uint32_t offBits : {20u, 100000u}) {
    SCOPED_TRACE(offBits);
    BmpFile f = ThreeByTwo();
    f.offBits = offBits;
    TBitmap bitmap = Load(f.Build());
    EXPECT_EQ(bitmap.Palette().size(), 256u);
    EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
  }
}

TEST(BmpReader, ShortPixelDataLeavesTheTopRowsZero) {
  BmpFile f = ThreeByTwo();
  f.pixels = {4, 5, 6, 0, 1};
  TBitmap bitmap = Load(f.Build());
  EXPECT_EQ(Pixels(bitmap), (Bytes{1, 0, 0, 4, 5, 6}));
}

TEST(BmpReader, LargerHeadersAreKeptWhole) {
  BmpFile f = ThreeByTwo();
  f.headerSize = 124;
  TBitmap bitmap = Load(f.Build());
  EXPECT_EQ(bitmap.HeaderRecord().size(), 124u);
  EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(BmpReader, ZeroDimensionsGiveNoStorage) {
  for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}}) {
    BmpFile f = ThreeByTwo();
    f.width = w;
    f.height = h;
    f.pixels.clear();
    TBitmap bitmap = Load(f.Build());
    EXPECT_EQ(bitmap.Width(), w);
    EXPECT_EQ(bitmap.Height(), h);
    EXPECT_TRUE(bitmap.Storage().empty());
    EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits8);
    EXPECT_EQ(Pixels(bitmap), Bytes{});
  }
}

TEST(BmpReader, UndecodedCompressionsBecomeDeviceImages) {
  struct Case {
    std::string name;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::int32_t height;
  };
  const std::vector<Case> cases = {
      {"RLE4", 4, 2, 2},
      {"RLE8 of 4 bits", 4, 1, 2},
      {"top-down RLE4", 4, 2, -2},
      {"unknown code", 8, 9, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpFile f;
    f.width = 7;
    f.height = c.height;
    f.bitCount = c.bitCount;
    f.compression = c.compression;
    f.colours = 16;
    f.clrUsed = 16;
    f.pixels = {0, 1};
    TBitmap bitmap = Load(f.Build());
    EXPECT_TRUE(bitmap.IsDevice());
    EXPECT_EQ(bitmap.Width(), 7);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Device);
  }
}

TEST(BmpReader, MalformedFilesFailWithTheirMessage) {
  auto with = [](const std::function<void(BmpFile&)>& change) {
    BmpFile f = ThreeByTwo();
    change(f);
    return f.Build();
  };
  const Bytes good = ThreeByTwo().Build();
  struct Case {
    std::string name;
    Bytes bytes;
    std::string expected;
  };
  std::vector<Case> cases = {
      {"fewer than 14 bytes", Bytes(good.begin(), good.begin() + 13), kShortRead},
      {"no BM", [&] { Bytes b = good; b[1] = 'N'; return b; }(), kInvalid},
      {"ends inside the header", Bytes(good.begin(), good.begin() + 30), kShortRead},
      {"ends inside the colour table", Bytes(good.begin(), good.begin() + 500), kShortRead},
      {"header size 0", with([](BmpFile& f) { f.headerSize = 0; }), kInvalid},
      {"header size 11", with([](BmpFile& f) { f.headerSize = 11; }), kInvalid},
      {"header size 13", with([](BmpFile& f) { f.headerSize = 13; }), kInvalid},
      {"header size 39", with([](BmpFile& f) { f.headerSize = 39; }), kInvalid},
      {"header size past the data", with([](BmpFile& f) { f.headerSize = 0xFFFFFFF0u; }), kShortRead},
      {"planes 2", with([](BmpFile& f) { f.planes = 2; }), kInvalid},
      {"negative width", with([](BmpFile& f) { f.width = -3; }), kInvalid},
      {"unsupported bit count", with([](BmpFile& f) { f.bitCount = 7; }), kInvalid},
      {"bit fields of 8 bits", with([](BmpFile& f) { f.compression = 3; }), kInvalid},
      {"table runs past the data", with([](BmpFile& f) { f.clrUsed = 0x40000000; f.offBits = 0; }), kShortRead},
      {"storage over 256 MiB", with([](BmpFile& f) { f.width = 16385; f.height = 16384; }), kInvalid},
      {"storage of 2^31 rows", with([](BmpFile& f) { f.width = 0x7FFFFFFF; f.height = 0x7FFFFFFF; }), kInvalid},
      {"bit fields masks missing",
       with([](BmpFile& f) { f.bitCount = 32; f.compression = 3; f.colours = 0; f.pixels.clear(); }), kShortRead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The destination keeps its image when the load fails.
    TBitmap destination = Load(ThreeByTwo().Build());
    Bytes bytes = c.bytes;
    TQxArrayStream stream(bytes);
    EXPECT_EQ(ErrorOf([&] { LoadBitmap(stream, destination); }), c.expected);
    EXPECT_EQ(destination.Width(), 3);
    EXPECT_EQ(Pixels(destination), (Bytes{1, 2, 3, 4, 5, 6}));
    // The reader on its own fails the same way.
    stream.Seek(0, SeekOrigin::Beginning);
    TBitmap direct;
    EXPECT_EQ(ErrorOf([&] { direct.LoadFromStream(stream, static_cast<std::int64_t>(bytes.size())); }),
              c.expected);
  }
}

TEST(BmpReader, ZeroBytesGiveAnEmptyDeviceImage) {
  TBitmap bitmap = Load(ThreeByTwo().Build());
  Bytes none;
  TQxArrayStream stream(none);
  LoadBitmap(stream, bitmap);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_FALSE(bitmap.HasHeader());
  EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Device);
}

// ---- Resizing ---------------------------------------------------------------------

TEST(BmpResize, KeepsEverythingButTheSize) {
  BmpFile f = ThreeByTwo();
  f.xPels = 1111;
  f.clrImportant = 9;
  TBitmap bitmap = Load(f.Build());
  const auto palette = bitmap.Palette();
  bitmap.SetWidth(5);
  bitmap.SetHeight(3);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.Stride(), 8u);
  EXPECT_EQ(bitmap.Storage().size(), 24u);
  EXPECT_EQ(bitmap.Palette(), palette);
  EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits8);
  bitmap.SetHeight(0);
  EXPECT_TRUE(bitmap.Storage().empty());
  EXPECT_EQ(ErrorOf([&] { bitmap.SetWidth(-1); }), kInvalid);
  EXPECT_EQ(ErrorOf([&] { bitmap.SetWidth(0x7FFFFFFF); bitmap.SetHeight(0x7FFFFFFF); }), kInvalid);
}

// ---- Writer -----------------------------------------------------------------------

TEST(BmpWriter, InfoKindThreeByTwoIs1086Bytes) {
  TempDir dir;
  TBitmap bitmap = Load(ThreeByTwo().Build());
  bitmap.SaveToFile(dir / "out.bmp");
  const Bytes file = ReadFile(dir / "out.bmp");

  Bytes expected;
  AppendBmpHeaders(expected, {.fileSize = 0x43E, .offBits = 0x436, .width = 3, .height = 2, .sizeImage = 8,
                              .clrUsed = 256});
  for (int i = 0; i < 256; ++i) {
    expected.insert(expected.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + 1),
                                     static_cast<std::uint8_t>(i + 2), 0});
  }
  expected.insert(expected.end(), {4, 5, 6, 0, 1, 2, 3, 0});
  EXPECT_EQ(file.size(), 1086u);
  EXPECT_EQ(file, expected);

  // And it reads back as the same picture.
  TBitmap back = Load(file);
  EXPECT_EQ(Pixels(back), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(BmpWriter, PaletteSizeAndHeaderFieldsComeFromTheBitmap) {
  TempDir dir;
  BmpFile f = ThreeByTwo();
  f.clrUsed = 2;
  f.colours = 2;
  f.xPels = 100;
  f.yPels = 200;
  f.clrImportant = 2;
  TBitmap bitmap = Load(f.Build());
  // Resizing keeps the header fields; new rows have zero padding.
  bitmap.SetWidth(2);
  const Bytes pixels = {9, 8, 7, 6};
  BufferToBitmap(pixels.data(), pixels.size(), bitmap);
  bitmap.SaveToFile(dir / "small.bmp");
  const Bytes file = ReadFile(dir / "small.bmp");
  ASSERT_EQ(file.size(), 14u + 40 + 8 + 8);
  EXPECT_EQ(Get32(file, 10), 62u);  // bfOffBits
  EXPECT_EQ(Get32(file, 2), 70u);   // bfSize
  EXPECT_EQ(Get32(file, 38), 100u);
  EXPECT_EQ(Get32(file, 42), 200u);
  EXPECT_EQ(Get32(file, 46), 2u);
  EXPECT_EQ(Get32(file, 50), 2u);
  EXPECT_EQ(Bytes(file.end() - 8, file.end()), (Bytes{7, 6, 0, 0, 9, 8, 0, 0}));
}

TEST(BmpWriter, CoreKindHasA794BytePixelOffset) {
  TempDir dir;
  TBitmap bitmap = Load(CoreBmp(3, 2, 16, {4, 5, 6, 0, 1, 2, 3, 0}));
  bitmap.SetWidth(5);
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  BufferToBitmap(pixels.data(), pixels.size(), bitmap);
  bitmap.SaveToFile(dir / "core.bmp");
  const Bytes file = ReadFile(dir / "core.bmp");

  ASSERT_EQ(file.size(), 794u + 16);
  EXPECT_EQ(Get32(file, 2), 810u);
  EXPECT_EQ(Get32(file, 10), 794u);
  EXPECT_EQ(Bytes(file.begin() + 14, file.begin() + 26), (Bytes{12, 0, 0, 0, 5, 0, 2, 0, 1, 0, 8, 0}));
  // 16 colours, then three zero bytes for each of the other 240 entries.
  EXPECT_EQ(Bytes(file.begin() + 26 + 15 * 3, file.begin() + 26 + 16 * 3), (Bytes{15, 16, 17}));
  EXPECT_EQ(Bytes(file.begin() + 26 + 16 * 3, file.begin() + 794), Bytes(240 * 3, 0));
  EXPECT_EQ(Bytes(file.begin() + 794, file.end()),
            (Bytes{6, 7, 8, 9, 10, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
  TBitmap back = Load(file);
  EXPECT_EQ(Pixels(back), pixels);
}

TEST(BmpWriter, ImagesWithoutStorageGiveEmptyFiles) {
  TempDir dir;
  TBitmap bitmap = Load(ThreeByTwo().Build());
  bitmap.SetHeight(0);
  bitmap.SaveToFile(dir / "zero.bmp");
  EXPECT_EQ(ReadFile(dir / "zero.bmp").size(), 0u);
  TBitmap empty;
  WriteFile(dir / "old.bmp", B("old content"));
  empty.SaveToFile(dir / "old.bmp");
  EXPECT_EQ(ReadFile(dir / "old.bmp").size(), 0u);
}

TEST(BmpWriter, UncreatableFileNamesItsFullPath) {
  TempDir dir;
  TBitmap bitmap = Load(ThreeByTwo().Build());
  const std::string path = dir / "missing/out.bmp";
  const std::string message = ErrorOf([&] { bitmap.SaveToFile(path); });
  // The message names the full path as the system spells it.
  EXPECT_EQ(message.rfind("Exception: Cannot create file \"" + os::GetFullPathName(path) + "\". ", 0), 0u)
      << message;
}

}  // namespace
}  // namespace qx::test
