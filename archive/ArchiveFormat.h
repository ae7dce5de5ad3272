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
//
// Names: a packed file "X.bmp" is converted into a record and stored as
// "X.bmp"; "X.bkg.bmp" is converted and stored as "X.bkg"; any other file is
// stored byte for byte under its own name. On output a ".bkg" entry gets
// ".bmp" appended. Slot names are compared byte for byte.
//
// Layout detection (no field tells the layouts apart): a layout is possible
// when the file holds the count, its entry table and a name table that does
// not overlap the entry table, and every entry of size above 0 lies inside
// the file; its score is the number of entries whose stored hash is the hash
// of the slot name. The possible layout with the higher score wins.
#pragma once

#include <array>
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
inline constexpr std::size_t kFieldSize = 4;  // offset and size fields

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
  const char* name;  // "long" or "short"
  std::size_t entrySize;
  std::size_t hashSize;
  std::uint32_t (*hash)(std::string_view storedName);

  std::size_t OffsetField() const { return hashSize; }
  std::size_t SizeField() const { return hashSize + kFieldSize; }
  // Where the data area starts for `count` entries.
  std::uint64_t DataStart(std::size_t count) const { return kCountSize + entrySize * count; }
};

extern const Layout kLongLayout;
extern const Layout kShortLayout;

// ---- Entry records ----------------------------------------------------------

struct EntryRecord {
  std::uint32_t hash = 0;  // name hash, or hash ID in the low 16 bits
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

EntryRecord DecodeEntry(const Layout& layout, const std::uint8_t* record);
void EncodeEntry(const Layout& layout, const EntryRecord& entry, std::uint8_t* record);

// ---- Name slots -------------------------------------------------------------

using NameSlot = std::array<std::uint8_t, kNameSlotSize>;

// The slot a writer stores for a name: its first 14 bytes, zero-filled.
NameSlot MakeSlot(std::string_view storedName);
// The name a slot holds: its bytes up to the first zero byte, or all 15.
std::string SlotName(const std::uint8_t* slot);
inline std::string SlotName(const NameSlot& slot) { return SlotName(slot.data()); }

// ---- Entry names ------------------------------------------------------------

// True for names whose entries hold image records (".bmp", ".bkg").
bool IsImageEntryName(const std::string& name);
// True for files that are converted into image records when packed (".bmp").
bool IsBitmapFileName(const std::string& fileName);
// The name a packed file is stored under, before it is cut to 14 bytes:
// "X.bkg.bmp" becomes "X.bkg", any other name stays.
std::string StoredNameOf(const std::string& fileName);
// The file name an entry is written to: ".bkg" entries get ".bmp" appended.
std::string OutputNameOf(const std::string& entryName);

// True when an entry name may be written under an output folder: not empty,
// not starting with a delimiter, no ":", no ".." component, not ending in an
// empty or "." component, and, when `refuseDeviceNames` is set, no component
// that names a Windows device.
bool IsSafeEntryName(const std::string& name, bool refuseDeviceNames);

// ---- Raw image records ------------------------------------------------------

struct ImageHeader {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint64_t Pixels() const { return static_cast<std::uint64_t>(width) * height; }
};

// True for data that packing stores unchanged as a record: at least the
// header, first byte the magic.
bool LooksLikeImageRecord(const std::uint8_t* data, std::size_t size);
// Reads width and height; false when the data is shorter than the header.
bool ReadImageHeader(const std::uint8_t* data, std::size_t size, ImageHeader& header);
// True when a record of `size` bytes holds every pixel its header announces.
bool HoldsAllPixels(std::size_t size, const ImageHeader& header);
void WriteImageHeader(std::uint8_t* record, const ImageHeader& header);

}  // namespace qx::archive
