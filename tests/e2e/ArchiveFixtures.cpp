#include "ArchiveFixtures.h"

#include <gtest/gtest.h>

namespace qx::test {

namespace {

std::uint32_t Get(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

void Set(Bytes& b, std::size_t at, std::size_t width, std::uint32_t v) {
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<ParsedEntry> ParseArchive(const Bytes& archive, std::size_t entrySize) {
  std::vector<ParsedEntry> entries;
  EXPECT_GE(archive.size(), 2u);
  if (archive.size() < 2) return entries;
  const std::size_t count = Get(archive, 0, 2);
  EXPECT_GE(archive.size(), 2 + count * (entrySize + kSlot));
  if (archive.size() < 2 + count * (entrySize + kSlot)) return entries;
  const std::size_t names = archive.size() - count * kSlot;
  for (std::size_t i = 0; i < count; ++i) {
    ParsedEntry e;
    const std::size_t at = 2 + i * entrySize;
    e.hash = Get(archive, at, entrySize - 8);
    e.offset = Get(archive, at + OffsetField(entrySize), 4);
    e.size = Get(archive, at + SizeField(entrySize), 4);
    e.slot.assign(archive.begin() + static_cast<std::ptrdiff_t>(names + i * kSlot),
                  archive.begin() + static_cast<std::ptrdiff_t>(names + (i + 1) * kSlot));
    for (std::uint8_t c : e.slot) {
      if (c == 0) break;
      e.name += static_cast<char>(c);
    }
    entries.push_back(e);
  }
  return entries;
}

Bytes BuildArchive(const std::vector<FixtureEntry>& entries, std::size_t entrySize) {
  const std::size_t count = entries.size();
  Bytes out(2 + count * entrySize, 0);
  Set(out, 0, 2, static_cast<std::uint32_t>(count));
  std::uint32_t offset = static_cast<std::uint32_t>(out.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 2 + i * entrySize;
    Set(out, at + OffsetField(entrySize), 4, offset);
    Set(out, at + SizeField(entrySize), 4, static_cast<std::uint32_t>(entries[i].data.size()));
    out.insert(out.end(), entries[i].data.begin(), entries[i].data.end());
    offset += static_cast<std::uint32_t>(entries[i].data.size());
  }
  for (const FixtureEntry& e : entries) {
    Bytes slot = e.slot;
    slot.resize(kSlot, 0);
    out.insert(out.end(), slot.begin(), slot.end());
  }
  return out;
}

FixtureEntry Entry(const std::string& name, const Bytes& data) { return {B(name), data}; }

}  // namespace qx::test
