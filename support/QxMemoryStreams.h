// Streams over memory: the plain memory stream, the byte-array stream that
// presents a caller's byte buffer as a stream without copying it, and the
// replace stream that overlays a range of one stream with another's bytes.
#pragma once

#include <cstdint>
#include <memory>

#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx {

// Message of a storage that cannot grow.
inline constexpr const char* kOutOfMemoryExpanding = "Out of memory while expanding memory stream";
// Message of the refused write of the replace stream.
inline constexpr const char* kAssertionFailure = "Assertion failure";

// A stream over one block of memory. Size, position and capacity are signed
// 32-bit; the position may lie outside 0..size after a seek, and reads there
// return 0. The storage is sized through the virtual Reallocate hook, which
// subclasses replace to keep the bytes somewhere else.
class TMemoryStream : public TStream {
 public:
  // Storage grows in steps of this many bytes.
  static constexpr std::int32_t kGrowthStep = 8192;

  TMemoryStream() = default;
  ~TMemoryStream() override = default;

  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Offsets outside the signed 32-bit range raise "Range check error".
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t GetSize() override;
  // Sizes outside 0..2^31-1 raise "Range check error".
  void SetSize(std::int64_t size) override;

  // Direct access to the storage, as the bitmap loader uses it.
  std::uint8_t* Memory() { return memory_; }
  const std::uint8_t* Memory() const { return memory_; }
  std::int32_t Size() const { return size_; }
  std::int32_t Capacity() const { return capacity_; }

 protected:
  // Sizes the storage for the requested capacity, which the hook may change,
  // and returns the storage (null for none). The bytes below the smaller of
  // the old and the new size are kept; new bytes are 0.
  virtual std::uint8_t* Reallocate(std::int32_t& newCapacity);
  // Lets a subclass present memory it keeps itself.
  void SetPointer(std::uint8_t* memory, std::int32_t size);

 private:
  void SetCapacity(std::int32_t newCapacity);
  std::int64_t Seek32(std::int32_t offset, SeekOrigin origin);

  std::uint8_t* memory_ = nullptr;
  std::int32_t size_ = 0;
  std::int32_t position_ = 0;
  std::int32_t capacity_ = 0;
  // The plain stream's own storage; unused by subclasses that keep the bytes
  // elsewhere.
  std::unique_ptr<std::uint8_t[]> owned_;
};

// A memory stream over the caller's byte buffer. The buffer stays the
// caller's: the stream works on it in place, resizes it to exact lengths when
// it grows or shrinks, and leaves it as it is when destroyed. The caller keeps
// the buffer alive while the stream lives.
class TQxArrayStream : public TMemoryStream {
 public:
  explicit TQxArrayStream(ByteBuffer& bytes);

 protected:
  std::uint8_t* Reallocate(std::int32_t& newCapacity) override;

 private:
  ByteBuffer& bytes_;
};

// A read-only view of a base stream in which the bytes from replaceStart up
// to replaceStart + the replacement's size come from the replacement stream.
// Its size is the base's size. Reading never copies the base; each Read makes
// at most one read per region it touches. Write is refused.
class TQxReplaceStream : public TStream {
 public:
  // Owned streams are destroyed with the replace stream (also when this
  // constructor fails). Starts at the base's current position.
  TQxReplaceStream(TStream* base, TStream* replacement, bool ownsBase, bool ownsReplacement,
                   std::int64_t replaceStart);
  ~TQxReplaceStream() override;

  std::int32_t Read(void* buffer, std::int32_t count) override;
  // Raises EAssertionFailed "Assertion failure"; nothing is written.
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t size) override;

  std::int64_t ReplaceStart() const { return replaceStart_; }
  std::int64_t ReplaceEnd() const { return replaceEnd_; }

 private:
  std::unique_ptr<TStream> ownedBase_;
  std::unique_ptr<TStream> ownedReplacement_;
  TStream* base_;
  TStream* replacement_;
  std::int64_t replaceStart_;
  std::int64_t replaceEnd_ = 0;
  std::int64_t position_ = 0;
};

}  // namespace qx
