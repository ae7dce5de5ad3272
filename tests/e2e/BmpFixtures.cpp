#include "BmpFixtures.h"

namespace qx::test {

namespace {

std::size_t Stride(std::int32_t width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }

// Rows bottom first, each padded to a multiple of 4 bytes.
Bytes BottomUpRows(std::int32_t width, std::int32_t height, const Bytes& pixels) {
  Bytes rows;
  for (std::int32_t r = height - 1; r >= 0; --r) {
    rows.insert(rows.end(), pixels.begin() + r * width, pixels.begin() + (r + 1) * width);
    rows.resize(rows.size() + Stride(width) - static_cast<std::size_t>(width), 0);
  }
  return rows;
}

// Each row as runs of one pixel, an end of line after each row, then the
// end of the bitmap; rows in storage order.
Bytes Rle8Rows(std::int32_t width, std::int32_t height, const Bytes& pixels, bool topDown) {
  Bytes data;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t r = topDown ? i : height - 1 - i;
    for (std::int32_t x = 0; x < width; ++x) {
      data.push_back(1);
      data.push_back(pixels[static_cast<std::size_t>(r * width + x)]);
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  return data;
}

}  // namespace

Bytes MakeBmp(const BmpPicture& s) {
  Bytes table;
  for (const Colour& c : s.palette) {
    table.push_back(c.b);
    table.push_back(c.g);
    table.push_back(c.r);
    if (!s.core) table.push_back(0);
  }
  Bytes rows;
  if (s.rle8) {
    rows = Rle8Rows(s.width, s.height, s.pixels, s.topDown);
  } else if (s.topDown) {
    for (std::int32_t r = 0; r < s.height; ++r) {
      rows.insert(rows.end(), s.pixels.begin() + r * s.width, s.pixels.begin() + (r + 1) * s.width);
      rows.resize(rows.size() + Stride(s.width) - static_cast<std::size_t>(s.width), 0);
    }
  } else {
    rows = BottomUpRows(s.width, s.height, s.pixels);
  }
  const std::uint32_t headerSize = s.core ? 12 : 40;
  const auto offset = static_cast<std::uint32_t>(14 + headerSize + table.size());
  Bytes out = B("BM");
  Put32(out, offset + static_cast<std::uint32_t>(rows.size()));
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, offset);
  Put32(out, headerSize);
  if (s.core) {
    Put16(out, static_cast<std::uint16_t>(s.width));
    Put16(out, static_cast<std::uint16_t>(s.height));
    Put16(out, 1);
    Put16(out, s.bitCount);
  } else {
    Put32(out, static_cast<std::uint32_t>(s.width));
    Put32(out, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
    Put16(out, 1);
    Put16(out, s.bitCount);
    Put32(out, s.rle8 ? 1 : 0);
    Put32(out, s.rle8 ? static_cast<std::uint32_t>(rows.size()) : 0);  // image size: 0 is allowed
    Put32(out, static_cast<std::uint32_t>(s.xPels));
    Put32(out, static_cast<std::uint32_t>(s.yPels));
    Put32(out, s.clrUsed == 0xFFFFFFFF ? static_cast<std::uint32_t>(s.palette.size()) : s.clrUsed);
    Put32(out, s.clrImportant);
  }
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

Bytes ExpectedExport(std::int32_t width, std::int32_t height, const Bytes& pixels, const BmpPicture& t) {
  if (width == 0 || height == 0) return {};
  const Bytes rows = BottomUpRows(width, height, pixels);
  Bytes out = B("BM");
  if (t.core) {
    const std::uint32_t offset = 14 + 12 + 3 * 256;
    Put32(out, offset + static_cast<std::uint32_t>(rows.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 12);
    Put16(out, static_cast<std::uint16_t>(width));
    Put16(out, static_cast<std::uint16_t>(height));
    Put16(out, 1);
    Put16(out, 8);
    for (std::size_t i = 0; i < 256; ++i) {
      const Colour c = i < t.palette.size() ? t.palette[i] : Colour{0, 0, 0};
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
  } else {
    const auto offset = static_cast<std::uint32_t>(14 + 40 + 4 * t.palette.size());
    Put32(out, offset + static_cast<std::uint32_t>(rows.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, 8);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(rows.size()));
    Put32(out, static_cast<std::uint32_t>(t.xPels));
    Put32(out, static_cast<std::uint32_t>(t.yPels));
    Put32(out, static_cast<std::uint32_t>(t.palette.size()));
    Put32(out, t.clrImportant);
    for (const Colour& c : t.palette) {
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
      out.push_back(0);
    }
  }
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

Bytes Record(std::uint16_t width, std::uint16_t height, const Bytes& pixels) {
  Bytes out = {0x21, 0};
  Put16(out, width);
  Put16(out, height);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

std::vector<Colour> Greys(std::size_t count) {
  std::vector<Colour> colours;
  for (std::size_t i = 0; i < count; ++i) {
    const auto v = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
    colours.push_back({v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(i)});
  }
  return colours;
}

}  // namespace qx::test
