#include "FixtureBmp.h"

#include <stdexcept>

namespace qx::test {

namespace {

constexpr std::uint32_t kMaxHeaderPadding = 1024;
constexpr std::size_t kExportColours = 256;

std::size_t Stride(std::int32_t width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }

// Each row as runs of one pixel, an end of line after each row, then the
// end of the bitmap; rows in storage order.
Bytes Rle8Rows(std::int32_t width, std::int32_t height, const Bytes& pixels, bool topDown) {
  Bytes data;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t r = topDown ? i : height - 1 - i;
    for (std::int32_t x = 0; x < width; ++x) {
      data.push_back(1);
      data.push_back(pixels.at(static_cast<std::size_t>(r * width + x)));
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  return data;
}

// Table entry i of the builders that do not care about the colours.
std::vector<Colour> CountingColours(std::uint32_t count) {
  std::vector<Colour> colours;
  for (std::uint32_t i = 0; i < count; ++i) {
    colours.push_back({static_cast<std::uint8_t>(i + 2), static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i)});
  }
  return colours;
}

}  // namespace

void AppendBmpHeaders(Bytes& out, const BmpHeader& h) {
  out.push_back('B');
  out.push_back('M');
  Put32(out, h.fileSize);
  Put32(out, 0);  // two reserved 16-bit fields
  Put32(out, h.offBits);
  if (h.core) {
    Put32(out, kCoreHeaderSize);
    Put16(out, static_cast<std::uint16_t>(h.width));
    Put16(out, static_cast<std::uint16_t>(h.height));
    Put16(out, h.planes);
    Put16(out, h.bitCount);
    return;
  }
  Put32(out, h.headerSize);
  PutI32(out, h.width);
  PutI32(out, h.height);
  Put16(out, h.planes);
  Put16(out, h.bitCount);
  Put32(out, h.compression);
  Put32(out, h.sizeImage);
  Put32(out, h.xPels);
  Put32(out, h.yPels);
  Put32(out, h.clrUsed);
  Put32(out, h.clrImportant);
}

void AppendColourTable(Bytes& out, const std::vector<Colour>& colours, bool core, std::uint8_t reserved) {
  for (const Colour& c : colours) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    if (!core) out.push_back(reserved);
  }
}

Bytes PaddedRows(std::int32_t width, std::int32_t height, const Bytes& pixels, bool topDown) {
  if (pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::invalid_argument("fewer pixels than width times height");
  }
  Bytes rows;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t r = topDown ? i : height - 1 - i;
    rows.insert(rows.end(), pixels.begin() + r * width, pixels.begin() + (r + 1) * width);
    rows.resize(rows.size() + Stride(width) - static_cast<std::size_t>(width), 0);
  }
  return rows;
}

Bytes BmpFile::Build() const {
  const bool padded = headerSize > kInfoHeaderSize && headerSize <= kMaxHeaderPadding;
  const std::uint32_t written = padded ? headerSize : kInfoHeaderSize;
  const std::uint32_t tableEnd =
      kFileHeaderSize + written + static_cast<std::uint32_t>(masks.size()) * 4 + colours * 4;
  BmpHeader h;
  h.fileSize = fileSize.value_or(tableEnd + gap + static_cast<std::uint32_t>(pixels.size()));
  h.offBits = offBits.value_or(tableEnd + gap);
  h.headerSize = headerSize;
  h.width = width;
  h.height = height;
  h.planes = planes;
  h.bitCount = bitCount;
  h.compression = compression;
  h.sizeImage = sizeImage;
  h.xPels = xPels;
  h.yPels = yPels;
  h.clrUsed = clrUsed;
  h.clrImportant = clrImportant;
  Bytes b;
  AppendBmpHeaders(b, h);
  // Small header sizes keep the 40 bytes written; absurd ones add nothing.
  if (padded) b.resize(kFileHeaderSize + headerSize, 0);
  for (std::uint32_t mask : masks) Put32(b, mask);
  AppendColourTable(b, CountingColours(colours), false, 0x77);  // the fourth byte is not kept
  b.insert(b.end(), gap, 0xEE);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes CoreBmp(std::uint16_t width, std::uint16_t height, std::uint32_t colours, const Bytes& pixels,
              std::optional<std::uint32_t> offBits) {
  const std::uint32_t tableEnd = kFileHeaderSize + kCoreHeaderSize + colours * 3;
  BmpHeader h;
  h.core = true;
  h.fileSize = tableEnd + static_cast<std::uint32_t>(pixels.size());
  h.offBits = offBits.value_or(tableEnd);
  h.width = width;
  h.height = height;
  Bytes b;
  AppendBmpHeaders(b, h);
  AppendColourTable(b, CountingColours(colours), true);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes ClaimedSizeBmp(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t compression) {
  BmpFile file;
  file.width = width;
  file.height = height;
  file.bitCount = bitCount;
  file.compression = compression;
  if (compression == kBiBitFields) file.masks = {0xFF0000, 0xFF00, 0xFF};
  if (bitCount <= 8) file.colours = 2;
  file.pixels = compression == kBiRle8 ? Bytes{2, 1, 0, 1} : Bytes(64, 7);
  return file.Build();
}

namespace {

// A well-formed file of the given header fields, colour table and pixel
// data: the pixel offset and the file size follow from the parts.
Bytes Assemble(BmpHeader h, const Bytes& table, const Bytes& rows) {
  h.offBits = kFileHeaderSize + (h.core ? kCoreHeaderSize : kInfoHeaderSize) + static_cast<std::uint32_t>(table.size());
  h.fileSize = h.offBits + static_cast<std::uint32_t>(rows.size());
  Bytes out;
  AppendBmpHeaders(out, h);
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

}  // namespace

Bytes MakeBmp(const BmpPicture& s) {
  Bytes table;
  AppendColourTable(table, s.palette, s.core);
  const Bytes rows = s.rle8 ? Rle8Rows(s.width, s.height, s.pixels, s.topDown)
                            : PaddedRows(s.width, s.height, s.pixels, s.topDown);
  return Assemble({.core = s.core,
                   .width = s.width,
                   .height = s.topDown && !s.core ? -s.height : s.height,  // the core layout has no sign
                   .bitCount = s.bitCount,
                   .compression = s.rle8 ? kBiRle8 : kBiRgb,
                   .sizeImage = s.rle8 ? static_cast<std::uint32_t>(rows.size()) : 0,  // image size: 0 is allowed
                   .xPels = static_cast<std::uint32_t>(s.xPels),
                   .yPels = static_cast<std::uint32_t>(s.yPels),
                   .clrUsed = s.clrUsed == 0xFFFFFFFF ? static_cast<std::uint32_t>(s.palette.size()) : s.clrUsed,
                   .clrImportant = s.clrImportant},
                  table, rows);
}

Bytes ExpectedExport(std::int32_t width, std::int32_t height, const Bytes& pixels, const BmpPicture& t) {
  if (width == 0 || height == 0) return {};
  const Bytes rows = PaddedRows(width, height, pixels, false);
  std::vector<Colour> colours = t.palette;
  // The core layout always stores a full table, black where the template
  // has no colour.
  if (t.core) colours.resize(kExportColours, Colour{0, 0, 0});
  Bytes table;
  AppendColourTable(table, colours, t.core);
  return Assemble({.core = t.core,
                   .width = width,
                   .height = height,
                   .sizeImage = static_cast<std::uint32_t>(rows.size()),
                   .xPels = static_cast<std::uint32_t>(t.xPels),
                   .yPels = static_cast<std::uint32_t>(t.yPels),
                   .clrUsed = static_cast<std::uint32_t>(t.palette.size()),
                   .clrImportant = t.clrImportant},
                  table, rows);
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
