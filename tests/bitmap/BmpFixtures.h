// Small BMP files built field by field for the bitmap tests, and helpers to
// load them and to catch the errors they raise.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "QxExceptions.h"
#include "QxGraphics.h"
#include "QxMemoryStreams.h"
#include "TestKit.h"

namespace qx::test {

// An info-header BMP. Unset optional fields get the values a well-formed
// file has.
struct BmpFile {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;  // bytes beyond 40 are zeros (up to 1024)
  std::uint16_t planes = 1;
  std::uint32_t clrUsed = 0;
  std::uint32_t sizeImage = 0;
  std::uint32_t xPels = 2835;
  std::uint32_t yPels = 2835;
  std::uint32_t clrImportant = 0;
  std::vector<std::uint32_t> masks;  // written behind the header when set
  std::uint32_t colours = 0;         // table entries written; entry i is (i, i+1, i+2)
  std::uint32_t gap = 0;             // bytes between table and pixels (0xEE)
  std::optional<std::uint32_t> offBits;
  std::optional<std::uint32_t> fileSize;
  Bytes pixels;

  Bytes Build() const {
    const std::uint32_t written = headerSize > 40 && headerSize <= 1024 ? headerSize : 40;
    const std::uint32_t tableEnd = 14 + written + static_cast<std::uint32_t>(masks.size()) * 4 + colours * 4;
    const std::uint32_t pixelStart = offBits.value_or(tableEnd + gap);
    Bytes b = B("BM");
    Put32(b, fileSize.value_or(tableEnd + gap + static_cast<std::uint32_t>(pixels.size())));
    Put32(b, 0);
    Put32(b, pixelStart);
    Put32(b, headerSize);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, planes);
    Put16(b, bitCount);
    Put32(b, compression);
    Put32(b, sizeImage);
    Put32(b, xPels);
    Put32(b, yPels);
    Put32(b, clrUsed);
    Put32(b, clrImportant);
    // Small header sizes keep the 40 bytes written; absurd ones add nothing.
    if (headerSize > 40 && headerSize <= 1024) b.resize(14 + headerSize, 0);
    for (std::uint32_t mask : masks) Put32(b, mask);
    for (std::uint32_t i = 0; i < colours; ++i) {
      b.push_back(static_cast<std::uint8_t>(i));
      b.push_back(static_cast<std::uint8_t>(i + 1));
      b.push_back(static_cast<std::uint8_t>(i + 2));
      b.push_back(0x77);  // the fourth byte is not kept
    }
    b.insert(b.end(), gap, 0xEE);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  }
};

// An old-style file with a 12-byte core header and 3-byte colour entries.
inline Bytes CoreBmp(std::uint16_t width, std::uint16_t height, std::uint32_t colours,
                     const Bytes& pixels, std::optional<std::uint32_t> offBits = std::nullopt) {
  const std::uint32_t tableEnd = 14 + 12 + colours * 3;
  Bytes b = B("BM");
  Put32(b, tableEnd + static_cast<std::uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, offBits.value_or(tableEnd));
  Put32(b, 12);
  Put16(b, width);
  Put16(b, height);
  Put16(b, 1);
  Put16(b, 8);
  for (std::uint32_t i = 0; i < colours; ++i) {
    b.push_back(static_cast<std::uint8_t>(i));
    b.push_back(static_cast<std::uint8_t>(i + 1));
    b.push_back(static_cast<std::uint8_t>(i + 2));
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// Loads bytes as the packers do: through a byte-array stream over them.
// A BMP whose header claims an image of any size, followed by a few bytes
// of pixel (or run-length) data: for headers that must be refused before
// their size is ever allocated.
inline Bytes ClaimedSizeBmp(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t compression = 0) {
  BmpFile file;
  file.width = width;
  file.height = height;
  file.bitCount = bitCount;
  file.compression = compression;
  if (compression == 3) file.masks = {0xFF0000, 0xFF00, 0xFF};
  if (bitCount <= 8) file.colours = 2;
  file.pixels = compression == 1 ? Bytes{2, 1, 0, 1} : Bytes(64, 7);
  return file.Build();
}

inline TBitmap Load(Bytes bytes) {
  TQxArrayStream stream(bytes);
  TBitmap bitmap;
  LoadBitmap(stream, bitmap);
  return bitmap;
}

// The pixels of an image, top row first, without padding (8-bit images).
inline Bytes Pixels(TBitmap& bitmap) {
  Bytes out(static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
  BitmapToBuffer(out.data(), out.size(), bitmap);
  return out;
}

// "Kind: message" of the error an action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInvalidGraphic& e) {
    return std::string("EInvalidGraphic: ") + e.what();
  } catch (const EReadError& e) {
    return std::string("EReadError: ") + e.what();
  } catch (const EAssertionFailed& e) {
    return std::string("EAssertionFailed: ") + e.what();
  } catch (const ERangeError& e) {
    return std::string("ERangeError: ") + e.what();
  } catch (const EInvalidOperation& e) {
    return std::string("EInvalidOperation: ") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception: ") + e.what();
  }
  return "(no error)";
}

inline const std::string kInvalid = "EInvalidGraphic: Bitmap image is not valid";
inline const std::string kShortRead = "EReadError: Stream read error";

}  // namespace qx::test
