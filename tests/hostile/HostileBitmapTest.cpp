// BMP headers whose sizes overflow 64-bit arithmetic when multiplied out
// (found by fuzz/fuzz_loadbitmap): refused as invalid, never computed.
#include <cstdint>

#include "BmpFixtures.h"

namespace qx::test {
namespace {

constexpr std::int32_t kMaxI32 = 0x7FFFFFFF;

// Width times bit count gives a stride of up to 2^44 bytes; times 2^31 rows
// it passes 2^63.
TEST(HostileBitmap, StrideTimesRowsBeyond64BitsIsInvalid) {
  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"plain 32-bit", ClaimedSizeBmp(kMaxI32, kMaxI32, 32)},
      {"odd bit count", ClaimedSizeBmp(kMaxI32, kMaxI32, 0xFFFF)},
      {"top-down", ClaimedSizeBmp(kMaxI32, -kMaxI32, 0xFFFF)},
      {"bit fields", ClaimedSizeBmp(kMaxI32, kMaxI32, 32, 3)},
      {"run-length", ClaimedSizeBmp(kMaxI32, kMaxI32, 8, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf([&] { Load(c.file); }), kInvalid);
  }
}

// The reader on its own (as LoadBitmap calls it for normalised copies) and
// the resizing of a loaded image check the same product.
TEST(HostileBitmap, ReaderAndResizeRefuseOverflowingSizes) {
  Bytes bytes = ClaimedSizeBmp(kMaxI32, kMaxI32, 32);
  TQxArrayStream stream(bytes);
  TBitmap bitmap;
  EXPECT_EQ(ErrorOf([&] { bitmap.LoadFromStream(stream, static_cast<std::int64_t>(bytes.size())); }), kInvalid);

  TBitmap image = Load(ClaimedSizeBmp(1, 1, 32));
  // An image without columns may have any number of rows; widening it then
  // asks for 2^33 bytes per row.
  image.SetWidth(0);
  image.SetHeight(kMaxI32);
  EXPECT_EQ(ErrorOf([&] { image.SetWidth(kMaxI32); }), kInvalid);
}

}  // namespace
}  // namespace qx::test
