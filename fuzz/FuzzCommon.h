// Helpers shared by the fuzz targets: a scratch folder per process, folder
// listings, the pixel sizes of the transfer formats and a cheap look at the
// storage a BMP header asks for.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "FixtureBytes.h"
#include "QxGraphics.h"

namespace qx::fuzz {

namespace fs = std::filesystem;

// Reports a broken property and stops the run, so libFuzzer saves the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

#define QX_FUZZ_CHECK(condition) \
  do {                           \
    if (!(condition)) ::qx::fuzz::Fail(#condition); \
  } while (0)

// A folder of its own for this process (in memory where the system offers
// it), created on first use.
inline const fs::path& ScratchFolder(const std::string& what) {
  static const fs::path folder = [&what] {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path path = base / ("qx_fuzz_" + what + "_" + std::to_string(getpid()));
    fs::remove_all(path, ec);
    fs::create_directories(path);
    return path;
  }();
  // Removed when libFuzzer ends the run normally; a crash keeps it for a look.
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(folder, ec);
    });
    return true;
  }();
  (void)cleanup;
  return folder;
}

// Every path below `folder`, relative to it, without following links.
inline std::set<std::string> ListTree(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) return names;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    names.insert(fs::relative(it->path(), folder).generic_string());
  }
  return names;
}

inline std::int64_t BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Bits8: return 1;
    case PixelFormat::Bits15:
    case PixelFormat::Bits16: return 2;
    case PixelFormat::Bits24: return 3;
    case PixelFormat::Bits32: return 4;
    default: return 0;
  }
}

// The pixel storage a BMP header asks for (stride times rows), from the
// header alone; 0 when the data is too short to tell.
inline std::int64_t ClaimedStorage(const std::uint8_t* data, std::size_t size) {
  if (size < 26) return 0;
  const std::int64_t headerSize = test::Get32(data + 14);
  std::int64_t width = 0, rows = 0, bits = 0;
  if (headerSize == 12) {
    width = test::Get16(data + 18);
    rows = test::Get16(data + 20);
    bits = test::Get16(data + 24);
  } else {
    if (size < 30) return 0;
    width = test::GetI32(data + 18);
    rows = test::GetI32(data + 22);
    bits = test::Get16(data + 28);
  }
  if (rows < 0) rows = -rows;
  if (width < 0) width = -width;
  const std::int64_t stride = (bits * width + 31) / 32 * 4;
  // Anything past 2^40 is far beyond every limit; saturate there.
  constexpr std::int64_t kHuge = std::int64_t{1} << 40;
  if (rows != 0 && stride > kHuge / rows) return kHuge;
  return stride * rows;
}

// Headers that ask for more than 1 MiB (but no more than the reader's 256 MiB
// limit) are legal yet only make the run slow: zero-filling and copying MiBs
// per input tests nothing that a smaller image does not.
inline constexpr std::int64_t kFuzzStorageCap = std::int64_t{1} << 20;
inline constexpr std::int64_t kReaderStorageLimit = std::int64_t{1} << 28;

inline bool TooSlowToLoad(const std::uint8_t* data, std::size_t size) {
  const std::int64_t claimed = ClaimedStorage(data, size);
  return claimed > kFuzzStorageCap && claimed <= kReaderStorageLimit + (std::int64_t{1} << 20);
}

}  // namespace qx::fuzz
