// The in-memory bitmap and the BMP file codec: the reader that decodes
// bottom-up BI_RGB and BI_BITFIELDS images, and the writer of 8-bit files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx {

// One colour of a palette.
struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  bool operator==(const PaletteEntry&) const = default;
};

// Which header a file had: 40 bytes or more (info) or 12 bytes (core). The
// writer produces the same kind again.
enum class HeaderKind { Info, Core };

// An image in memory. Pixel storage is bottom-up, each row padded to a
// multiple of 4 bytes. An image with a zero width or height, a device image
// and an empty image hold no pixel storage.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(const TBitmap&) = default;
  TBitmap& operator=(const TBitmap&) = default;
  TBitmap(TBitmap&&) noexcept = default;
  TBitmap& operator=(TBitmap&&) noexcept = default;

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  // Change one dimension and keep everything else (bits per pixel,
  // compression, masks, palette, header kind, header fields). New storage
  // has zero bytes; the pixels are the caller's to fill. Storage of more than
  // 256 MiB raises "Bitmap image is not valid".
  void SetWidth(std::int32_t width);
  void SetHeight(std::int32_t height);

  // The first byte of row `row` (row 0 is the top row). Raises
  // "Scan line index out of range" (EInvalidOperation) for rows outside
  // 0..height-1 and for images without pixel storage.
  std::uint8_t* ScanLine(std::int32_t row);
  const std::uint8_t* ScanLine(std::int32_t row) const;
  // Bytes per stored row (0 without a header record).
  std::size_t Stride() const;

  // True when the image has a header record (false for an empty image).
  bool HasHeader() const { return !header_.empty(); }
  // The header record: 40 bytes of a BITMAPINFOHEADER, plus the bytes of a
  // larger header beyond them. Empty for an empty image.
  const ByteBuffer& HeaderRecord() const { return header_; }
  std::uint16_t BitsPerPixel() const;
  std::uint32_t Compression() const;
  // Red, green, blue; meaningful for 16 and 32 bits with BI_BITFIELDS.
  const std::array<std::uint32_t, 3>& Masks() const { return masks_; }
  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  // Replaces the palette; more than 256 colours raise
  // "Bitmap image is not valid".
  void SetPalette(std::vector<PaletteEntry> palette);
  HeaderKind Kind() const { return kind_; }
  // Set for images in a compression the reader does not decode; such an
  // image has its header's width and height but no pixels.
  bool IsDevice() const { return device_; }
  // The whole pixel storage, bottom row first.
  const ByteBuffer& Storage() const { return storage_; }

  // Replaces the image with the BMP data that starts at the stream's
  // position and runs for byteCount bytes. A byte count of 0 gives an empty
  // image. A failed read leaves the image as it was.
  void LoadFromStream(TStream& stream, std::int64_t byteCount);
  // Writes the image as a BMP file of its header kind. An image without
  // pixel storage gives a 0-byte file. A failed write removes the file.
  void SaveToFile(const std::string& path) const;
  // Writes the same bytes as SaveToFile to a stream.
  void SaveToStream(TStream& stream) const;

 private:
  void Resize(std::int64_t width, std::int64_t height);
  // Decodes into a fresh bitmap; LoadFromStream moves the result in.
  void Decode(TStream& stream, std::int64_t byteCount);
  // The file header, the image header and the colour table of a file.
  ByteBuffer BuildFileHead() const;

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  ByteBuffer header_;
  std::array<std::uint32_t, 3> masks_{};
  std::vector<PaletteEntry> palette_;
  HeaderKind kind_ = HeaderKind::Info;
  bool device_ = false;
  ByteBuffer storage_;
};

}  // namespace qx
