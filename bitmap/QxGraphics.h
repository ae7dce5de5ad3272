// Bitmap support of the tools: loading BMP data (with top-down and 8-bit
// run-length files normalised first), pixel formats, and the transfer of
// pixel rectangles between packed byte buffers and bitmap rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "QxBitmap.h"
#include "QxMemoryStreams.h"
#include "QxStreams.h"

namespace qx {

// Codes 0..8.
enum class PixelFormat { Device, Bits1, Bits4, Bits8, Bits15, Bits16, Bits24, Bits32, Custom };

// Message of the refused transfer for formats without whole bytes per pixel.
inline constexpr const char* kTransferAssertion = "Assertion failure (QxGraphics.cpp, line 617)";

PixelFormat DetectPixelFormat(const TBitmap& bitmap);

// Pixel coordinates, row 0 at the top; right and bottom are exclusive.
struct Rect {
  std::int32_t left, top, right, bottom;
};

// Copies the pixels of the rectangle between a packed buffer (rows of
// (right - left) pixels, top row first, no padding) and the bitmap; toBuffer
// chooses the direction. The part of the rectangle outside the bitmap is
// skipped on both sides. The buffer must cover the whole unclipped rectangle
// ("Range check error" otherwise). Formats other than 8, 15, 16, 24 and 32
// bits raise EAssertionFailed.
void TransferRect(std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap,
                  const Rect& rect, bool toBuffer);
// The whole image to or from a packed buffer.
void BitmapToBuffer(std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap);
void BufferToBitmap(const std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap);

// Loads the BMP data from the source's position to its end into the
// destination. A failed load leaves the destination as it was.
void LoadBitmap(TStream& source, TBitmap& destination);
std::unique_ptr<TBitmap> LoadBitmap(TStream& source);
// Opens the file for reading, unshared, and loads it.
void LoadBitmapFile(const std::string& path, TBitmap& destination);
std::unique_ptr<TBitmap> LoadBitmapFile(const std::string& path);

// Normalisation steps of LoadBitmap. `probe` holds the first 54 bytes of the
// BMP data (the source is positioned right behind them); afterwards it holds
// the whole file as a bottom-up BI_RGB (or BI_BITFIELDS) file. `sourceStart`
// is the source position of the first byte of the BMP data.
// FlipTopDown: for top-down BI_RGB and BI_BITFIELDS files.
void FlipTopDown(TStream& source, std::int64_t sourceStart, TMemoryStream& probe);
// DecodeRle8: for BI_RLE8 files of 8 bits per pixel.
void DecodeRle8(TStream& source, std::int64_t sourceStart, TMemoryStream& probe);

}  // namespace qx
