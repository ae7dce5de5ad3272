// Archives built and taken apart independently of the product code, so the
// tests, fuzz targets and benchmarks check the programs against the format
// itself. Both layouts: a 2-byte count, then per entry a hash (4 bytes in the
// long layout, 2 in the short one), a 4-byte offset and a 4-byte size, the
// data, and at the very end one 15-byte name slot per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FixtureBytes.h"

namespace qx::test {

inline constexpr std::size_t kLongEntry = 12;
inline constexpr std::size_t kShortEntry = 10;
inline constexpr std::size_t kSlot = 15;
inline constexpr std::size_t kCountBytes = 2;

// Positions of the fields of an entry of the given size, from the entry's
// start, and the start of entry `index` in the file.
inline std::size_t HashWidth(std::size_t entrySize) { return entrySize - 8; }
inline std::size_t OffsetField(std::size_t entrySize) { return entrySize - 8; }
inline std::size_t SizeField(std::size_t entrySize) { return entrySize - 4; }
inline std::size_t EntryAt(std::size_t index, std::size_t entrySize) { return kCountBytes + index * entrySize; }

// One entry to put into a hand-made archive. Unset fields get the values a
// packer writes (hash 0, since the unpackers never read it; offset and size
// of the data as laid out); set ones are stored as given, so hostile archives
// can be made.
struct FixtureEntry {
  Bytes slot;  // the raw name slot, up to 15 bytes; zero-filled
  Bytes data;
  std::optional<std::uint32_t> hash = std::nullopt;  // cut to the layout's hash width
  std::optional<std::uint32_t> offset = std::nullopt;
  std::optional<std::uint32_t> size = std::nullopt;
};

FixtureEntry Entry(const std::string& name, const Bytes& data);

// The count, the entry table, the data of every entry one after another and
// the name table. `count` replaces the stored count (the tables still hold
// every entry given).
Bytes BuildArchive(const std::vector<FixtureEntry>& entries, std::size_t entrySize,
                   std::optional<std::uint16_t> count = std::nullopt);

struct ParsedEntry {
  std::uint32_t hash = 0;  // name hash (long) or hash ID (short)
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  Bytes slot;        // the 15 raw bytes
  std::string name;  // up to the first zero byte
  Bytes data;        // the `size` bytes at `offset`
};

// How far apart the parser requires the parts of the file to be.
enum class Tables {
  // As a packer writes them: the entry table, the data and the name table
  // one after another, every entry's data between the two tables.
  Apart,
  // As the unpackers accept them: each table fits the file on its own
  // (they may overlap) and the data of every non-empty entry lies in the file.
  MayOverlap,
};

// The entries of an archive of the given entry size, in table order; throws
// std::runtime_error when the archive breaks the rule chosen.
std::vector<ParsedEntry> ParseArchive(const Bytes& archive, std::size_t entrySize, Tables tables = Tables::Apart);

}  // namespace qx::test
