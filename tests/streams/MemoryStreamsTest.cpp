#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "QxExceptions.h"
#include "QxMemoryStreams.h"
#include "TestKit.h"

namespace qx {
namespace {

using test::MessageOf;

ByteBuffer Sequence(std::size_t length, std::uint8_t first) {
  ByteBuffer bytes(length);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// ---- TQxArrayStream -----------------------------------------------------------

TEST(ArrayStream, ReadsTheCallersBytesInPlace) {
  ByteBuffer bytes = Sequence(5, 1);
  TQxArrayStream stream(bytes);
  EXPECT_EQ(stream.Memory(), bytes.data());
  EXPECT_EQ(stream.GetSize(), 5);

  std::uint8_t out[8] = {};
  EXPECT_EQ(stream.Read(out, 3), 3);
  EXPECT_EQ(stream.Read(out + 3, 8), 2);
  EXPECT_EQ(stream.Read(out, 1), 0);
  EXPECT_EQ(ByteBuffer(out, out + 5), bytes);

  // Positions outside the data read nothing and are kept as set.
  EXPECT_EQ(stream.Seek(-3, SeekOrigin::Beginning), -3);
  EXPECT_EQ(stream.Read(out, 1), 0);
  EXPECT_EQ(stream.Seek(10, SeekOrigin::End), 15);
  EXPECT_EQ(stream.Read(out, 1), 0);
}

TEST(ArrayStream, ResizesTheCallersBufferToExactLengths) {
  struct Case {
    std::string name;
    ByteBuffer initial;
    std::int64_t position;
    ByteBuffer written;
    ByteBuffer expected;
  };
  const std::vector<Case> cases = {
      {"empty buffer, 10 bytes at 0", {}, 0, Sequence(10, 50), Sequence(10, 50)},
      {"4 bytes at 2 of 3", {7, 8, 9}, 2, {1, 2, 3, 4}, {7, 8, 1, 2, 3, 4}},
      {"inside the data", {7, 8, 9}, 1, {5}, {7, 5, 9}},
      {"past the end leaves zeros", {7}, 3, {5}, {7, 0, 0, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteBuffer bytes = c.initial;
    {
      TQxArrayStream stream(bytes);
      stream.Seek(c.position, SeekOrigin::Beginning);
      stream.WriteBuffer(c.written.data(), static_cast<std::int64_t>(c.written.size()));
      EXPECT_EQ(stream.Position(), c.position + static_cast<std::int64_t>(c.written.size()));
      // No rounding: a grown buffer is exactly as long as the data.
      EXPECT_EQ(stream.GetSize(), static_cast<std::int64_t>(bytes.size()));
    }
    // The stream is gone; the buffer keeps what it made of it.
    EXPECT_EQ(bytes, c.expected);
  }
}

TEST(ArrayStream, SetSizeCutsTheBufferAndPullsThePositionBack) {
  ByteBuffer bytes = Sequence(5, 1);
  TQxArrayStream stream(bytes);
  stream.Seek(4, SeekOrigin::Beginning);
  stream.SetSize(1);
  EXPECT_EQ(bytes, ByteBuffer{1});
  EXPECT_EQ(stream.Position(), 1);
  stream.SetSize(3);
  EXPECT_EQ(bytes, (ByteBuffer{1, 0, 0}));
  EXPECT_EQ(stream.Position(), 1);
}

// ---- TMemoryStream ------------------------------------------------------------

TEST(MemoryStream, CapacityGrowsInSteps) {
  TMemoryStream stream;
  stream.SetSize(54);
  EXPECT_EQ(stream.Size(), 54);
  EXPECT_EQ(stream.Capacity(), 8192);

  // Writing past the capacity rounds the new end up to the next step.
  const ByteBuffer block = Sequence(8200, 0);
  stream.Seek(0, SeekOrigin::Beginning);
  stream.WriteBuffer(block.data(), static_cast<std::int64_t>(block.size()));
  EXPECT_EQ(stream.Size(), 8200);
  EXPECT_EQ(stream.Capacity(), 16384);
  EXPECT_EQ(ByteBuffer(stream.Memory(), stream.Memory() + 8200), block);

  stream.SetSize(8192);  // an exact multiple stays as it is
  EXPECT_EQ(stream.Capacity(), 8192);
  EXPECT_EQ(stream.Position(), 8192);
  EXPECT_EQ(ByteBuffer(stream.Memory(), stream.Memory() + 8192),
            ByteBuffer(block.begin(), block.begin() + 8192));
  stream.SetSize(0);
  EXPECT_EQ(stream.Capacity(), 0);
  EXPECT_EQ(stream.Memory(), nullptr);
}

TEST(MemoryStream, SeeksOutsideThe32BitRangeRaiseRangeCheckError) {
  ByteBuffer bytes = Sequence(4, 0);
  TQxArrayStream stream(bytes);
  const std::vector<std::pair<std::int64_t, SeekOrigin>> seeks = {
      {std::int64_t{1} << 31, SeekOrigin::Beginning},
      {-(std::int64_t{1} << 31) - 1, SeekOrigin::Current},
      {std::int64_t{1} << 40, SeekOrigin::End},
  };
  for (const auto& [offset, origin] : seeks) {
    EXPECT_EQ(MessageOf<ERangeError>([&] { stream.Seek(offset, origin); }), "Range check error");
  }
  // The largest 32-bit position is still fine, one more from there is not.
  EXPECT_EQ(stream.Seek(0x7FFFFFFF, SeekOrigin::Beginning), 0x7FFFFFFF);
  EXPECT_EQ(MessageOf<ERangeError>([&] { stream.Seek(1, SeekOrigin::Current); }),
            "Range check error");
  // A write that would end beyond 2 GiB cannot expand the stream.
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { stream.Write(bytes.data(), 4); }),
            "Out of memory while expanding memory stream");
}

// ---- TQxReplaceStream ---------------------------------------------------------

// Counts the reads that reach a stream, and notes its destruction.
class CountingStream : public TQxArrayStream {
 public:
  CountingStream(ByteBuffer& bytes, bool* destroyed = nullptr)
      : TQxArrayStream(bytes), destroyed_(destroyed) {}
  ~CountingStream() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    ++reads;
    return TQxArrayStream::Read(buffer, count);
  }
  int reads = 0;

 private:
  bool* destroyed_;
};

class ReplaceStreamTest : public ::testing::Test {
 protected:
  ByteBuffer baseBytes = Sequence(100, 0);
  ByteBuffer replacementBytes = Sequence(10, 200);
  CountingStream base{baseBytes};

  // The replacement is owned by the replace stream.
  std::unique_ptr<TQxReplaceStream> Make(std::int64_t replaceStart, ByteBuffer& bytes,
                                         bool* destroyed = nullptr) {
    return std::make_unique<TQxReplaceStream>(&base, new CountingStream(bytes, destroyed), false,
                                              true, replaceStart);
  }
  // What a read of [from, from + count) must return.
  ByteBuffer Expected(std::int64_t replaceStart, const ByteBuffer& replacement, std::int64_t from,
                      std::int64_t count) {
    ByteBuffer out;
    for (std::int64_t i = from; i < std::min<std::int64_t>(from + count, 100); ++i) {
      const std::int64_t r = i - replaceStart;
      out.push_back(r >= 0 && r < static_cast<std::int64_t>(replacement.size())
                        ? replacement[static_cast<std::size_t>(r)]
                        : baseBytes[static_cast<std::size_t>(i)]);
    }
    return out;
  }
};

TEST_F(ReplaceStreamTest, WholeReadServesTheReplacementThenTheBase) {
  auto stream = Make(0, replacementBytes);
  EXPECT_EQ(stream->Seek(0, SeekOrigin::Beginning), 0);
  EXPECT_EQ(stream->GetSize(), 100);
  ByteBuffer out(100);
  base.reads = 0;
  EXPECT_EQ(stream->Read(out.data(), 100), 100);
  EXPECT_EQ(out, Expected(0, replacementBytes, 0, 100));
  EXPECT_EQ(base.reads, 1);  // the base is read directly, once
  EXPECT_EQ(stream->Read(out.data(), 1), 0);
}

TEST_F(ReplaceStreamTest, PiecewiseReadsGiveTheSameBytes) {
  for (std::int32_t piece : {1, 3, 7, 10, 11}) {
    SCOPED_TRACE(piece);
    auto stream = Make(0, replacementBytes);
    stream->Seek(0, SeekOrigin::Beginning);
    ByteBuffer out;
    ByteBuffer chunk(static_cast<std::size_t>(piece));
    std::int32_t got = 0;
    while ((got = stream->Read(chunk.data(), piece)) > 0) out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    EXPECT_EQ(out, Expected(0, replacementBytes, 0, 100));
  }
}

TEST_F(ReplaceStreamTest, ReadStraddlesAllThreeRegions) {
  // Replacement at 10, base at 4 when the overlay is made.
  base.Seek(4, SeekOrigin::Beginning);
  auto stream = Make(10, replacementBytes);
  EXPECT_EQ(stream->Position(), 4);
  ByteBuffer out(20);
  base.reads = 0;
  EXPECT_EQ(stream->Read(out.data(), 20), 20);
  EXPECT_EQ(out, Expected(10, replacementBytes, 4, 20));
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[6], 200);
  EXPECT_EQ(out[19], 23);
  EXPECT_EQ(base.reads, 2);

  // Seeking back into the middle of the replacement resumes there.
  stream->Seek(13, SeekOrigin::Beginning);
  ByteBuffer again(10);
  EXPECT_EQ(stream->Read(again.data(), 10), 10);
  EXPECT_EQ(again, Expected(10, replacementBytes, 13, 10));
  // And seeking back before it re-reads the base from there.
  stream->Seek(2, SeekOrigin::Beginning);
  EXPECT_EQ(stream->Read(again.data(), 10), 10);
  EXPECT_EQ(again, Expected(10, replacementBytes, 2, 10));
}

TEST_F(ReplaceStreamTest, EmptyReplacementPassesStraightThrough) {
  ByteBuffer none;
  base.Seek(30, SeekOrigin::Beginning);
  auto stream = Make(30, none);
  ByteBuffer out(50);
  EXPECT_EQ(stream->Read(out.data(), 50), 50);
  EXPECT_EQ(out, Expected(30, none, 30, 50));
}

TEST_F(ReplaceStreamTest, SeekToTheEndMovesTheBase) {
  auto stream = Make(0, replacementBytes);
  EXPECT_EQ(stream->Seek(0, SeekOrigin::End), 100);
  EXPECT_EQ(base.Position(), 100);
  std::uint8_t byte = 0;
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  // The system's use: seek back by the probe's length from the current
  // position, then read forward.
  EXPECT_EQ(stream->Seek(-100, SeekOrigin::Current), 0);
  ByteBuffer out(100);
  stream->ReadBuffer(out.data(), 100);
  EXPECT_EQ(out, Expected(0, replacementBytes, 0, 100));
}

TEST_F(ReplaceStreamTest, WritesAreRefusedAndSizeIsTheBases) {
  auto stream = Make(0, replacementBytes);
  std::uint8_t byte = 1;
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { stream->Write(&byte, 1); }), "Assertion failure");
  EXPECT_EQ(baseBytes[0], 0);
  stream->SetSize(40);
  EXPECT_EQ(baseBytes.size(), 40u);
  EXPECT_EQ(stream->GetSize(), 40);
}

TEST_F(ReplaceStreamTest, BaseEndingBeforeTheReplacementIsAShortRead) {
  auto stream = Make(150, replacementBytes);
  stream->Seek(90, SeekOrigin::Beginning);
  ByteBuffer out(20);
  EXPECT_EQ(stream->Read(out.data(), 20), 10);
  stream->Seek(90, SeekOrigin::Beginning);
  EXPECT_EQ(MessageOf<EReadError>([&] { stream->ReadBuffer(out.data(), 20); }), "Stream read error");
}

TEST_F(ReplaceStreamTest, DestroysOnlyWhatItOwns) {
  bool replacementGone = false;
  auto stream = Make(0, replacementBytes, &replacementGone);
  stream->Seek(50, SeekOrigin::Beginning);
  std::uint8_t byte = 0;
  stream->Read(&byte, 1);
  stream.reset();
  EXPECT_TRUE(replacementGone);
  // The base is still usable, where the reads left it.
  EXPECT_EQ(base.Position(), 51);
  EXPECT_EQ(base.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 51);

  bool baseGone = false;
  ByteBuffer other = Sequence(4, 0);
  {
    TQxReplaceStream owning(new CountingStream(other, &baseGone), new CountingStream(replacementBytes),
                            true, true, 0);
  }
  EXPECT_TRUE(baseGone);
}

}  // namespace
}  // namespace qx
