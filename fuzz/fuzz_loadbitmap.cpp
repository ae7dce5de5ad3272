// LoadBitmap on arbitrary bytes, through a byte-array stream as the packers
// load their files, then the steps the tools take with a loaded image.
//
// Properties checked:
// - the only failures are the tools' own errors, and a failed load leaves the
//   destination as it was;
// - loading only reads the caller's bytes;
// - a loaded image is consistent: storage of exactly stride times height
//   bytes (or none), at most 256 colours;
// - the whole-image transfer to a packed buffer and back leaves the storage
//   unchanged;
// - an 8-bit image saved as a BMP file loads again with the same size,
//   pixels and colours;
// - ImportImage on a file of these bytes stores either the bytes unchanged
//   (a raw image record already) or a record of exactly the loaded pixels.
#include <cstring>
#include <fstream>
#include <vector>

#include "ArchiveFormat.h"
#include "FixtureBmp.h"
#include "FuzzCommon.h"
#include "ImageImport.h"
#include "QxExceptions.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

// Transfers of more than this are skipped to keep the runs quick.
constexpr std::int64_t kTransferCap = std::int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (TooSlowToLoad(data, size)) return 0;
  ByteBuffer bytes(data, data + size);

  // A destination that already holds an image, so a failed load can be seen
  // to leave it alone.
  TBitmap bitmap;
  {
    // 1 x 1 pixel of index 7, one colour.
    ByteBuffer before;
    test::AppendBmpHeaders(before, {.fileSize = 62, .offBits = 58, .width = 1, .height = 1, .xPels = 0, .yPels = 0,
                                    .clrUsed = 1});
    test::AppendColourTable(before, {{3, 2, 1}}, false);
    test::Put32(before, 7);
    TQxArrayStream stream(before);
    LoadBitmap(stream, bitmap);
  }
  const ByteBuffer oldStorage = bitmap.Storage();

  bool loaded = true;
  try {
    TQxArrayStream stream(bytes);
    LoadBitmap(stream, bitmap);
  } catch (const Exception&) {
    loaded = false;
  }
  QX_FUZZ_CHECK(bytes.size() == size && (size == 0 || std::memcmp(bytes.data(), data, size) == 0));
  if (!loaded) {
    QX_FUZZ_CHECK(bitmap.Width() == 1 && bitmap.Height() == 1 && bitmap.Storage() == oldStorage);
    QX_FUZZ_CHECK(bitmap.Palette().size() == 1);
  }

  const PixelFormat format = DetectPixelFormat(bitmap);
  QX_FUZZ_CHECK(bitmap.Width() >= 0 && bitmap.Height() >= 0);
  QX_FUZZ_CHECK(bitmap.Palette().size() <= 256);
  if (!bitmap.Storage().empty()) {
    QX_FUZZ_CHECK(bitmap.Storage().size() == bitmap.Stride() * static_cast<std::size_t>(bitmap.Height()));
  }

  const std::int64_t pixelSize = BytesPerPixel(format);
  const std::int64_t packed = pixelSize * bitmap.Width() * bitmap.Height();
  if (loaded && pixelSize > 0 && packed > 0 && packed <= kTransferCap) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(packed));
    BitmapToBuffer(buffer.data(), buffer.size(), bitmap);
    const ByteBuffer storage = bitmap.Storage();
    BufferToBitmap(buffer.data(), buffer.size(), bitmap);
    QX_FUZZ_CHECK(bitmap.Storage() == storage);

    if (format == PixelFormat::Bits8) {
      const fs::path saved = ScratchFolder("loadbitmap") / "saved.bmp";
      bitmap.SaveToFile(saved.string());
      std::unique_ptr<TBitmap> again = LoadBitmapFile(saved.string());
      QX_FUZZ_CHECK(again->Width() == bitmap.Width() && again->Height() == bitmap.Height());
      QX_FUZZ_CHECK(DetectPixelFormat(*again) == PixelFormat::Bits8);
      std::vector<std::uint8_t> reread(buffer.size());
      BitmapToBuffer(reread.data(), reread.size(), *again);
      QX_FUZZ_CHECK(reread == buffer);
      const auto& colours = bitmap.Palette();
      const auto& colours2 = again->Palette();
      QX_FUZZ_CHECK(colours2.size() >= colours.size());
      QX_FUZZ_CHECK(std::equal(colours.begin(), colours.end(), colours2.begin()));
    }
  }

  // The packers' import of the same bytes as a file.
  const fs::path input = ScratchFolder("loadbitmap") / "input.bmp";
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ByteBuffer record;
  try {
    pack::ImportImage(input.string(), record);
  } catch (const Exception&) {
    return 0;
  }
  if (size >= archive::kImageHeaderSize && data[0] == archive::kImageMagic) {
    QX_FUZZ_CHECK(record == bytes);
    return 0;
  }
  QX_FUZZ_CHECK(loaded && format == PixelFormat::Bits8);
  const std::size_t pixels = static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
  QX_FUZZ_CHECK(record.size() == archive::kImageHeaderSize + pixels);
  QX_FUZZ_CHECK(record[0] == archive::kImageMagic && record[1] == 0);
  QX_FUZZ_CHECK(test::Get16(record, 2) == bitmap.Width());
  QX_FUZZ_CHECK(test::Get16(record, 4) == bitmap.Height());
  if (pixels > 0 && static_cast<std::int64_t>(pixels) <= kTransferCap) {
    std::vector<std::uint8_t> buffer(pixels);
    BitmapToBuffer(buffer.data(), buffer.size(), bitmap);
    QX_FUZZ_CHECK(std::memcmp(record.data() + archive::kImageHeaderSize, buffer.data(), pixels) == 0);
  }
  return 0;
}
