#include "ArchiveFormat.h"

#include <algorithm>
#include <cstring>

#include "Endian.h"
#include "QxSysUtils.h"

namespace qx::archive {

std::uint32_t NameHash(std::string_view name) {
  std::uint32_t h = 0;
  std::uint32_t s = 0;
  for (auto it = name.rbegin(); it != name.rend(); ++it) {
    std::uint32_t k = static_cast<std::uint8_t>(*it);
    if (k >= 0x61 && k <= 0x7A) k -= 0x20;
    s += k;
    // Not a rotation: bits 25 and 26 of h feed both shifted terms.
    h = k + s + (h << 5) + (h >> 25);
  }
  return h;
}

std::uint16_t HashId(std::string_view name) {
  std::uint16_t h = 0;
  for (char c : name) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == 0) break;
    std::uint16_t k = b & 0x7F;
    if (k >= 0x60) k -= 0x20;
    const auto rotated = static_cast<std::uint16_t>((h << 9) | (h >> 7));
    h = static_cast<std::uint16_t>(rotated - k);
  }
  return h;
}

namespace {

std::uint32_t WideHashId(std::string_view name) { return HashId(name); }

}  // namespace

const Layout kLongLayout{"long", 12, 4, NameHash};
const Layout kShortLayout{"short", 10, 2, WideHashId};

EntryRecord DecodeEntry(const Layout& layout, const std::uint8_t* record) {
  EntryRecord entry;
  entry.hash = layout.hashSize == 4 ? GetU32(record) : GetU16(record);
  entry.offset = GetU32(record + layout.OffsetField());
  entry.size = GetU32(record + layout.SizeField());
  return entry;
}

void EncodeEntry(const Layout& layout, const EntryRecord& entry, std::uint8_t* record) {
  if (layout.hashSize == 4) {
    PutU32(record, entry.hash);
  } else {
    PutU16(record, static_cast<std::uint16_t>(entry.hash));
  }
  PutU32(record + layout.OffsetField(), entry.offset);
  PutU32(record + layout.SizeField(), entry.size);
}

NameSlot MakeSlot(std::string_view storedName) {
  NameSlot slot{};
  const std::size_t length = std::min(storedName.size(), kMaxStoredName);
  std::memcpy(slot.data(), storedName.data(), length);
  return slot;
}

std::string SlotName(const std::uint8_t* slot) {
  std::size_t n = 0;
  while (n < kNameSlotSize && slot[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(slot), n);
}

bool IsImageEntryName(const std::string& name) {
  return HasExtension(name, kImageExtension) || HasExtension(name, kBackgroundExtension);
}

bool IsBitmapFileName(const std::string& fileName) { return HasExtension(fileName, kImageExtension); }

std::string StoredNameOf(const std::string& fileName) {
  if (!IsBitmapFileName(fileName)) return fileName;
  const std::string bare = ReplaceExtension(fileName, "");
  return HasExtension(bare, kBackgroundExtension) ? bare : fileName;
}

std::string OutputNameOf(const std::string& entryName) {
  return HasExtension(entryName, kBackgroundExtension) ? entryName + kImageExtension : entryName;
}

bool IsSafeEntryName(const std::string& name, bool refuseDeviceNames) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    const std::string component =
        name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (component == ".." || (refuseDeviceNames && IsDeviceName(component))) return false;
    if (end == std::string::npos) return !component.empty() && component != ".";
    start = end + 1;
  }
}

bool LooksLikeImageRecord(const std::uint8_t* data, std::size_t size) {
  return size >= kImageHeaderSize && data[0] == kImageMagic;
}

bool ReadImageHeader(const std::uint8_t* data, std::size_t size, ImageHeader& header) {
  if (size < kImageHeaderSize) return false;
  header.width = GetU16(data + kImageWidthOffset);
  header.height = GetU16(data + kImageHeightOffset);
  return true;
}

bool HoldsAllPixels(std::size_t size, const ImageHeader& header) {
  return size >= kImageHeaderSize && size - kImageHeaderSize >= header.Pixels();
}

void WriteImageHeader(std::uint8_t* record, const ImageHeader& header) {
  PutU16(record, kImageMagic);
  PutU16(record + kImageWidthOffset, header.width);
  PutU16(record + kImageHeightOffset, header.height);
}

}  // namespace qx::archive
