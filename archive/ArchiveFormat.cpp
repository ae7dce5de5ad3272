#include "ArchiveFormat.h"

#include "Endian.h"

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

void PutNameHash(std::uint8_t* record, std::string_view name) { PutU32(record, NameHash(name)); }
void PutHashId(std::uint8_t* record, std::string_view name) { PutU16(record, HashId(name)); }

}  // namespace

const Layout kLongLayout{12, 4, PutNameHash};
const Layout kShortLayout{10, 2, PutHashId};

std::string SlotName(const std::uint8_t* slot) {
  std::size_t n = 0;
  while (n < kNameSlotSize && slot[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(slot), n);
}

}  // namespace qx::archive
