// Resource archives (".agg"): a flat set of named entries in one file.
//
// All integers are unsigned little-endian; offsets count from the first byte
// of the file. Nothing is compressed, enciphered or aligned.
//
//   offset                      size             field
//   0                           2                count of entries (0..65535)
//   2                           E * count        entry table
//   2 + E * count               sum of sizes     data area
//   end - 15 * count            15 * count       name table; the file ends here
//
// Two layouts differ only in the entry record (E bytes):
//   long  (E = 12): name hash u32 (NameHash) | offset u32 | size u32
//   short (E = 10): hash ID   u16 (HashId)   | offset u32 | size u32
//
// Name slot: 15 bytes per entry, in entry order. Writers store at most 14
// name bytes and zero-fill the rest; readers take the bytes up to the first
// zero byte, or all 15. The hash is computed from the stored (cut) name.
//
// Data area as written: entries back to back in table order, each offset the
// previous offset plus the previous size (an empty entry keeps the running
// offset). Readers rely only on the count, the entry table right after it,
// the name table at the very end, and each entry's offset and size.
//
// Raw image record (entries named ".bmp" or ".bkg"):
//   0  u16 magic 0x21 | 2  u16 width | 4  u16 height | 6  width*height
//   palette indices, top row first, rows exactly `width` bytes.
// A file of at least 6 bytes whose first byte is 0x21 is taken to be a
// record already; readers do not test the magic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx::archive {

inline constexpr std::size_t kCountSize = 2;
inline constexpr std::size_t kNameSlotSize = 15;
inline constexpr std::size_t kMaxStoredName = 14;
inline constexpr std::size_t kMaxEntries = 65535;
// Offsets and sizes are 32-bit: every data byte must lie below 4 GiB.
inline constexpr std::uint64_t kMaxArchiveData = 0x100000000ull;

inline constexpr std::uint16_t kImageMagic = 0x21;
inline constexpr std::size_t kImageHeaderSize = 6;
inline constexpr std::size_t kImageWidthOffset = 2;
inline constexpr std::size_t kImageHeightOffset = 4;
inline constexpr std::uint32_t kMaxImageSide = 65535;

// Image entries are recognised by these extensions, in any ASCII letter case.
inline constexpr const char* kImageExtension = ".bmp";
inline constexpr const char* kBackgroundExtension = ".bkg";

// The 32-bit name hash of the long layout.
std::uint32_t NameHash(std::string_view name);
// The 16-bit hash ID of the short layout; stops at the first zero byte.
std::uint16_t HashId(std::string_view name);

// One layout: the size of an entry record and the hash it carries. The hash
// occupies the first hashSize bytes; offset and size follow it.
struct Layout {
  std::size_t entrySize;
  std::size_t hashSize;
  // Writes the hash of a stored name into the record's first hashSize bytes.
  void (*putHash)(std::uint8_t* record, std::string_view storedName);

  std::size_t OffsetField() const { return hashSize; }
  std::size_t SizeField() const { return hashSize + 4; }
};

extern const Layout kLongLayout;
extern const Layout kShortLayout;

// The name a slot holds: its bytes up to the first zero byte, or all 15.
std::string SlotName(const std::uint8_t* slot);

}  // namespace qx::archive
