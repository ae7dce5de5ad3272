// A BMP write that the system cuts short leaves no file behind.
#include <gtest/gtest.h>

#include "FileSizeLimitPosix.h"
#include "FixtureBmp.h"
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
  test::Bytes file;
  test::AppendBmpHeaders(file, {.fileSize = 14 + 40 + 4 + 4, .offBits = 14 + 40 + 4, .width = 1, .height = 1,
                                .xPels = 0, .yPels = 0, .clrUsed = 1});
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
