// Microbenchmarks: the two name hashes, BMP loading (bottom-up, top-down,
// RLE8), the pixel transfer in both directions and the BMP writer, on
// 320 x 240 8-bit images like those of the image corpus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ArchiveFormat.h"
#include "FixtureBmp.h"
#include "QxBitmap.h"
#include "QxGraphics.h"
#include "QxMemoryStreams.h"

namespace {

using qx::ByteBuffer;

constexpr std::int32_t kWidth = 320;
constexpr std::int32_t kHeight = 240;
constexpr std::uint32_t kColours = 256;

// Rows of runs (one colour, 4 to 48 pixels) and stretches of noise (3 to 24
// pixels), top row first; `runs` keeps them for the RLE8 encoder.
struct Picture {
  std::vector<ByteBuffer> rows;
  std::vector<std::vector<std::pair<bool, ByteBuffer>>> runs;  // (is run, bytes)
};

Picture MakePicture() {
  std::mt19937 random(7);
  Picture picture;
  for (std::int32_t y = 0; y < kHeight; ++y) {
    ByteBuffer row;
    std::vector<std::pair<bool, ByteBuffer>> pieces;
    while (static_cast<std::int32_t>(row.size()) < kWidth) {
      const bool run = random() % 4 != 0;
      const std::int32_t wanted = run ? 4 + static_cast<std::int32_t>(random() % 45)
                                      : 3 + static_cast<std::int32_t>(random() % 22);
      const std::int32_t n = std::min(wanted, kWidth - static_cast<std::int32_t>(row.size()));
      ByteBuffer piece;
      const auto colour = static_cast<std::uint8_t>(random());
      for (std::int32_t i = 0; i < n; ++i) {
        piece.push_back(run ? colour : static_cast<std::uint8_t>(random()));
      }
      row.insert(row.end(), piece.begin(), piece.end());
      pieces.emplace_back(run || n < 3, std::move(piece));
    }
    picture.rows.push_back(std::move(row));
    picture.runs.push_back(std::move(pieces));
  }
  return picture;
}

enum class Kind { BottomUp, TopDown, Rle8 };

ByteBuffer MakeBmp(Kind kind) {
  const Picture picture = MakePicture();
  ByteBuffer pixels;
  if (kind != Kind::Rle8) {
    ByteBuffer topFirst;
    for (const ByteBuffer& row : picture.rows) topFirst.insert(topFirst.end(), row.begin(), row.end());
    pixels = qx::test::PaddedRows(kWidth, kHeight, topFirst, kind == Kind::TopDown);
  } else {
    for (auto row = picture.runs.rbegin(); row != picture.runs.rend(); ++row) {
      for (const auto& [run, bytes] : *row) {
        if (run) {
          // Same-colour run (or a stretch too short for absolute mode,
          // written as runs of one).
          const bool same = std::all_of(bytes.begin(), bytes.end(),
                                        [&](std::uint8_t b) { return b == bytes[0]; });
          if (same) {
            pixels.push_back(static_cast<std::uint8_t>(bytes.size()));
            pixels.push_back(bytes[0]);
          } else {
            for (std::uint8_t b : bytes) {
              pixels.push_back(1);
              pixels.push_back(b);
            }
          }
        } else {
          pixels.push_back(0);
          pixels.push_back(static_cast<std::uint8_t>(bytes.size()));
          pixels.insert(pixels.end(), bytes.begin(), bytes.end());
          if (bytes.size() & 1) pixels.push_back(0);
        }
      }
      pixels.push_back(0);
      pixels.push_back(0);
    }
    pixels.push_back(0);
    pixels.push_back(1);
  }
  const std::uint32_t offBits = qx::test::kFileHeaderSize + qx::test::kInfoHeaderSize + kColours * 4;
  ByteBuffer file;
  qx::test::AppendBmpHeaders(file, {.fileSize = offBits + static_cast<std::uint32_t>(pixels.size()),
                                    .offBits = offBits,
                                    .width = kWidth,
                                    .height = kind == Kind::TopDown ? -kHeight : kHeight,
                                    .compression = kind == Kind::Rle8 ? qx::test::kBiRle8 : qx::test::kBiRgb,
                                    .sizeImage = static_cast<std::uint32_t>(pixels.size()),
                                    .clrUsed = kColours});
  for (std::uint32_t i = 0; i < kColours; ++i) qx::test::Put32(file, i * 0x010101u);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

std::vector<std::string> MakeNames() {
  std::vector<std::string> names;
  for (int i = 0; i < 1024; ++i) names.push_back("file" + std::to_string(i * 37) + ".dat");
  return names;
}

void BM_NameHash(benchmark::State& state) {
  const std::vector<std::string> names = MakeNames();
  for (auto _ : state) {
    for (const std::string& name : names) benchmark::DoNotOptimize(qx::archive::NameHash(name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}
BENCHMARK(BM_NameHash);

void BM_HashId(benchmark::State& state) {
  const std::vector<std::string> names = MakeNames();
  for (auto _ : state) {
    for (const std::string& name : names) benchmark::DoNotOptimize(qx::archive::HashId(name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}
BENCHMARK(BM_HashId);

// LoadBitmap over the file's bytes in memory, as the packer calls it.
void BM_LoadBitmap(benchmark::State& state, Kind kind) {
  ByteBuffer file = MakeBmp(kind);
  for (auto _ : state) {
    qx::TQxArrayStream stream(file);
    std::unique_ptr<qx::TBitmap> bitmap = qx::LoadBitmap(stream);
    benchmark::DoNotOptimize(bitmap->Storage().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK_CAPTURE(BM_LoadBitmap, plain, Kind::BottomUp);
BENCHMARK_CAPTURE(BM_LoadBitmap, top_down, Kind::TopDown);
BENCHMARK_CAPTURE(BM_LoadBitmap, rle8, Kind::Rle8);

std::unique_ptr<qx::TBitmap> LoadedBitmap() {
  ByteBuffer file = MakeBmp(Kind::BottomUp);
  qx::TQxArrayStream stream(file);
  return qx::LoadBitmap(stream);
}

void BM_TransferRect(benchmark::State& state, bool toBuffer) {
  std::unique_ptr<qx::TBitmap> bitmap = LoadedBitmap();
  ByteBuffer buffer(static_cast<std::size_t>(kWidth) * kHeight, 1);
  const qx::Rect whole{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    qx::TransferRect(buffer.data(), buffer.size(), *bitmap, whole, toBuffer);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK_CAPTURE(BM_TransferRect, to_buffer, true);
BENCHMARK_CAPTURE(BM_TransferRect, to_bitmap, false);

// The unpacker's per-image layout: the template resized to the record's
// size and filled, without the file.
void BM_ExportLayout(benchmark::State& state) {
  std::unique_ptr<qx::TBitmap> bitmap = LoadedBitmap();
  const ByteBuffer pixels(static_cast<std::size_t>(kWidth) * kHeight, 5);
  for (auto _ : state) {
    bitmap->SetHeight(0);
    bitmap->SetWidth(kWidth);
    bitmap->SetHeight(kHeight);
    qx::BufferToBitmap(pixels.data(), pixels.size(), *bitmap);
    benchmark::DoNotOptimize(bitmap->Storage().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pixels.size()));
}
BENCHMARK(BM_ExportLayout);

// The unpacker's per-image work: lay out the template for the record's size,
// fill it and write the BMP file, over the same path each time, in the
// temporary folder. On a disk file system each rewrite may wait for the
// previous one's write-back; run with TMPDIR=/dev/shm to time the writer
// itself.
void BM_BmpWriter(benchmark::State& state) {
  std::unique_ptr<qx::TBitmap> bitmap = LoadedBitmap();
  const ByteBuffer pixels(static_cast<std::size_t>(kWidth) * kHeight, 5);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("qx_microbench_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "out.bmp").string();
  for (auto _ : state) {
    bitmap->SetHeight(0);
    bitmap->SetWidth(kWidth);
    bitmap->SetHeight(kHeight);
    qx::BufferToBitmap(pixels.data(), pixels.size(), *bitmap);
    bitmap->SaveToFile(path);
  }
  std::filesystem::remove_all(folder);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pixels.size()));
}
BENCHMARK(BM_BmpWriter);

}  // namespace

BENCHMARK_MAIN();
