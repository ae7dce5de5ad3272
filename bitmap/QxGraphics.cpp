#include "QxGraphics.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "BmpLayout.h"
#include "Endian.h"
#include "QxExceptions.h"

namespace qx {

namespace {

using namespace bmp;

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The compression code taken for probes that hold no info header: it
// matches none of the cases that need normalising.
constexpr std::uint32_t kNoInfoHeader = 100;

// Green masks that identify the 16-bit layouts.
constexpr std::uint32_t kGreenMask565 = 0x07E0;
constexpr std::uint32_t kGreenMask555 = 0x03E0;
// The one 32-bit BI_BITFIELDS layout that counts as plain 32-bit.
constexpr std::uint32_t kRedMask888 = 0x00FF0000;
constexpr std::uint32_t kGreenMask888 = 0x0000FF00;
constexpr std::uint32_t kBlueMask888 = 0x000000FF;

// Offsets of the probe fields, counted from the first byte of the file.
constexpr std::int64_t kProbeBiSize = kFileHeaderSize + kBiSize;
constexpr std::int64_t kProbeWidth = kFileHeaderSize + kBiWidth;
constexpr std::int64_t kProbeHeight = kFileHeaderSize + kBiHeight;
constexpr std::int64_t kProbeBitCount = kFileHeaderSize + kBiBitCount;
constexpr std::int64_t kProbeCompression = kFileHeaderSize + kBiCompression;
constexpr std::int64_t kProbeSizeImage = kFileHeaderSize + kBiSizeImage;

// Run-length codes that follow a 0 byte.
constexpr std::uint8_t kRleEndOfLine = 0;
constexpr std::uint8_t kRleEndOfBitmap = 1;
constexpr std::uint8_t kRleDelta = 2;
constexpr std::int64_t kRlePairSize = 2;

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidBitmap); }

std::int64_t BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Bits8:
      return 1;
    case PixelFormat::Bits15:
    case PixelFormat::Bits16:
      return 2;
    case PixelFormat::Bits24:
      return 3;
    case PixelFormat::Bits32:
      return 4;
    default:
      return 0;
  }
}

// The copy made by the normalisation steps: checks the pixel offset, grows
// the probe to offBits + imageSize bytes and fills bytes 54 to offBits - 1
// with the source's bytes there. Returns the grown storage.
std::uint8_t* GrowCopy(TStream& source, std::int64_t sourceStart, TMemoryStream& probe,
                       std::int64_t offBits, std::int64_t imageSize) {
  const std::int64_t sourceSize = source.GetSize() - sourceStart;
  if (offBits < kProbeSize || offBits > sourceSize) Invalid();
  const std::int64_t total = offBits + imageSize;
  if (total > kInt32Max) Invalid();
  probe.SetSize(total);
  std::uint8_t* copy = probe.Memory();
  const std::int64_t gap = offBits - kProbeSize;
  const std::int64_t got = source.ReadUpTo(copy + kProbeSize, gap);
  if (got < gap) std::memset(copy + kProbeSize + got, 0, static_cast<std::size_t>(gap - got));
  return copy;
}

// Width and row count of a probe, checked: non-negative width, a row count
// that fits, and storage within the limit. Returns the storage size.
std::int64_t CheckedImageSize(std::int64_t bitCount, std::int64_t width, std::int64_t rows) {
  if (width < 0 || rows < 0 || rows > kInt32Max) Invalid();
  const std::int64_t size = StorageSize(bitCount, width, rows);
  if (size > kMaxStorage) Invalid();
  return size;
}

}  // namespace

// ---- Pixel formats --------------------------------------------------------------

PixelFormat DetectPixelFormat(const TBitmap& bitmap) {
  if (bitmap.IsDevice() || !bitmap.HasHeader()) return PixelFormat::Device;
  const std::uint32_t compression = bitmap.Compression();
  const auto& masks = bitmap.Masks();
  switch (bitmap.BitsPerPixel()) {
    case 1:
      return PixelFormat::Bits1;
    case 4:
      return PixelFormat::Bits4;
    case 8:
      return PixelFormat::Bits8;
    case 16:
      if (compression == kBiRgb) return PixelFormat::Bits15;
      if (compression == kBiBitfields && masks[1] == kGreenMask565) return PixelFormat::Bits16;
      if (compression == kBiBitfields && masks[1] == kGreenMask555) return PixelFormat::Bits15;
      return PixelFormat::Custom;
    case 24:
      return PixelFormat::Bits24;
    case 32:
      if (compression == kBiRgb) return PixelFormat::Bits32;
      if (compression == kBiBitfields && masks[0] == kRedMask888 && masks[1] == kGreenMask888 &&
          masks[2] == kBlueMask888) {
        return PixelFormat::Bits32;
      }
      return PixelFormat::Custom;
    default:
      return PixelFormat::Custom;
  }
}

// ---- Pixel transfer -------------------------------------------------------------

void TransferRect(std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap,
                  const Rect& rect, bool toBuffer) {
  const std::int64_t width = bitmap.Width();
  const std::int64_t height = bitmap.Height();
  std::int64_t left = rect.left;
  std::int64_t top = rect.top;
  std::int64_t right = rect.right;
  std::int64_t bottom = rect.bottom;
  if (width == 0 || height == 0 || left >= width || top >= height || right <= 0 || bottom <= 0) {
    return;
  }
  const std::int64_t pixelSize = BytesPerPixel(DetectPixelFormat(bitmap));
  if (pixelSize == 0) throw EAssertionFailed(kTransferAssertion);

  // The buffer holds the whole unclipped rectangle.
  const std::int64_t rectWidth = right - left;
  const std::int64_t rectHeight = bottom - top;
  if (rectWidth <= 0 || rectHeight <= 0) return;
  const std::int64_t bufferStride = rectWidth * pixelSize;
  if (static_cast<std::uint64_t>(bufferStride) > bufferLength / static_cast<std::uint64_t>(rectHeight)) {
    throw ERangeError(kRangeCheckError);
  }

  // Clip to the bitmap; the buffer keeps its layout.
  std::int64_t bufferOffset = 0;
  if (top < 0) {
    bufferOffset += -top * bufferStride;
    top = 0;
  }
  if (left < 0) {
    bufferOffset += -left * pixelSize;
    left = 0;
  }
  right = std::min(right, width);
  bottom = std::min(bottom, height);
  const std::int64_t rowBytes = (right - left) * pixelSize;
  const std::int64_t rows = bottom - top;
  if (rowBytes <= 0 || rows <= 0) return;

  // Rows are stored bottom-up: the next row down the picture lies one stride
  // earlier in storage.
  const auto stride = static_cast<std::ptrdiff_t>(bitmap.Stride());
  std::uint8_t* row = bitmap.ScanLine(static_cast<std::int32_t>(top)) + left * pixelSize;
  for (std::int64_t i = 0; i < rows; ++i) {
    if (i > 0) row -= stride;
    std::uint8_t* packed = buffer + bufferOffset + i * bufferStride;
    if (toBuffer) {
      std::memcpy(packed, row, static_cast<std::size_t>(rowBytes));
    } else {
      std::memcpy(row, packed, static_cast<std::size_t>(rowBytes));
    }
  }
}

void BitmapToBuffer(std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap) {
  TransferRect(buffer, bufferLength, bitmap, Rect{0, 0, bitmap.Width(), bitmap.Height()}, true);
}

void BufferToBitmap(const std::uint8_t* buffer, std::size_t bufferLength, TBitmap& bitmap) {
  // The transfer towards the bitmap only reads the buffer.
  TransferRect(const_cast<std::uint8_t*>(buffer), bufferLength, bitmap,
               Rect{0, 0, bitmap.Width(), bitmap.Height()}, false);
}

// ---- Normalisation --------------------------------------------------------------

void FlipTopDown(TStream& source, std::int64_t sourceStart, TMemoryStream& probe) {
  std::uint8_t* header = probe.Memory();
  const std::int64_t width = GetI32(header + kProbeWidth);
  const std::int64_t rows = -static_cast<std::int64_t>(GetI32(header + kProbeHeight));
  const std::int64_t bitCount = GetU16(header + kProbeBitCount);
  const std::int64_t imageSize = CheckedImageSize(bitCount, width, rows);
  const std::int64_t stride = RowStride(bitCount, width);
  const std::int64_t offBits = GetU32(header + kBfOffBits);

  std::uint8_t* copy = GrowCopy(source, sourceStart, probe, offBits, imageSize);
  PutI32(copy + kProbeHeight, static_cast<std::int32_t>(rows));
  PutU32(copy + kProbeSizeImage, static_cast<std::uint32_t>(imageSize));
  PutU32(copy + kBfSize, static_cast<std::uint32_t>(offBits + imageSize));

  // The file's first row is the picture's top row: it goes last.
  if (stride == 0) return;
  for (std::int64_t i = rows - 1; i >= 0; --i) {
    source.ReadBuffer(copy + offBits + i * stride, stride);
  }
}

void DecodeRle8(TStream& source, std::int64_t sourceStart, TMemoryStream& probe) {
  std::uint8_t* header = probe.Memory();
  const std::int64_t width = GetI32(header + kProbeWidth);
  const std::int64_t signedHeight = GetI32(header + kProbeHeight);
  const std::int64_t rows = signedHeight < 0 ? -signedHeight : signedHeight;
  const std::int64_t imageSize = CheckedImageSize(kBitsPerByte, width, rows);
  const std::int64_t rowStep = RowStride(kBitsPerByte, width);
  const std::int64_t offBits = GetU32(header + kBfOffBits);
  const std::int64_t fileSize = GetU32(header + kBfSize);
  if (fileSize < offBits) Invalid();

  std::uint8_t* copy = GrowCopy(source, sourceStart, probe, offBits, imageSize);

  // The run-length data: as long as the header says, or what the source
  // still holds if that is less.
  const std::int64_t available = std::max<std::int64_t>(source.GetSize() - source.Position(), 0);
  const std::int64_t wanted = std::min(fileSize - offBits, available);
  ByteBuffer work;
  try {
    work.resize(static_cast<std::size_t>(wanted));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(kOutOfMemory);
  }
  const std::int64_t dataSize = source.ReadUpTo(work.data(), wanted);
  const std::uint8_t* data = work.data();

  PutU32(copy + kProbeCompression, kBiRgb);
  PutU32(copy + kProbeSizeImage, static_cast<std::uint32_t>(imageSize));
  PutU32(copy + kBfSize, static_cast<std::uint32_t>(offBits + imageSize));
  PutI32(copy + kProbeHeight, static_cast<std::int32_t>(rows));

  // Top-down data fills the area from its last row backwards, so that the
  // picture's top row lands in the last stored row.
  std::uint8_t* area = copy + offBits;
  if (imageSize > 0) std::memset(area, 0, static_cast<std::size_t>(imageSize));
  const std::int64_t lineStep = signedHeight < 0 ? -rowStep : rowStep;
  std::int64_t lineStart = signedHeight < 0 ? imageSize - rowStep : 0;
  std::int64_t pos = lineStart;
  std::int64_t next = 0;
  while (dataSize - next >= kRlePairSize && pos >= 0 && pos <= imageSize) {
    const std::uint8_t first = data[next];
    const std::uint8_t second = data[next + 1];
    next += kRlePairSize;
    if (first > 0) {
      // Encoded run: cut only by the end of the area.
      const std::int64_t count = std::min<std::int64_t>(first, imageSize - pos);
      if (count > 0) std::memset(area + pos, second, static_cast<std::size_t>(count));
      pos += first;
    } else if (second == kRleEndOfLine) {
      lineStart += lineStep;
      pos = lineStart;
    } else if (second == kRleEndOfBitmap) {
      break;
    } else if (second == kRleDelta) {
      if (dataSize - next < kRlePairSize) break;
      const std::int64_t dx = data[next];
      const std::int64_t dy = data[next + 1];
      next += kRlePairSize;
      pos += dx + dy * lineStep;
      lineStart += dy * lineStep;
    } else {
      // Absolute run of `second` bytes, padded to an even length.
      const std::int64_t length = second;
      const std::int64_t count = std::min({length, dataSize - next, imageSize - pos});
      if (count > 0) std::memcpy(area + pos, data + next, static_cast<std::size_t>(count));
      next += std::min(length + (length & 1), dataSize - next);
      pos += length;
    }
  }
}

// ---- Loading --------------------------------------------------------------------

void LoadBitmap(TStream& source, TBitmap& destination) {
  const std::int64_t start = source.Position();
  auto probe = std::make_unique<TMemoryStream>();
  probe->SetSize(kProbeSize);
  const std::int64_t got = source.ReadUpTo(probe->Memory(), kProbeSize);

  std::uint32_t code = kNoInfoHeader;
  if (got == kProbeSize && GetU32(probe->Memory() + kProbeBiSize) >= kInfoHeaderSize) {
    code = GetU32(probe->Memory() + kProbeCompression);
  } else {
    probe->SetSize(got);
  }
  const bool uncompressed = code == kBiRgb || code == kBiBitfields;

  if (code != kNoInfoHeader) {
    std::uint8_t* header = probe->Memory();
    const std::int64_t height = GetI32(header + kProbeHeight);
    const std::int64_t bitCount = GetU16(header + kProbeBitCount);
    bool normalised = false;
    if (uncompressed && height < 0) {
      FlipTopDown(source, start, *probe);
      normalised = true;
    } else if (code == kBiRle8 && bitCount == kBitsPerByte) {
      DecodeRle8(source, start, *probe);
      normalised = true;
    }
    if (normalised) {
      probe->Seek(0, SeekOrigin::Beginning);
      destination.LoadFromStream(*probe, probe->Size());
      return;
    }
    if (uncompressed) {
      // The image size field of uncompressed files is often 0 or wrong.
      const std::int64_t width = GetI32(header + kProbeWidth);
      const std::int64_t imageSize = CheckedImageSize(bitCount, width, height);
      PutU32(header + kProbeSizeImage, static_cast<std::uint32_t>(imageSize));
    }
  }

  // Everything else is read straight from the source, with the probed bytes
  // served from the probe.
  const std::int64_t probed = got;
  TQxReplaceStream overlay(&source, probe.release(), false, true, source.Position() - probed);
  overlay.Seek(-probed, SeekOrigin::Current);
  const std::int64_t byteCount = overlay.GetSize() - overlay.Position();
  destination.LoadFromStream(overlay, byteCount);
}

std::unique_ptr<TBitmap> LoadBitmap(TStream& source) {
  auto bitmap = std::make_unique<TBitmap>();
  LoadBitmap(source, *bitmap);
  return bitmap;
}

void LoadBitmapFile(const std::string& path, TBitmap& destination) {
  TFileStream file(path, TFileStream::Mode::OpenRead);
  LoadBitmap(file, destination);
}

std::unique_ptr<TBitmap> LoadBitmapFile(const std::string& path) {
  auto bitmap = std::make_unique<TBitmap>();
  LoadBitmapFile(path, *bitmap);
  return bitmap;
}

}  // namespace qx
