#include "ImageImport.h"

#include <memory>

#include "ArchiveFormat.h"
#include "QxExceptions.h"
#include "QxGraphics.h"
#include "QxMemoryStreams.h"

namespace qx::pack {

namespace {
constexpr const char* kWrongFormat = "Wrong bitmap format";
}

void ImportImage(const std::string& path, ByteBuffer& data) {
  LoadWholeFile(path, data);
  // A file that starts like a raw image record is stored as it is.
  if (archive::LooksLikeImageRecord(data.data(), data.size())) return;

  std::unique_ptr<TBitmap> bitmap;
  {
    TQxArrayStream stream(data);
    bitmap = LoadBitmap(stream);
  }
  const std::int32_t width = bitmap->Width();
  const std::int32_t height = bitmap->Height();
  // Only 8-bit images fit a record, and only up to 65535 pixels a side.
  if (DetectPixelFormat(*bitmap) != PixelFormat::Bits8 ||
      static_cast<std::uint32_t>(width) > archive::kMaxImageSide ||
      static_cast<std::uint32_t>(height) > archive::kMaxImageSide) {
    throw Exception(kWrongFormat);
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  // The file's bytes are no longer needed: the record reuses the buffer.
  data.resize(archive::kImageHeaderSize + pixels);
  archive::WriteImageHeader(data.data(), {static_cast<std::uint16_t>(width),
                                          static_cast<std::uint16_t>(height)});
  BitmapToBuffer(data.data() + archive::kImageHeaderSize, pixels, *bitmap);
}

}  // namespace qx::pack
