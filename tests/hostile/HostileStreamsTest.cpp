// The replace stream under seeks and size changes that its base refuses or
// that move the base behind its back (found by fuzz/fuzz_streams).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>

#include "QxExceptions.h"
#include "QxMemoryStreams.h"
#include "QxStreams.h"
#include "TestKit.h"

namespace qx {
namespace {

using test::MessageOf;

constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

ByteBuffer Digits() {
  ByteBuffer bytes(10);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

// A 10-byte base 0..9 with the bytes 4 and 5 replaced by 0xA4 and 0xA5.
struct Overlay {
  ByteBuffer base = Digits();
  TQxArrayStream baseStream{base};
  std::unique_ptr<TQxReplaceStream> stream;

  Overlay() {
    auto replacement = std::make_unique<TMemoryStream>();
    const std::uint8_t bytes[] = {0xA4, 0xA5};
    replacement->WriteBuffer(bytes, 2);
    stream = std::make_unique<TQxReplaceStream>(&baseStream, replacement.release(), false, true, 4);
  }
  ByteBuffer ReadAll() {
    ByteBuffer out(32);
    out.resize(static_cast<std::size_t>(stream->Read(out.data(), 32)));
    return out;
  }
};

// A seek that the memory base cannot make, or a position past the 64-bit
// range, is refused with a range error and leaves the stream where it was.
TEST(HostileReplaceStream, RefusedSeeksLeaveThePositionAlone) {
  struct Case {
    std::int64_t offset;
    SeekOrigin origin;
  };
  const Case cases[] = {
      {kInt64Min, SeekOrigin::Beginning},          // outside the base's 32-bit range
      {std::int64_t{1} << 31, SeekOrigin::Beginning},
      {kInt64Max, SeekOrigin::Current},            // position + offset overflows
      {kInt64Min, SeekOrigin::Current},
      {std::int64_t{1} << 40, SeekOrigin::End},    // refused by the base itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Overlay o;
    ASSERT_EQ(o.stream->Seek(2, SeekOrigin::Beginning), 2);
    EXPECT_EQ(MessageOf([&] { o.stream->Seek(c.offset, c.origin); }), kRangeCheckError);
    EXPECT_EQ(o.stream->Position(), 2);
    EXPECT_EQ(o.ReadAll(), (ByteBuffer{2, 3, 0xA4, 0xA5, 6, 7, 8, 9}));
  }
  // Seeking back from far away still works: the base is kept in step.
  Overlay o;
  ASSERT_EQ(o.stream->Seek(-1000, SeekOrigin::Current), -1000);
  EXPECT_EQ(MessageOf([&] { o.stream->Seek(kInt64Min, SeekOrigin::Current); }), kRangeCheckError);
  EXPECT_EQ(o.stream->Seek(1007, SeekOrigin::Current), 7);
  EXPECT_EQ(o.ReadAll(), (ByteBuffer{7, 8, 9}));
}

// A file base answers a seek it cannot make (before the start of the file)
// with another position instead of an error; the replace stream refuses it
// all the same.
TEST(HostileReplaceStream, SeekRefusedByAFileBaseLeavesThePositionAlone) {
  test::TempDir dir;
  test::WriteFile(dir / "base", Digits());
  TFileStream file(dir / "base", TFileStream::Mode::OpenRead);
  auto replacement = std::make_unique<TMemoryStream>();
  const std::uint8_t bytes[] = {0xA4, 0xA5};
  replacement->WriteBuffer(bytes, 2);
  TQxReplaceStream stream(&file, replacement.release(), false, true, 4);
  ASSERT_EQ(stream.Seek(2, SeekOrigin::Beginning), 2);
  EXPECT_EQ(MessageOf([&] { stream.Seek(-5, SeekOrigin::Beginning); }), kRangeCheckError);
  EXPECT_EQ(stream.Position(), 2);
  ByteBuffer out(4);
  stream.ReadBuffer(out.data(), 4);
  EXPECT_EQ(out, (ByteBuffer{2, 3, 0xA4, 0xA5}));
}

// Cutting the base below the stream's position moves the base back to its
// new end; growing it again must not make reads start from there.
TEST(HostileReplaceStream, SizeChangesKeepReadingAtThePosition) {
  Overlay o;
  ASSERT_EQ(o.stream->Seek(8, SeekOrigin::Beginning), 8);
  o.stream->SetSize(3);
  EXPECT_EQ(o.stream->Position(), 8);
  EXPECT_TRUE(o.ReadAll().empty());
  o.stream->SetSize(12);
  EXPECT_EQ(o.stream->GetSize(), 12);
  EXPECT_EQ(o.stream->Position(), 8);
  EXPECT_EQ(o.ReadAll(), (ByteBuffer{0, 0, 0, 0}));

  // Inside the replaced range the replacement serves the bytes as before.
  ASSERT_EQ(o.stream->Seek(5, SeekOrigin::Beginning), 5);
  o.stream->SetSize(2);
  EXPECT_EQ(o.ReadAll(), (ByteBuffer{0xA5}));
}

}  // namespace
}  // namespace qx
