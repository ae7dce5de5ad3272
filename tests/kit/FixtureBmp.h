// 8-bit (and other) BMP files made byte by byte for the tests, fuzz targets
// and benchmarks, and the raw image records the archives store. One header
// writer serves every builder: BmpFile sets any field of an info-header file
// (for malformed and hostile headers), CoreBmp makes old-style files, and
// BmpPicture stores one picture in each of the forms the packers accept.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "FixtureBytes.h"

namespace qx::test {

inline constexpr std::uint32_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t kCoreHeaderSize = 12;
inline constexpr std::uint32_t kDefaultPelsPerMetre = 2835;
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiBitFields = 3;

// The fields of the file header and of the bitmap header, stored as given.
struct BmpHeader {
  bool core = false;  // the 12-byte core layout (16-bit sizes) instead of the 40-byte info layout
  std::uint32_t fileSize = 0;
  std::uint32_t offBits = 0;
  std::uint32_t headerSize = kInfoHeaderSize;  // stored in the info layout; core stores 12
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = kBiRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t xPels = kDefaultPelsPerMetre;
  std::uint32_t yPels = kDefaultPelsPerMetre;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};

// Appends "BM", the file header and the bitmap header: 14 + 40 bytes, or
// 14 + 12 in the core layout.
void AppendBmpHeaders(Bytes& out, const BmpHeader& header);

struct Colour {
  std::uint8_t r, g, b;
};

// Appends a colour table: blue, green, red, and in the info layout a fourth
// byte `reserved`.
void AppendColourTable(Bytes& out, const std::vector<Colour>& colours, bool core, std::uint8_t reserved = 0);

// Rows of `width` one-byte pixels (given top row first) in storage order,
// each padded with zeros to a multiple of 4 bytes.
Bytes PaddedRows(std::int32_t width, std::int32_t height, const Bytes& pixels, bool topDown);

// An info-header BMP built field by field. Unset optional fields get the
// values a well-formed file has.
struct BmpFile {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = kBiRgb;
  std::uint32_t headerSize = kInfoHeaderSize;  // bytes beyond 40 are zeros (up to 1024)
  std::uint16_t planes = 1;
  std::uint32_t clrUsed = 0;
  std::uint32_t sizeImage = 0;
  std::uint32_t xPels = kDefaultPelsPerMetre;
  std::uint32_t yPels = kDefaultPelsPerMetre;
  std::uint32_t clrImportant = 0;
  std::vector<std::uint32_t> masks;  // written behind the header when set
  std::uint32_t colours = 0;         // table entries written; entry i is (i, i+1, i+2)
  std::uint32_t gap = 0;             // bytes between table and pixels (0xEE)
  std::optional<std::uint32_t> offBits;
  std::optional<std::uint32_t> fileSize;
  Bytes pixels;

  Bytes Build() const;
};

// An old-style file with a 12-byte core header and 3-byte colour entries
// (entry i is (i, i+1, i+2)).
Bytes CoreBmp(std::uint16_t width, std::uint16_t height, std::uint32_t colours, const Bytes& pixels,
              std::optional<std::uint32_t> offBits = std::nullopt);

// A BMP whose header claims an image of any size, followed by a few bytes
// of pixel (or run-length) data: for headers that must be refused before
// their size is ever allocated.
Bytes ClaimedSizeBmp(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                     std::uint32_t compression = kBiRgb);

// One 8-bit picture, to be stored in any of the forms a BMP file may take.
struct BmpPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;        // as the picture has it; stored negative when topDown
  Bytes pixels;                   // width * height indices, top row first
  std::vector<Colour> palette;    // written as the colour table
  bool core = false;              // 12-byte header, 3-byte colours
  bool topDown = false;
  bool rle8 = false;
  std::int32_t xPels = 2835, yPels = 2835;
  std::uint32_t clrImportant = 0;
  std::uint32_t clrUsed = 0xFFFFFFFF;  // default: the palette's size
  std::uint16_t bitCount = 8;
};

Bytes MakeBmp(const BmpPicture& picture);

// The BMP file the unpackers must write for a record, given the template's
// colours, header kind and header fields.
Bytes ExpectedExport(std::int32_t width, std::int32_t height, const Bytes& pixels, const BmpPicture& templ);

// The raw image record of a picture: 21 00, width, height, then the pixels
// top row first.
Bytes Record(std::uint16_t width, std::uint16_t height, const Bytes& pixels);

std::vector<Colour> Greys(std::size_t count);

}  // namespace qx::test
