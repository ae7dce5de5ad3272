// Small 8-bit BMP files made byte by byte for the image tests.
#pragma once

#include <cstdint>
#include <vector>

#include "TestKit.h"

namespace qx::test {

struct Colour {
  std::uint8_t r, g, b;
};

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

// The raw image record of a picture.
Bytes Record(std::uint16_t width, std::uint16_t height, const Bytes& pixels);

std::vector<Colour> Greys(std::size_t count);

}  // namespace qx::test
