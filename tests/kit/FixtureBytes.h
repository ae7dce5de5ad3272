// Byte strings for test fixtures: little-endian appends, reads and in-place
// writes of 16- and 32-bit fields. Reads and writes check their bounds and
// throw std::out_of_range, so a fixture that is too short fails loudly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qx::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes from a string literal, e.g. B("BM").
inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Appends `width` bytes of v, lowest first.
inline void PutLe(Bytes& b, std::uint32_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Put16(Bytes& b, std::uint16_t v) { PutLe(b, v, 2); }
inline void Put32(Bytes& b, std::uint32_t v) { PutLe(b, v, 4); }
inline void PutI32(Bytes& b, std::int32_t v) { PutLe(b, static_cast<std::uint32_t>(v), 4); }

// Reads `width` bytes at p, lowest first; the caller has checked the bounds.
inline std::uint32_t GetLe(const std::uint8_t* p, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = width; i > 0; --i) v = (v << 8) | p[i - 1];
  return v;
}
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(GetLe(p, 2)); }
inline std::uint32_t Get32(const std::uint8_t* p) { return GetLe(p, 4); }
inline std::int32_t GetI32(const std::uint8_t* p) { return static_cast<std::int32_t>(GetLe(p, 4)); }

inline void CheckRange(const Bytes& b, std::size_t at, std::size_t width) {
  if (at > b.size() || width > b.size() - at) {
    throw std::out_of_range("fixture field at " + std::to_string(at) + " lies outside " +
                            std::to_string(b.size()) + " bytes");
  }
}
inline std::uint32_t GetLe(const Bytes& b, std::size_t at, std::size_t width) {
  CheckRange(b, at, width);
  return GetLe(b.data() + at, width);
}
inline std::uint16_t Get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(GetLe(b, at, 2)); }
inline std::uint32_t Get32(const Bytes& b, std::size_t at) { return GetLe(b, at, 4); }
inline std::int32_t GetI32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(GetLe(b, at, 4)); }

// Overwrites `width` bytes at `at` with v, lowest first.
inline void SetLe(Bytes& b, std::size_t at, std::uint32_t v, std::size_t width) {
  CheckRange(b, at, width);
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Set16(Bytes& b, std::size_t at, std::uint16_t v) { SetLe(b, at, v, 2); }
inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) { SetLe(b, at, v, 4); }

}  // namespace qx::test
