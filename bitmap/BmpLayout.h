// Sizes, offsets and codes of the BMP file format, shared by the reader, the
// writer and the loader that normalises files before the reader sees them.
// All multi-byte values in BMP files are little-endian.
#pragma once

#include <cstdint>

namespace qx::bmp {

// "BM" read as a little-endian 16-bit value.
inline constexpr std::uint16_t kSignature = 0x4D42;

// BITMAPFILEHEADER, at offset 0 of a file.
inline constexpr std::int64_t kFileHeaderSize = 14;
inline constexpr std::int64_t kBfType = 0;
inline constexpr std::int64_t kBfSize = 2;
inline constexpr std::int64_t kBfReserved1 = 6;
inline constexpr std::int64_t kBfReserved2 = 8;
inline constexpr std::int64_t kBfOffBits = 10;

// BITMAPINFOHEADER: offsets within the header record (add kFileHeaderSize for
// the offset in a file).
inline constexpr std::int64_t kInfoHeaderSize = 40;
inline constexpr std::int64_t kBiSize = 0;
inline constexpr std::int64_t kBiWidth = 4;
inline constexpr std::int64_t kBiHeight = 8;
inline constexpr std::int64_t kBiPlanes = 12;
inline constexpr std::int64_t kBiBitCount = 14;
inline constexpr std::int64_t kBiCompression = 16;
inline constexpr std::int64_t kBiSizeImage = 20;
inline constexpr std::int64_t kBiXPelsPerMeter = 24;
inline constexpr std::int64_t kBiYPelsPerMeter = 28;
inline constexpr std::int64_t kBiClrUsed = 32;
inline constexpr std::int64_t kBiClrImportant = 36;
// In larger headers (version 4 and 5) the bit masks are part of the header.
inline constexpr std::int64_t kBiRedMask = 40;
inline constexpr std::int64_t kMaskCount = 3;
inline constexpr std::int64_t kMaskSize = 4;
inline constexpr std::int64_t kMasksSize = kMaskCount * kMaskSize;

// BITMAPCOREHEADER: offsets within the header.
inline constexpr std::int64_t kCoreHeaderSize = 12;
inline constexpr std::int64_t kBcSize = 0;
inline constexpr std::int64_t kBcWidth = 4;
inline constexpr std::int64_t kBcHeight = 6;
inline constexpr std::int64_t kBcPlanes = 8;
inline constexpr std::int64_t kBcBitCount = 10;

// The header size is read first; the rest of the header follows it.
inline constexpr std::int64_t kHeaderSizeField = 4;

// The file header and the first 40 bytes of an info header.
inline constexpr std::int64_t kProbeSize = kFileHeaderSize + kInfoHeaderSize;

// Colour table entries: RGBQUAD behind an info header, RGBTRIPLE behind a
// core header; blue, green, red first in both.
inline constexpr std::int64_t kQuadSize = 4;
inline constexpr std::int64_t kTripleSize = 3;
inline constexpr std::int64_t kMaxColours = 256;

// Compression codes.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;

// Rows are padded to a multiple of this many bytes.
inline constexpr std::int64_t kRowAlignment = 4;
inline constexpr std::int64_t kBitsPerByte = 8;

// Largest pixel storage a file may ask for (256 MiB); larger headers are
// refused before anything of that size is allocated.
inline constexpr std::int64_t kMaxStorage = std::int64_t{1} << 28;

// Bytes per row for a bit count and a width: rows padded to 32 bits. Both
// arguments come from file headers, so the result is 64-bit and may be
// negative for a negative width.
inline constexpr std::int64_t RowStride(std::int64_t bitCount, std::int64_t width) {
  constexpr std::int64_t kBitsPerUnit = kRowAlignment * kBitsPerByte;
  const std::int64_t bits = bitCount * width;
  if (bits <= 0) return bits < 0 ? -1 : 0;
  return (bits + kBitsPerUnit - 1) / kBitsPerUnit * kRowAlignment;
}

// Pixel storage of `rows` rows: stride x rows for rows of 0 or more. A
// product beyond kMaxStorage is returned as kMaxStorage + 1, so that header
// values as large as 2^31 can never overflow the multiplication.
inline constexpr std::int64_t StorageSize(std::int64_t bitCount, std::int64_t width, std::int64_t rows) {
  const std::int64_t stride = RowStride(bitCount, width);
  if (stride > 0 && rows > kMaxStorage / stride) return kMaxStorage + 1;
  return stride * rows;
}

}  // namespace qx::bmp
