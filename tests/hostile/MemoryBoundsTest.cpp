// Headers that claim huge images make the programs fail at once, with their
// message and a few MiB of memory, and leave nothing behind. The peak memory
// is measured in the release build only: sanitizers change resident memory,
// and some platforms do not report it.
#include <fstream>

#include "FixtureBmp.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

// A run that fails must stay below this peak resident memory.
constexpr long kPeakLimitKiB = 16 * 1024;

void ExpectSmallPeak(const ProcessResult& r) {
#ifndef QX_SANITIZED
  if (r.peakMemoryKiB >= 0) {
    EXPECT_LT(r.peakMemoryKiB, kPeakLimitKiB);
  }
#else
  (void)r;
#endif
}

class MemoryBoundsTest : public ProgramTest {};

// Every way a BMP file can describe 60000 x 60000 pixels or more (plain,
// top-down, run-length, bit fields, old-style core header of 65535 x 65535)
// and a size just past the 256 MiB limit.
TEST_F(MemoryBoundsTest, PackingHugeBmpHeadersFailsQuicklyAndLeavesNoArchive) {
  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"plain", ClaimedSizeBmp(60000, 60000, 8)},
      {"top-down", ClaimedSizeBmp(60000, -60000, 8)},
      {"run-length", ClaimedSizeBmp(60000, 60000, 8, 1)},
      {"bit fields", ClaimedSizeBmp(60000, 60000, 32, 3)},
      {"core header", CoreBmp(65535, 65535, 2, Bytes(64, 7))},
      {"just past 256 MiB", ClaimedSizeBmp(16384, 16385, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakeDir(dir / "Data");
    WriteFile(dir / "Data/big.bmp", c.file);
    for (const char* packer : {"Fennbind", "Morrbind"}) {
      const ProcessResult r = Run(packer, {"Data.agg"});
      ExpectError(r, "Bitmap image is not valid.\r\nData/big.bmp");
      ExpectSmallPeak(r);
      EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"Data"});
    }
  }
}

// A raw image record of 65535 x 65535 pixels with only its 6-byte header,
// and an entry that claims 4 GiB: refused before anything that large is
// made, and no output file for the entry.
TEST_F(MemoryBoundsTest, UnpackingHugeClaimsFailsQuickly) {
  const Bytes record = Record(0xFFFF, 0xFFFF, {});
  for (const auto& [unpacker, entrySize] : {std::pair{"Fennloose", kLongEntry}, std::pair{"Morrloose", kShortEntry}}) {
    SCOPED_TRACE(unpacker);
    WriteFile(dir / "i.agg", BuildArchive({Entry("huge.bmp", record)}, entrySize));
    ProcessResult r = Run(unpacker, {"i.agg", "out"});
    ExpectError(r, "Bitmap image is not valid.\r\nhuge.bmp");
    ExpectSmallPeak(r);
    EXPECT_TRUE(ListDir(dir / "out").empty());

    FixtureEntry big = Entry("big.dat", B("x"));
    big.size = 0xFFFFFFFF;
    WriteFile(dir / "s.agg", BuildArchive({big}, entrySize));
    r = Run(unpacker, {"s.agg", "out2"});
    ExpectError(r, "Stream read error.\r\nbig.dat");
    ExpectSmallPeak(r);
    EXPECT_TRUE(ListDir(dir / "out2").empty());
  }
}

// True when the `count` bytes of `a` from `aStart` equal those of `b` from
// `bStart`, compared a piece at a time so that neither file is loaded.
bool SameBytes(const std::string& a, std::uint64_t aStart, const std::string& b, std::uint64_t bStart,
               std::uint64_t count) {
  constexpr std::size_t kPiece = 1u << 20;
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  fa.seekg(static_cast<std::streamoff>(aStart));
  fb.seekg(static_cast<std::streamoff>(bStart));
  std::vector<char> pa(kPiece), pb(kPiece);
  while (count > 0) {
    const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(count, kPiece));
    if (!fa.read(pa.data(), n) || !fb.read(pb.data(), n)) return false;
    if (!std::equal(pa.begin(), pa.begin() + n, pb.begin())) return false;
    count -= static_cast<std::uint64_t>(n);
  }
  return true;
}

// A 1 GiB file (sparse, with marks near its start, across an 8 MiB boundary
// and at its end) goes into an archive and out again with a peak resident
// memory that does not grow with the file, and comes out byte for byte.
TEST_F(MemoryBoundsTest, OneGibFileIsPackedAndUnpackedInBoundedMemory) {
#ifdef QX_SANITIZED
  GTEST_SKIP() << "resident memory is measured in the release build only";
#endif
  if (os::PathDelimiter() == '\\') GTEST_SKIP() << "resident memory is not measured under wine";
  constexpr std::uint64_t kSize = 1ull << 30;
  constexpr std::uint64_t kDataStart = 2 + 12;  // count field and one long entry record
  MakeDir(dir / "Data");
  const std::string input = dir / "Data/big.dat";
  {
    std::ofstream f(input, std::ios::binary);
    const std::pair<std::uint64_t, const char*> marks[] = {
        {0, "start"}, {(8u << 20) - 3, "across"}, {kSize - 3, "end"}};
    for (const auto& [at, text] : marks) {
      f.seekp(static_cast<std::streamoff>(at));
      f.write(text, static_cast<std::streamsize>(std::string(text).size()));
    }
    ASSERT_TRUE(f.good());
  }
  ProcessResult r = Run("Fennbind", {"big.agg", "Data"});
  ExpectSuccess(r);
  EXPECT_GE(r.peakMemoryKiB, 0);
  EXPECT_LT(r.peakMemoryKiB, kPeakLimitKiB);
  EXPECT_TRUE(SameBytes(dir / "big.agg", kDataStart, input, 0, kSize));

  r = Run("Fennloose", {"big.agg", "Out"});
  ExpectSuccess(r);
  EXPECT_LT(r.peakMemoryKiB, kPeakLimitKiB);
  ASSERT_EQ(std::ifstream(dir / "Out/big.dat", std::ios::binary | std::ios::ate).tellg(),
            static_cast<std::streamoff>(kSize));
  EXPECT_TRUE(SameBytes(dir / "Out/big.dat", 0, input, 0, kSize));

  // qxarc keeps the large entry when it adds another, and extracts it, in
  // the same bounded memory.
  WriteFile(dir / "small.txt", "small");
  r = Run("qxarc", {"update", "big.agg", "small.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_LT(r.peakMemoryKiB, kPeakLimitKiB);
  EXPECT_TRUE(SameBytes(dir / "big.agg", kDataStart + 12, input, 0, kSize));
  r = Run("qxarc", {"extract", "-C", "Q", "big.agg", "big.dat"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_LT(r.peakMemoryKiB, kPeakLimitKiB);
  EXPECT_TRUE(SameBytes(dir / "Q/big.dat", 0, input, 0, kSize));
}

}  // namespace
}  // namespace qx::test
