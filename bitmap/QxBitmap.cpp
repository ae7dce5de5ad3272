#include "QxBitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "BmpLayout.h"
#include "Endian.h"
#include "Platform.h"
#include "QxExceptions.h"

namespace qx {

namespace {

using namespace bmp;

constexpr const char* kScanLineOutOfRange = "Scan line index out of range";
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidBitmap); }
[[noreturn]] void ShortRead() { throw EReadError(kStreamReadError); }

std::uint8_t* At(ByteBuffer& buffer, std::int64_t offset) {
  return buffer.data() + static_cast<std::size_t>(offset);
}
const std::uint8_t* At(const ByteBuffer& buffer, std::int64_t offset) {
  return buffer.data() + static_cast<std::size_t>(offset);
}

// Bit counts the pixel storage supports.
bool IsStorableBitCount(std::uint32_t bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
         bitCount == 32;
}

// Colour table entries implied by a biClrUsed of 0.
std::int64_t DefaultColours(std::uint32_t bitCount) {
  return bitCount <= kBitsPerByte && IsStorableBitCount(bitCount) ? std::int64_t{1} << bitCount : 0;
}

ByteBuffer AllocateStorage(std::int64_t size) {
  if (size < 0 || size > kMaxStorage) Invalid();
  try {
    return ByteBuffer(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(kOutOfMemory);
  }
}

void Skip(TStream& stream, std::int64_t count) {
  if (count > 0) stream.Seek(count, SeekOrigin::Current);
}

}  // namespace

// ---- Geometry -----------------------------------------------------------------

std::uint16_t TBitmap::BitsPerPixel() const {
  return header_.empty() ? 0 : GetU16(At(header_, kBiBitCount));
}

std::uint32_t TBitmap::Compression() const {
  return header_.empty() ? kBiRgb : GetU32(At(header_, kBiCompression));
}

std::size_t TBitmap::Stride() const {
  if (header_.empty()) return 0;
  return static_cast<std::size_t>(std::max<std::int64_t>(RowStride(BitsPerPixel(), width_), 0));
}

void TBitmap::SetWidth(std::int32_t width) {
  if (width != width_) Resize(width, height_);
}

void TBitmap::SetHeight(std::int32_t height) {
  if (height != height_) Resize(width_, height);
}

void TBitmap::Resize(std::int64_t width, std::int64_t height) {
  if (width < 0 || height < 0) Invalid();
  ByteBuffer storage;
  if (!header_.empty() && !device_) {
    storage = AllocateStorage(StorageSize(BitsPerPixel(), width, height));
    PutI32(At(header_, kBiWidth), static_cast<std::int32_t>(width));
    PutI32(At(header_, kBiHeight), static_cast<std::int32_t>(height));
    PutU32(At(header_, kBiSizeImage), static_cast<std::uint32_t>(storage.size()));
  }
  storage_ = std::move(storage);
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(height);
}

std::uint8_t* TBitmap::ScanLine(std::int32_t row) {
  return const_cast<std::uint8_t*>(std::as_const(*this).ScanLine(row));
}

const std::uint8_t* TBitmap::ScanLine(std::int32_t row) const {
  if (row < 0 || row >= height_ || storage_.empty()) throw EInvalidOperation(kScanLineOutOfRange);
  const auto stride = static_cast<std::int64_t>(Stride());
  return At(storage_, (static_cast<std::int64_t>(height_) - 1 - row) * stride);
}

void TBitmap::SetPalette(std::vector<PaletteEntry> palette) {
  if (static_cast<std::int64_t>(palette.size()) > kMaxColours) Invalid();
  palette_ = std::move(palette);
}

// ---- Reading ------------------------------------------------------------------

void TBitmap::LoadFromStream(TStream& stream, std::int64_t byteCount) {
  TBitmap result;
  if (byteCount > 0) result.Decode(stream, byteCount);
  *this = std::move(result);
}

void TBitmap::Decode(TStream& stream, std::int64_t byteCount) {
  // File header.
  std::uint8_t fileHeader[kFileHeaderSize];
  if (byteCount < kFileHeaderSize) ShortRead();
  stream.ReadBuffer(fileHeader, kFileHeaderSize);
  if (GetU16(fileHeader + kBfType) != kSignature) Invalid();
  std::int64_t left = byteCount - kFileHeaderSize;

  // Image header: a core header becomes a 40-byte record; an info header of
  // any larger version is kept whole.
  std::uint8_t sizeField[kHeaderSizeField];
  if (left < kHeaderSizeField) ShortRead();
  stream.ReadBuffer(sizeField, kHeaderSizeField);
  const std::int64_t headerSize = GetU32(sizeField);
  std::int64_t entrySize = kQuadSize;
  if (headerSize == kCoreHeaderSize) {
    std::uint8_t core[kCoreHeaderSize];
    if (left < kCoreHeaderSize) ShortRead();
    stream.ReadBuffer(core + kHeaderSizeField, kCoreHeaderSize - kHeaderSizeField);
    header_.assign(kInfoHeaderSize, 0);
    PutU32(At(header_, kBiSize), kInfoHeaderSize);
    PutI32(At(header_, kBiWidth), GetU16(core + kBcWidth));
    PutI32(At(header_, kBiHeight), GetU16(core + kBcHeight));
    PutU16(At(header_, kBiPlanes), GetU16(core + kBcPlanes));
    PutU16(At(header_, kBiBitCount), GetU16(core + kBcBitCount));
    kind_ = HeaderKind::Core;
    entrySize = kTripleSize;
  } else {
    if (headerSize < kInfoHeaderSize) Invalid();
    if (headerSize > left) ShortRead();
    header_.assign(static_cast<std::size_t>(headerSize), 0);
    std::memcpy(header_.data(), sizeField, kHeaderSizeField);
    stream.ReadBuffer(At(header_, kHeaderSizeField), headerSize - kHeaderSizeField);
    kind_ = HeaderKind::Info;
  }
  left -= headerSize;
  std::int64_t headerEnd = kFileHeaderSize + headerSize;

  if (GetU16(At(header_, kBiPlanes)) != 1) Invalid();
  const std::int64_t width = GetI32(At(header_, kBiWidth));
  const std::int64_t height = GetI32(At(header_, kBiHeight));
  const std::uint32_t bitCount = GetU16(At(header_, kBiBitCount));
  const std::uint32_t compression = GetU32(At(header_, kBiCompression));
  if (width < 0) Invalid();

  // Bit masks: behind a 40-byte header, or inside a larger one.
  if (headerSize == kInfoHeaderSize && (bitCount == 16 || bitCount == 32) &&
      compression == kBiBitfields) {
    std::uint8_t masks[kMasksSize];
    if (left < kMasksSize) ShortRead();
    stream.ReadBuffer(masks, kMasksSize);
    for (std::int64_t i = 0; i < kMaskCount; ++i) masks_[i] = GetU32(masks + i * kMaskSize);
    left -= kMasksSize;
    headerEnd += kMasksSize;
  } else {
    for (std::int64_t i = 0; i < kMaskCount; ++i) {
      const std::int64_t offset = kBiRedMask + i * kMaskSize;
      if (offset + kMaskSize <= headerSize) masks_[i] = GetU32(At(header_, offset));
    }
  }

  // Colour table. A pixel offset that lies behind the header and within the
  // data bounds the table and marks where the rows start.
  std::int64_t colours = GetU32(At(header_, kBiClrUsed));
  if (colours == 0) colours = DefaultColours(bitCount);
  const std::int64_t offBits = GetU32(fileHeader + kBfOffBits);
  const bool honourOffBits = offBits >= headerEnd && offBits <= byteCount;
  if (honourOffBits) colours = std::min(colours, (offBits - headerEnd) / entrySize);
  const std::int64_t tableSize = colours * entrySize;
  if (tableSize > left) ShortRead();
  const std::int64_t kept = std::min(colours, kMaxColours);
  if (kept > 0) {
    std::uint8_t table[kMaxColours * kQuadSize];
    stream.ReadBuffer(table, kept * entrySize);
    palette_.resize(static_cast<std::size_t>(kept));
    for (std::int64_t i = 0; i < kept; ++i) {
      const std::uint8_t* entry = table + i * entrySize;
      palette_[static_cast<std::size_t>(i)] = PaletteEntry{entry[0], entry[1], entry[2]};
    }
  }
  Skip(stream, tableSize - kept * entrySize);
  PutU32(At(header_, kBiClrUsed), static_cast<std::uint32_t>(kept));
  left -= tableSize;
  if (honourOffBits) {
    const std::int64_t gap = offBits - headerEnd - tableSize;
    Skip(stream, gap);
    left -= gap;
  }

  // Compressions the reader does not decode give a device image with the
  // header's dimensions and no pixels.
  if (compression != kBiRgb && compression != kBiBitfields) {
    const std::int64_t rows = height < 0 ? -height : height;
    if (rows > kInt32Max) Invalid();
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(rows);
    device_ = true;
    return;
  }

  // Rows are bottom-up here; top-down files are turned over before they
  // reach the reader.
  if (height < 0 || !IsStorableBitCount(bitCount)) Invalid();
  if (compression == kBiBitfields && bitCount != 16 && bitCount != 32) Invalid();
  const std::int64_t storageSize = StorageSize(bitCount, width, height);
  if (storageSize > kMaxStorage) Invalid();
  std::int64_t sizeImage = GetU32(At(header_, kBiSizeImage));
  if (sizeImage == 0 || compression == kBiRgb) {
    sizeImage = storageSize;
    PutU32(At(header_, kBiSizeImage), static_cast<std::uint32_t>(sizeImage));
  }
  storage_ = AllocateStorage(storageSize);
  const std::int64_t pixelBytes = std::min({sizeImage, std::max<std::int64_t>(left, 0), storageSize});
  stream.ReadBuffer(storage_.data(), pixelBytes);
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(height);
}

// ---- Writing ------------------------------------------------------------------

ByteBuffer TBitmap::BuildFileHead() const {
  const std::uint32_t bitCount = BitsPerPixel();
  const auto imageSize = static_cast<std::int64_t>(storage_.size());
  const auto colours = static_cast<std::int64_t>(palette_.size());
  const bool core = kind_ == HeaderKind::Core;
  const std::uint32_t compression = Compression() == kBiBitfields ? kBiBitfields : kBiRgb;
  const std::int64_t masksSize = !core && compression == kBiBitfields ? kMasksSize : 0;
  // Old-style files always carry the full table for their bit count, in
  // three-byte entries; info files carry the palette's own colours.
  const std::int64_t entries = core ? DefaultColours(bitCount) : colours;
  const std::int64_t entrySize = core ? kTripleSize : kQuadSize;
  const std::int64_t tableStart =
      kFileHeaderSize + (core ? kCoreHeaderSize : kInfoHeaderSize) + masksSize;
  const std::int64_t offBits = tableStart + entries * entrySize;

  ByteBuffer head(static_cast<std::size_t>(offBits), 0);
  PutU16(At(head, kBfType), kSignature);
  PutU32(At(head, kBfSize), static_cast<std::uint32_t>(offBits + imageSize));
  PutU32(At(head, kBfOffBits), static_cast<std::uint32_t>(offBits));
  std::uint8_t* header = At(head, kFileHeaderSize);
  if (core) {
    PutU32(header + kBcSize, kCoreHeaderSize);
    PutU16(header + kBcWidth, static_cast<std::uint16_t>(width_));
    PutU16(header + kBcHeight, static_cast<std::uint16_t>(height_));
    PutU16(header + kBcPlanes, 1);
    PutU16(header + kBcBitCount, static_cast<std::uint16_t>(bitCount));
  } else {
    PutU32(header + kBiSize, kInfoHeaderSize);
    PutI32(header + kBiWidth, width_);
    PutI32(header + kBiHeight, height_);
    PutU16(header + kBiPlanes, 1);
    PutU16(header + kBiBitCount, static_cast<std::uint16_t>(bitCount));
    PutU32(header + kBiCompression, compression);
    PutU32(header + kBiSizeImage, static_cast<std::uint32_t>(imageSize));
    PutU32(header + kBiXPelsPerMeter, GetU32(At(header_, kBiXPelsPerMeter)));
    PutU32(header + kBiYPelsPerMeter, GetU32(At(header_, kBiYPelsPerMeter)));
    PutU32(header + kBiClrUsed, static_cast<std::uint32_t>(colours));
    PutU32(header + kBiClrImportant, GetU32(At(header_, kBiClrImportant)));
    for (std::int64_t i = 0; i < masksSize / kMaskSize; ++i) {
      PutU32(header + kInfoHeaderSize + i * kMaskSize, masks_[static_cast<std::size_t>(i)]);
    }
  }
  // Entries beyond the palette (core files only) stay zero, as does the
  // fourth byte of every four-byte entry.
  std::uint8_t* table = At(head, tableStart);
  for (std::int64_t i = 0; i < std::min(entries, colours); ++i) {
    const PaletteEntry& colour = palette_[static_cast<std::size_t>(i)];
    table[i * entrySize + 0] = colour.blue;
    table[i * entrySize + 1] = colour.green;
    table[i * entrySize + 2] = colour.red;
  }
  return head;
}

void TBitmap::SaveToFile(const std::string& path) const {
  TFileStream file(path, TFileStream::Mode::Create);
  try {
    SaveToStream(file);
    // A close that fails may have lost buffered data.
    if (!file.Close()) throw EWriteError(kStreamWriteError);
  } catch (...) {
    // No incomplete file is left behind, whatever stopped the writing.
    file.Close();
    os::DeleteFile(path);
    throw;
  }
}

void TBitmap::SaveToStream(TStream& stream) const {
  if (storage_.empty()) return;
  const ByteBuffer head = BuildFileHead();
  stream.WriteBuffer(head.data(), static_cast<std::int64_t>(head.size()));
  stream.WriteBuffer(storage_.data(), static_cast<std::int64_t>(storage_.size()));
}

}  // namespace qx
