#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "BmpFixtures.h"

namespace qx::test {
namespace {

// An uncompressed bottom-up image whose storage bytes count up from 1.
TBitmap Image(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
              std::uint32_t compression = 0, std::vector<std::uint32_t> masks = {}) {
  BmpFile f;
  f.width = width;
  f.height = height;
  f.bitCount = bitCount;
  f.compression = compression;
  f.masks = std::move(masks);
  f.colours = bitCount <= 8 ? 1u << bitCount : 0;
  const std::size_t stride = static_cast<std::size_t>((bitCount * width + 31) / 32 * 4);
  f.pixels.resize(stride * static_cast<std::size_t>(height));
  std::iota(f.pixels.begin(), f.pixels.end(), 1);
  return Load(f.Build());
}

TEST(PixelFormat, ClassifiesByBitCountCompressionAndMasks) {
  struct Case {
    std::string name;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
    PixelFormat expected;
  };
  const std::vector<Case> cases = {
      {"1 bit", 1, 0, {}, PixelFormat::Bits1},
      {"4 bits", 4, 0, {}, PixelFormat::Bits4},
      {"8 bits", 8, 0, {}, PixelFormat::Bits8},
      {"16 bits plain", 16, 0, {}, PixelFormat::Bits15},
      {"16 bits 5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, PixelFormat::Bits16},
      {"16 bits 5-5-5 fields", 16, 3, {0x7C00, 0x03E0, 0x001F}, PixelFormat::Bits15},
      {"16 bits other fields", 16, 3, {0xF000, 0x0F00, 0x00F0}, PixelFormat::Custom},
      {"24 bits", 24, 0, {}, PixelFormat::Bits24},
      {"32 bits plain", 32, 0, {}, PixelFormat::Bits32},
      {"32 bits 8-8-8 fields", 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF}, PixelFormat::Bits32},
      {"32 bits swapped fields", 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, PixelFormat::Custom},
      {"32 bits green mask only", 32, 3, {0, 0x00FF0000, 0}, PixelFormat::Custom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DetectPixelFormat(Image(2, 2, c.bitCount, c.compression, c.masks)), c.expected);
  }
  EXPECT_EQ(DetectPixelFormat(TBitmap{}), PixelFormat::Device);
}

TEST(TransferRect, WholeImageSkipsRowPadding) {
  TBitmap bitmap = Image(3, 2, 8);  // storage: bottom 1 2 3 4, top 5 6 7 8
  Bytes out(6);
  BitmapToBuffer(out.data(), out.size(), bitmap);
  EXPECT_EQ(out, (Bytes{5, 6, 7, 1, 2, 3}));

  const Bytes in = {11, 12, 13, 21, 22, 23};
  BufferToBitmap(in.data(), in.size(), bitmap);
  EXPECT_EQ(bitmap.Storage(), (Bytes{21, 22, 23, 4, 11, 12, 13, 8}));  // padding kept
}

TEST(TransferRect, ClipsTheRectangleAndKeepsTheBufferLayout) {
  TBitmap bitmap = Image(4, 3, 8);
  // Rows top first: 9 10 11 12 / 5 6 7 8 / 1 2 3 4.
  struct Case {
    std::string name;
    Rect rect;
    Bytes expected;  // the buffer after copying to it; 0xAA where skipped
  };
  const std::vector<Case> cases = {
      {"left -1 top -1 right 2 bottom 2", {-1, -1, 2, 2}, {0xAA, 0xAA, 0xAA, 0xAA, 9, 10, 0xAA, 5, 6}},
      {"wider and taller", {2, 1, 6, 4}, {7, 8, 0xAA, 0xAA, 3, 4, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}},
      {"inside", {1, 1, 3, 2}, {6, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes buffer(c.expected.size(), 0xAA);
    TransferRect(buffer.data(), buffer.size(), bitmap, c.rect, true);
    EXPECT_EQ(buffer, c.expected);
    // Back into the bitmap: only the covered pixels change.
    TBitmap copy = bitmap;
    Bytes ones(c.expected.size(), 0xEE);
    TransferRect(ones.data(), ones.size(), copy, c.rect, false);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < copy.Storage().size(); ++i) changed += copy.Storage()[i] != bitmap.Storage()[i];
    EXPECT_EQ(changed, static_cast<std::size_t>(std::count_if(c.expected.begin(), c.expected.end(),
                                                              [](std::uint8_t b) { return b != 0xAA; })));
  }
}

TEST(TransferRect, MultiBytePixels) {
  TBitmap rgb = Image(2, 1, 24);  // storage 1..6, then 2 padding bytes
  Bytes out(6);
  BitmapToBuffer(out.data(), out.size(), rgb);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 6}));

  TBitmap fields = Image(2, 2, 16, 3, {0x7C00, 0x03E0, 0x001F});
  Bytes pixel(2);
  TransferRect(pixel.data(), pixel.size(), fields, Rect{1, 0, 2, 1}, true);
  EXPECT_EQ(pixel, (Bytes{7, 8}));
}

TEST(TransferRect, RefusalsAndNoOps) {
  const std::string assertion = "EAssertionFailed: Assertion failure (QxGraphics.cpp, line 617)";
  TBitmap nibbles = Image(4, 4, 4);
  Bytes buffer(64, 0);
  EXPECT_EQ(ErrorOf([&] { TransferRect(buffer.data(), buffer.size(), nibbles, Rect{0, 0, 2, 2}, true); }),
            assertion);
  TBitmap device;
  device.SetWidth(3);
  device.SetHeight(3);
  EXPECT_EQ(ErrorOf([&] { BitmapToBuffer(buffer.data(), buffer.size(), device); }), assertion);

  // Rectangles off the bitmap copy nothing, whatever the format.
  for (const Rect& off : {Rect{4, 0, 9, 2}, Rect{0, 4, 2, 9}, Rect{-5, 0, 0, 2}, Rect{0, -5, 2, 0}}) {
    EXPECT_EQ(ErrorOf([&] { TransferRect(nullptr, 0, nibbles, off, true); }), "(no error)");
  }

  // The buffer must cover the whole unclipped rectangle.
  TBitmap bytes = Image(3, 2, 8);
  EXPECT_EQ(ErrorOf([&] { BitmapToBuffer(buffer.data(), 5, bytes); }), "ERangeError: Range check error");
  EXPECT_EQ(ErrorOf([&] { TransferRect(buffer.data(), 8, bytes, Rect{-1, -1, 2, 2}, true); }),
            "ERangeError: Range check error");
  EXPECT_EQ(ErrorOf([&] {
              TransferRect(buffer.data(), buffer.size(), bytes, Rect{-0x7FFFFFFF, -0x7FFFFFFF, 2, 2}, true);
            }),
            "ERangeError: Range check error");
}

}  // namespace
}  // namespace qx::test
