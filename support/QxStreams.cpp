#include "QxStreams.h"

#include <algorithm>
#include <limits>

#include "QxExceptions.h"
#include "QxSysUtils.h"

namespace qx {

namespace {
constexpr std::int64_t kMaxPiece = std::numeric_limits<std::int32_t>::max();
}

std::int64_t TStream::GetSize() {
  const std::int64_t position = Seek(0, SeekOrigin::Current);
  const std::int64_t size = Seek(0, SeekOrigin::End);
  Seek(position, SeekOrigin::Beginning);
  return size;
}

std::int64_t TStream::ReadUpTo(void* buffer, std::int64_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t total = 0;
  while (total < count) {
    const auto piece = static_cast<std::int32_t>(std::min(count - total, kMaxPiece));
    const std::int32_t got = Read(out + total, piece);
    if (got <= 0) break;
    total += got;
  }
  return total;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && ReadUpTo(buffer, count) != count) throw EReadError(kStreamReadError);
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    const auto piece = static_cast<std::int32_t>(std::min(count, kMaxPiece));
    const std::int32_t put = Write(in, piece);
    if (put <= 0) throw EWriteError(kStreamWriteError);
    in += put;
    count -= put;
  }
}

TFileStream::TFileStream(const std::string& name, Mode mode) {
  if (mode == Mode::OpenRead) {
    handle_ = os::CreateFile(name, os::GenericRead, os::ShareNone, os::OpenExisting,
                             os::AttributeNormal);
    if (handle_ == os::InvalidHandle) RaiseOpenError(name);
  } else {
    handle_ = os::CreateFile(name, os::GenericRead | os::GenericWrite, os::ShareNone,
                             os::CreateAlways, os::AttributeNormal | os::FlagReplaceLink);
    if (handle_ == os::InvalidHandle) RaiseCreateError(name);
  }
}

TFileStream::~TFileStream() { Close(); }

bool TFileStream::Close() {
  if (handle_ == os::InvalidHandle) return true;
  const bool ok = os::CloseHandle(handle_);
  handle_ = os::InvalidHandle;
  return ok;
}

// The platform may move fewer bytes than asked in one call; keep calling
// until the request is met, the end is reached or a call fails.
std::int32_t TFileStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0 || handle_ == os::InvalidHandle) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t total = 0;
  while (total < count) {
    std::uint32_t got = 0;
    if (!os::ReadFile(handle_, out + total, static_cast<std::uint32_t>(count - total), got) ||
        got == 0) {
      break;
    }
    total += static_cast<std::int32_t>(got);
  }
  return total;
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0 || handle_ == os::InvalidHandle) return 0;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::int32_t total = 0;
  while (total < count) {
    std::uint32_t put = 0;
    if (!os::WriteFile(handle_, in + total, static_cast<std::uint32_t>(count - total), put) ||
        put == 0) {
      break;
    }
    total += static_cast<std::int32_t>(put);
  }
  return total;
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (handle_ == os::InvalidHandle) return -1;
  return os::SetFilePointer(handle_, offset, static_cast<int>(origin));
}

std::int64_t TFileStream::GetSize() {
  if (handle_ == os::InvalidHandle) return -1;
  return os::GetFileSize(handle_);
}

void TFileStream::SetSize(std::int64_t size) {
  // The tools never resize a file through its stream; only growing to the
  // current size is a no-op.
  if (size != GetSize()) throw EWriteError(kStreamWriteError);
}

}  // namespace qx
