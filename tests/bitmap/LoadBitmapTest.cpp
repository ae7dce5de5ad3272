#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "BmpFixtures.h"
#include "Platform.h"

namespace qx::test {
namespace {

// A byte-array source that records what the loader asks of it.
class RecordingSource : public TQxArrayStream {
 public:
  explicit RecordingSource(Bytes& bytes) : TQxArrayStream(bytes) {}
  std::int32_t Read(void* buffer, std::int32_t count) override {
    const std::int32_t got = TQxArrayStream::Read(buffer, count);
    largestRequest = std::max(largestRequest, count);
    bytesRead += got;
    return got;
  }
  std::int32_t largestRequest = 0;
  std::int64_t bytesRead = 0;
};

// A 4 x |height| 8-bit run-length file with a 4-colour table.
BmpFile Rle8(std::int32_t height, const Bytes& data) {
  BmpFile f;
  f.width = 4;
  f.height = height;
  f.compression = 1;
  f.clrUsed = 4;
  f.colours = 4;
  f.pixels = data;
  return f;
}

// Runs a normalisation step by hand: the probe holds the first 54 bytes and
// the source stands right behind them.
template <typename Step>
Bytes Normalise(Bytes file, Step step) {
  TQxArrayStream source(file);
  TMemoryStream probe;
  probe.SetSize(54);
  source.ReadBuffer(probe.Memory(), 54);
  step(source, 0, probe);
  return Bytes(probe.Memory(), probe.Memory() + probe.Size());
}

// ---- Run-length files ---------------------------------------------------------------

TEST(DecodeRle8, DecodesTheCodesIntoStorage) {
  struct Case {
    std::string name;
    std::int32_t height;
    Bytes data;
    Bytes storage;  // bottom row first
  };
  const std::vector<Case> cases = {
      {"bottom-up", 2, {4, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 1}, {1, 1, 1, 1, 2, 3, 4, 0}},
      {"top-down", -2, {4, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 1}, {2, 3, 4, 0, 1, 1, 1, 1}},
      {"run of 6 crosses into the next row", 2, {6, 5, 0, 1}, {5, 5, 5, 5, 5, 5, 0, 0}},
      {"delta 1,1", 2, {0, 2, 1, 1, 1, 9, 0, 1}, {0, 0, 0, 0, 0, 9, 0, 0}},
      {"absolute run of 3 skips its pad byte", 2, {0, 3, 7, 8, 9, 0xFF, 1, 6, 0, 1}, {7, 8, 9, 6, 0, 0, 0, 0}},
      {"data ends without end of bitmap", 2, {2, 3}, {3, 3, 0, 0, 0, 0, 0, 0}},
      {"odd trailing byte is ignored", 2, {2, 3, 5}, {3, 3, 0, 0, 0, 0, 0, 0}},
      {"nothing after end of bitmap", 2, {1, 4, 0, 1, 4, 5}, {4, 0, 0, 0, 0, 0, 0, 0}},
      {"run cut at the end of the area", 2, {10, 1, 2, 2}, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"top-down run cut at the end", -2, {10, 1}, {0, 0, 0, 0, 1, 1, 1, 1}},
      {"top-down end of line moves down", -2, {1, 5, 0, 0, 1, 6}, {6, 0, 0, 0, 5, 0, 0, 0}},
      {"absolute run longer than the data", 2, {0, 5, 1, 2}, {1, 2, 0, 0, 0, 0, 0, 0}},
      {"delta out of the area stops", 2, {0, 2, 0, 5, 1, 7}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"delta without its two bytes stops", 2, {1, 3, 0, 2, 1}, {3, 0, 0, 0, 0, 0, 0, 0}},
      {"end of line past the last row stops", 1, {0, 0, 0, 0, 2, 9}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap bitmap = Load(Rle8(c.height, c.data).Build());
    EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits8);
    EXPECT_EQ(bitmap.Height(), std::abs(c.height));
    EXPECT_EQ(bitmap.Storage(), c.storage);
  }
}

TEST(DecodeRle8, CopySaysUncompressedBottomUp) {
  BmpFile f = Rle8(-2, {4, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 1});
  const Bytes file = f.Build();
  const Bytes copy = Normalise(file, DecodeRle8);
  const std::uint32_t offBits = 54 + 16;
  ASSERT_EQ(copy.size(), offBits + 8);
  EXPECT_EQ(Get32(copy, 2), offBits + 8);  // bfSize
  EXPECT_EQ(GetI32(copy, 22), 2);          // biHeight
  EXPECT_EQ(Get32(copy, 30), 0u);         // BI_RGB
  EXPECT_EQ(Get32(copy, 34), 8u);         // biSizeImage
  EXPECT_EQ(Bytes(copy.begin() + 54, copy.begin() + offBits), Bytes(file.begin() + 54, file.begin() + offBits));
  EXPECT_EQ(Bytes(copy.begin() + offBits, copy.end()), (Bytes{2, 3, 4, 0, 1, 1, 1, 1}));
}

TEST(DecodeRle8, FileSizeLargerThanTheFileDecodesWhatIsThere) {
  BmpFile f = Rle8(2, {4, 1, 0, 0, 2, 2});
  f.fileSize = 0x7FFFFFF0;
  TBitmap bitmap = Load(f.Build());
  EXPECT_EQ(bitmap.Storage(), (Bytes{1, 1, 1, 1, 2, 2, 0, 0}));
}

// ---- Top-down files ------------------------------------------------------------------

TEST(FlipTopDown, CopyHoldsTheRowsBottomUp) {
  BmpFile f;
  f.width = 3;
  f.height = -2;
  f.colours = 4;
  f.clrUsed = 4;
  f.sizeImage = 99;
  f.pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // top row first
  const Bytes file = f.Build();
  const Bytes copy = Normalise(file, FlipTopDown);
  const std::uint32_t offBits = 54 + 16;
  ASSERT_EQ(copy.size(), offBits + 8);
  EXPECT_EQ(GetI32(copy, 22), 2);
  EXPECT_EQ(Get32(copy, 34), 8u);
  EXPECT_EQ(Get32(copy, 2), offBits + 8);
  EXPECT_EQ(Bytes(copy.begin() + offBits, copy.end()), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));

  TBitmap bitmap = Load(file);
  EXPECT_EQ(Pixels(bitmap), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(FlipTopDown, BitFieldsKeepTheirMasks) {
  BmpFile f;
  f.width = 2;
  f.height = -2;
  f.bitCount = 16;
  f.compression = 3;
  f.masks = {0xF800, 0x07E0, 0x001F};
  f.pixels = {1, 0, 2, 0, 3, 0, 4, 0};
  TBitmap bitmap = Load(f.Build());
  EXPECT_EQ(DetectPixelFormat(bitmap), PixelFormat::Bits16);
  Bytes out(8);
  BitmapToBuffer(out.data(), out.size(), bitmap);
  EXPECT_EQ(out, (Bytes{1, 0, 2, 0, 3, 0, 4, 0}));
}

// ---- The overlay ---------------------------------------------------------------------

TEST(LoadBitmap, UncompressedFilesAreReadStraightFromTheSource) {
  // A wrong image size field is recomputed; the pixels come in one request.
  for (std::uint32_t sizeImage : {0u, 5u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(sizeImage);
    BmpFile f;
    f.width = 1000;
    f.height = 100;
    f.colours = 256;
    f.sizeImage = sizeImage;
    f.pixels.resize(100000);
    std::iota(f.pixels.begin(), f.pixels.end(), 0);
    Bytes file = f.Build();
    RecordingSource source(file);
    TBitmap bitmap;
    LoadBitmap(source, bitmap);
    EXPECT_EQ(bitmap.Storage(), f.pixels);
    EXPECT_EQ(Get32(bitmap.HeaderRecord(), 20), 100000u);
    EXPECT_EQ(source.largestRequest, 100000);
    EXPECT_EQ(source.bytesRead, static_cast<std::int64_t>(file.size()));
  }
}

TEST(LoadBitmap, StartsAtTheSourcePosition) {
  Bytes file = B("junk");
  const Bytes bmp = Rle8(2, {4, 1, 0, 1}).Build();
  file.insert(file.end(), bmp.begin(), bmp.end());
  TQxArrayStream source(file);
  source.Seek(4, SeekOrigin::Beginning);
  const auto bitmap = LoadBitmap(source);
  EXPECT_EQ(bitmap->Storage(), (Bytes{1, 1, 1, 1, 0, 0, 0, 0}));
}

// ---- Hostile headers of the normalised files -----------------------------------------

TEST(LoadBitmap, HostileNormalisationHeadersAreRefused) {
  BmpFile topDown;
  topDown.width = 3;
  topDown.height = -2;
  topDown.colours = 4;
  topDown.clrUsed = 4;
  topDown.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
  const BmpFile rle = Rle8(2, {4, 1, 0, 1});

  auto change = [](BmpFile f, const std::function<void(BmpFile&)>& how) {
    how(f);
    return f.Build();
  };
  struct Case {
    std::string name;
    Bytes bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"top-down offset below 54", change(topDown, [](BmpFile& f) { f.offBits = 40; }), kInvalid},
      {"top-down offset past the end", change(topDown, [](BmpFile& f) { f.offBits = 5000; }), kInvalid},
      {"top-down storage over 256 MiB",
       change(topDown, [](BmpFile& f) { f.width = 16385; f.height = -16384; }), kInvalid},
      {"top-down height -2^31", change(topDown, [](BmpFile& f) { f.height = INT32_MIN; }), kInvalid},
      {"top-down negative width", change(topDown, [](BmpFile& f) { f.width = -1; }), kInvalid},
      {"top-down ends before its last row", change(topDown, [](BmpFile& f) { f.pixels.resize(6); }),
       kShortRead},
      {"run-length offset below 54", change(rle, [](BmpFile& f) { f.offBits = 53; }), kInvalid},
      {"run-length offset past the end", change(rle, [](BmpFile& f) { f.offBits = 0xFFFFFFFF; }), kInvalid},
      {"run-length file size below the offset", change(rle, [](BmpFile& f) { f.fileSize = 60; }), kInvalid},
      {"run-length storage over 256 MiB",
       change(rle, [](BmpFile& f) { f.width = 0x10000; f.height = -0x1001; }), kInvalid},
      {"run-length negative width", change(rle, [](BmpFile& f) { f.width = -8; }), kInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap destination = Load(rle.Build());
    Bytes bytes = c.bytes;
    TQxArrayStream source(bytes);
    EXPECT_EQ(ErrorOf([&] { LoadBitmap(source, destination); }), c.expected);
    EXPECT_EQ(destination.Storage(), (Bytes{1, 1, 1, 1, 0, 0, 0, 0}));
    source.Seek(0, SeekOrigin::Beginning);
    EXPECT_EQ(ErrorOf([&] { LoadBitmap(source); }), c.expected);
  }
}

TEST(LoadBitmap, ZeroWidthTopDownWithHugeHeightLoadsWithoutStorage) {
  BmpFile f;
  f.width = 0;
  f.height = -0x7FFFFFFF;
  TBitmap bitmap = Load(f.Build());
  EXPECT_EQ(bitmap.Height(), 0x7FFFFFFF);
  EXPECT_TRUE(bitmap.Storage().empty());
}

// ---- Files -------------------------------------------------------------------------------

TEST(LoadBitmapFile, LoadsAFileAndNamesAMissingOne) {
  TempDir dir;
  WriteFile(dir / "p.bmp", Rle8(2, {4, 1, 0, 1}).Build());
  const auto bitmap = LoadBitmapFile(dir / "p.bmp");
  EXPECT_EQ(bitmap->Storage(), (Bytes{1, 1, 1, 1, 0, 0, 0, 0}));

  TBitmap kept = *bitmap;
  const std::string missing = dir / "none.bmp";
  const std::string message = ErrorOf([&] { LoadBitmapFile(missing, kept); });
  // The message names the full path as the system spells it.
  EXPECT_EQ(message.rfind("Exception: Cannot open file \"" + os::GetFullPathName(missing) + "\". ", 0), 0u)
      << message;
  EXPECT_EQ(kept.Storage(), bitmap->Storage());
}

}  // namespace
}  // namespace qx::test
