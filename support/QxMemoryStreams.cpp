#include "QxMemoryStreams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "QxExceptions.h"

namespace qx {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

bool FitsInt32(std::int64_t value) { return value >= kInt32Min && value <= kInt32Max; }

}  // namespace

// ---- TMemoryStream ----------------------------------------------------------

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  const std::int32_t available = size_ - position_;
  if (available <= 0) return 0;
  const std::int32_t n = std::min(available, count);
  if (n > 0) std::memcpy(buffer, memory_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  const std::int64_t end = static_cast<std::int64_t>(position_) + count;
  if (end <= 0) return 0;
  // A stream over one block cannot hold 2 GiB or more.
  if (end > kInt32Max) throw EOutOfMemory(kOutOfMemoryExpanding);
  const auto end32 = static_cast<std::int32_t>(end);
  if (end32 > size_) {
    if (end32 > capacity_) SetCapacity(end32);
    size_ = end32;
  }
  if (count > 0) std::memcpy(memory_ + position_, buffer, static_cast<std::size_t>(count));
  position_ = end32;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (!FitsInt32(offset)) throw ERangeError(kRangeCheckError);
  return Seek32(static_cast<std::int32_t>(offset), origin);
}

std::int64_t TMemoryStream::Seek32(std::int32_t offset, SeekOrigin origin) {
  std::int64_t target = position_;
  switch (origin) {
    case SeekOrigin::Beginning:
      target = offset;
      break;
    case SeekOrigin::Current:
      target = static_cast<std::int64_t>(position_) + offset;
      break;
    case SeekOrigin::End:
      target = static_cast<std::int64_t>(size_) + offset;
      break;
  }
  // The position is a 32-bit value; it never wraps around.
  if (!FitsInt32(target)) throw ERangeError(kRangeCheckError);
  position_ = static_cast<std::int32_t>(target);
  return position_;
}

std::int64_t TMemoryStream::GetSize() { return size_; }

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0 || size > kInt32Max) throw ERangeError(kRangeCheckError);
  const auto size32 = static_cast<std::int32_t>(size);
  const std::int32_t oldPosition = position_;
  SetCapacity(size32);
  size_ = size32;
  if (oldPosition > size32) position_ = size32;
}

void TMemoryStream::SetCapacity(std::int32_t newCapacity) {
  memory_ = Reallocate(newCapacity);
  capacity_ = newCapacity;
}

void TMemoryStream::SetPointer(std::uint8_t* memory, std::int32_t size) {
  memory_ = memory;
  size_ = size;
}

std::uint8_t* TMemoryStream::Reallocate(std::int32_t& newCapacity) {
  if (newCapacity > 0 && newCapacity != size_) {
    const std::int64_t rounded =
        (static_cast<std::int64_t>(newCapacity) + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    if (rounded > kInt32Max) throw EOutOfMemory(kOutOfMemoryExpanding);
    newCapacity = static_cast<std::int32_t>(rounded);
  }
  if (newCapacity == capacity_) return memory_;
  if (newCapacity == 0) {
    owned_.reset();
    return nullptr;
  }
  // A hook may hand back any value; never allocate for a negative one.
  if (newCapacity < 0) throw EOutOfMemory(kOutOfMemoryExpanding);
  std::unique_ptr<std::uint8_t[]> grown;
  try {
    grown = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(newCapacity));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(kOutOfMemoryExpanding);
  }
  const std::int32_t keep = std::min(size_, newCapacity);
  if (keep > 0) std::memcpy(grown.get(), memory_, static_cast<std::size_t>(keep));
  owned_ = std::move(grown);
  return owned_.get();
}

// ---- TQxArrayStream ---------------------------------------------------------

TQxArrayStream::TQxArrayStream(ByteBuffer& bytes) : bytes_(bytes) {
  // The buffer's length is a signed 32-bit count for this stream.
  if (bytes.size() > static_cast<std::size_t>(kInt32Max)) throw ERangeError(kRangeCheckError);
  SetPointer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

std::uint8_t* TQxArrayStream::Reallocate(std::int32_t& newCapacity) {
  try {
    bytes_.resize(static_cast<std::size_t>(newCapacity));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(kOutOfMemoryExpanding);
  }
  return bytes_.data();
}

// ---- TQxReplaceStream -------------------------------------------------------

TQxReplaceStream::TQxReplaceStream(TStream* base, TStream* replacement, bool ownsBase,
                                   bool ownsReplacement, std::int64_t replaceStart)
    : ownedBase_(ownsBase ? base : nullptr),
      ownedReplacement_(ownsReplacement ? replacement : nullptr),
      base_(base),
      replacement_(replacement),
      replaceStart_(replaceStart) {
  replaceEnd_ = replaceStart_ + replacement_->GetSize();
  position_ = base_->Seek(0, SeekOrigin::Current);
}

TQxReplaceStream::~TQxReplaceStream() {
  ownedBase_.reset();
  ownedReplacement_.reset();
}

std::int32_t TQxReplaceStream::Read(void* buffer, std::int32_t count) {
  auto* cursor = static_cast<std::uint8_t*>(buffer);
  std::int32_t remaining = count;

  // Region 1: base bytes before the replaced range.
  if (remaining > 0 && position_ < replaceStart_) {
    const auto want =
        static_cast<std::int32_t>(std::min<std::int64_t>(replaceStart_ - position_, remaining));
    const std::int32_t got = base_->Read(cursor, want);
    position_ += got;
    cursor += got;
    remaining -= got;
    if (position_ >= replaceStart_) replacement_->Seek(0, SeekOrigin::Beginning);
  }

  // Region 2: the replacement's bytes.
  if (remaining > 0 && position_ >= replaceStart_ && position_ < replaceEnd_) {
    const auto want =
        static_cast<std::int32_t>(std::min<std::int64_t>(replaceEnd_ - position_, remaining));
    const std::int32_t got = replacement_->Read(cursor, want);
    position_ += got;
    cursor += got;
    remaining -= got;
    if (position_ == replaceEnd_) base_->Seek(position_, SeekOrigin::Beginning);
  }

  // Region 3: base bytes after the replaced range.
  if (position_ >= replaceEnd_) {
    const std::int32_t got = base_->Read(cursor, remaining);
    position_ += got;
    remaining -= got;
  }
  return count - remaining;
}

std::int32_t TQxReplaceStream::Write(const void*, std::int32_t) {
  throw EAssertionFailed(kAssertionFailure);
}

std::int64_t TQxReplaceStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t target = 0;
  switch (origin) {
    case SeekOrigin::Beginning:
      target = offset;
      break;
    case SeekOrigin::Current:
      // A position beyond the 64-bit range cannot be reached.
      if ((offset > 0 && position_ > kInt64Max - offset) ||
          (offset < 0 && position_ < kInt64Min - offset)) {
        throw ERangeError(kRangeCheckError);
      }
      target = position_ + offset;
      break;
    default:
      target = base_->Seek(offset, origin);
      break;
  }
  // The stream below moves first, so that a position it refuses leaves the
  // replace stream where it was.
  if (target >= replaceStart_ && target < replaceEnd_) {
    replacement_->Seek(target - replaceStart_, SeekOrigin::Beginning);
  } else if (target != position_ && origin != SeekOrigin::End) {
    // Outside the replaced range the base is kept at the stream's position,
    // so reads continue from the right place whatever was read before.
    // A file base reports a seek it cannot make with another position.
    if (base_->Seek(target, SeekOrigin::Beginning) != target) throw ERangeError(kRangeCheckError);
  }
  position_ = target;
  return position_;
}

std::int64_t TQxReplaceStream::GetSize() { return base_->GetSize(); }

void TQxReplaceStream::SetSize(std::int64_t size) {
  base_->SetSize(size);
  // A base cut below its position moves back to its new end; outside the
  // replaced range it must stay at the stream's position, which does not
  // change.
  if (position_ < replaceStart_ || position_ >= replaceEnd_) base_->Seek(position_, SeekOrigin::Beginning);
}

}  // namespace qx
