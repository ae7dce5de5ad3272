// Archives built and taken apart independently of the product code, so the
// end-to-end tests check the programs against the format itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestKit.h"

namespace qx::test {

inline constexpr std::size_t kLongEntry = 12;
inline constexpr std::size_t kShortEntry = 10;
inline constexpr std::size_t kSlot = 15;

struct ParsedEntry {
  std::uint32_t hash = 0;  // name hash (long) or hash ID (short)
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  Bytes slot;        // the 15 raw bytes
  std::string name;  // up to the first zero byte
};

// Reads an archive of the given entry size; fails the test on a malformed one.
std::vector<ParsedEntry> ParseArchive(const Bytes& archive, std::size_t entrySize);

// One entry to put into a hand-made archive.
struct FixtureEntry {
  Bytes slot;  // up to 15 bytes; zero-filled
  Bytes data;
};

// Lays entries out as the packers do; `patch` may then damage the result.
Bytes BuildArchive(const std::vector<FixtureEntry>& entries, std::size_t entrySize);
FixtureEntry Entry(const std::string& name, const Bytes& data);

// Offsets of the offset and size fields in an entry of the given size.
inline std::size_t OffsetField(std::size_t entrySize) { return entrySize - 8; }
inline std::size_t SizeField(std::size_t entrySize) { return entrySize - 4; }

}  // namespace qx::test
