// A BMP write that the system cuts short leaves no file behind.
#include <gtest/gtest.h>

#include "FileSizeLimitPosix.h"
#include "QxBitmap.h"
#include "QxExceptions.h"
#include "QxGraphics.h"
#include "QxMemoryStreams.h"
#include "TestKit.h"

namespace qx {
namespace {

TEST(BitmapWriter, ShortWriteRemovesTheIncompleteFile) {
  test::TempDir dir;
  // An 8-bit template of 1 x 1 pixels, grown to 256 x 256.
  test::Bytes file = test::B("BM");
  test::Put32(file, 14 + 40 + 4 + 4);
  test::Put32(file, 0);
  test::Put32(file, 14 + 40 + 4);
  for (std::uint32_t v : {40u, 1u, 1u}) test::Put32(file, v);
  test::Put16(file, 1);
  test::Put16(file, 8);
  for (int i = 0; i < 6; ++i) test::Put32(file, i == 4 ? 1 : 0);
  test::Put32(file, 0x00FFFFFF);
  test::Put32(file, 0);
  ByteBuffer bytes(file.begin(), file.end());
  TQxArrayStream stream(bytes);
  TBitmap bitmap;
  LoadBitmap(stream, bitmap);
  bitmap.SetWidth(256);
  bitmap.SetHeight(256);
  {
    test::FileSizeLimit limit(4096);
    try {
      bitmap.SaveToFile(dir / "cut.bmp");
      FAIL() << "no error";
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Message(), "Stream write error");
    }
  }
  EXPECT_FALSE(test::FileExists(dir / "cut.bmp"));
}

}  // namespace
}  // namespace qx
