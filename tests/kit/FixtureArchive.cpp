#include "FixtureArchive.h"

#include <stdexcept>

namespace qx::test {

FixtureEntry Entry(const std::string& name, const Bytes& data) { return {B(name), data}; }

Bytes BuildArchive(const std::vector<FixtureEntry>& entries, std::size_t entrySize,
                   std::optional<std::uint16_t> count) {
  Bytes out(EntryAt(entries.size(), entrySize), 0);
  Set16(out, 0, count.value_or(static_cast<std::uint16_t>(entries.size())));
  auto offset = static_cast<std::uint32_t>(out.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const FixtureEntry& e = entries[i];
    const std::size_t at = EntryAt(i, entrySize);
    SetLe(out, at, e.hash.value_or(0), HashWidth(entrySize));
    Set32(out, at + OffsetField(entrySize), e.offset.value_or(offset));
    Set32(out, at + SizeField(entrySize), e.size.value_or(static_cast<std::uint32_t>(e.data.size())));
    out.insert(out.end(), e.data.begin(), e.data.end());
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const FixtureEntry& e : entries) {
    if (e.slot.size() > kSlot) throw std::invalid_argument("name slot longer than 15 bytes");
    Bytes slot = e.slot;
    slot.resize(kSlot, 0);
    out.insert(out.end(), slot.begin(), slot.end());
  }
  return out;
}

std::vector<ParsedEntry> ParseArchive(const Bytes& archive, std::size_t entrySize, Tables tables) {
  if (archive.size() < kCountBytes) throw std::runtime_error("archive shorter than its count");
  const std::size_t count = Get16(archive, 0);
  const std::size_t entryTable = EntryAt(count, entrySize);
  const std::size_t nameTable = count * kSlot;
  const bool fits = tables == Tables::Apart ? entryTable + nameTable <= archive.size()
                                            : entryTable <= archive.size() && nameTable <= archive.size();
  if (!fits) throw std::runtime_error("archive shorter than its tables");
  const std::size_t names = archive.size() - nameTable;
  std::vector<ParsedEntry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = EntryAt(i, entrySize);
    ParsedEntry e;
    e.hash = GetLe(archive, at, HashWidth(entrySize));
    e.offset = Get32(archive, at + OffsetField(entrySize));
    e.size = Get32(archive, at + SizeField(entrySize));
    const std::uint64_t end = std::uint64_t{e.offset} + e.size;
    if (tables == Tables::Apart ? end > names : e.size > 0 && end > archive.size()) {
      throw std::runtime_error("entry " + std::to_string(i) + " lies outside the data");
    }
    if (e.size > 0) {
      e.data.assign(archive.begin() + static_cast<std::ptrdiff_t>(e.offset),
                    archive.begin() + static_cast<std::ptrdiff_t>(end));
    }
    e.slot.assign(archive.begin() + static_cast<std::ptrdiff_t>(names + i * kSlot),
                  archive.begin() + static_cast<std::ptrdiff_t>(names + (i + 1) * kSlot));
    for (std::uint8_t c : e.slot) {
      if (c == 0) break;
      e.name += static_cast<char>(c);
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace qx::test
