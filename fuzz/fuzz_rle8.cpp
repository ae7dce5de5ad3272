// DecodeRle8 on arbitrary bytes: the first 54 bytes are the header probe,
// the whole input is the source (positioned behind the probe, as LoadBitmap
// leaves it). The result is compared with a plain reference decoder written
// pixel by pixel from the format's rules, and the normalised copy is handed
// to the BMP reader.
#include <cstring>
#include <vector>

#include "FuzzCommon.h"
#include "QxExceptions.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

// The copy the decoder must make, or false when the header must be refused.
bool Reference(const std::uint8_t* in, std::size_t size, std::vector<std::uint8_t>& copy) {
  const std::int64_t width = test::GetI32(in + 18);
  const std::int64_t signedHeight = test::GetI32(in + 22);
  const std::int64_t rows = signedHeight < 0 ? -signedHeight : signedHeight;
  const std::int64_t offBits = test::Get32(in + 10);
  const std::int64_t fileSize = test::Get32(in + 2);
  if (width < 0 || rows > 0x7FFFFFFF) return false;
  const std::int64_t rowStep = (width + 3) / 4 * 4;
  const std::int64_t area = rowStep * rows;
  if (area > kReaderStorageLimit) return false;
  if (fileSize < offBits) return false;
  if (offBits < 54 || offBits > static_cast<std::int64_t>(size)) return false;
  if (offBits + area > 0x7FFFFFFF) return false;

  copy.assign(static_cast<std::size_t>(offBits + area), 0);
  std::memcpy(copy.data(), in, static_cast<std::size_t>(offBits));
  test::Set32(copy, 30, 0);
  test::Set32(copy, 34, static_cast<std::uint32_t>(area));
  test::Set32(copy, 2, static_cast<std::uint32_t>(offBits + area));
  test::Set32(copy, 22, static_cast<std::uint32_t>(rows));

  const std::int64_t end = std::min<std::int64_t>(fileSize, static_cast<std::int64_t>(size));
  const std::uint8_t* rle = in + offBits;
  const std::int64_t n = end - offBits;
  std::uint8_t* pixels = copy.data() + offBits;
  const std::int64_t step = signedHeight < 0 ? -rowStep : rowStep;
  std::int64_t line = signedHeight < 0 ? area - rowStep : 0;
  std::int64_t pos = line;
  auto put = [&](std::int64_t at, std::uint8_t value) {
    if (at >= 0 && at < area) pixels[at] = value;
  };
  std::int64_t i = 0;
  while (i + 2 <= n && pos >= 0 && pos <= area) {
    const std::uint8_t a = rle[i], b = rle[i + 1];
    i += 2;
    if (a != 0) {
      for (int k = 0; k < a; ++k) put(pos + k, b);
      pos += a;
    } else if (b == 0) {
      line += step;
      pos = line;
    } else if (b == 1) {
      break;
    } else if (b == 2) {
      if (i + 2 > n) break;
      pos += rle[i] + rle[i + 1] * step;
      line += rle[i + 1] * step;
      i += 2;
    } else {
      for (int k = 0; k < b && i + k < n; ++k) put(pos + k, rle[i + k]);
      i = std::min<std::int64_t>(i + b + (b & 1), n);
      pos += b;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 54) return 0;
  // The decoder takes 8 bits per pixel whatever the header says.
  const std::int64_t width = test::GetI32(data + 18);
  const std::int64_t height = test::GetI32(data + 22);
  const std::int64_t area = (width + 3) / 4 * 4 * (height < 0 ? -height : height);
  if (width > 0 && area > kFuzzStorageCap && area <= kReaderStorageLimit + (1 << 20)) return 0;
  ByteBuffer bytes(data, data + size);
  TQxArrayStream source(bytes);
  source.Seek(54, SeekOrigin::Beginning);
  TMemoryStream probe;
  probe.SetSize(54);
  std::memcpy(probe.Memory(), data, 54);

  std::vector<std::uint8_t> expected;
  const bool valid = Reference(data, size, expected);
  try {
    DecodeRle8(source, 0, probe);
  } catch (const Exception&) {
    QX_FUZZ_CHECK(!valid);
    return 0;
  }
  QX_FUZZ_CHECK(valid);
  QX_FUZZ_CHECK(probe.Size() == static_cast<std::int32_t>(expected.size()));
  QX_FUZZ_CHECK(expected.empty() || std::memcmp(probe.Memory(), expected.data(), expected.size()) == 0);
  // The source is only read.
  QX_FUZZ_CHECK(bytes.size() == size && std::memcmp(bytes.data(), data, size) == 0);

  TBitmap bitmap;
  try {
    probe.Seek(0, SeekOrigin::Beginning);
    bitmap.LoadFromStream(probe, probe.Size());
  } catch (const Exception&) {
  }
  return 0;
}
