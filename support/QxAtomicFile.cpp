#include "QxAtomicFile.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "QxSysUtils.h"

namespace qx {

namespace {

constexpr const char* kTempSuffix = ".qxtmp";
constexpr int kTempAttempts = 100;

}  // namespace

TQxAtomicFile::TQxAtomicFile(const std::string& targetPath) : targetPath_(targetPath) {
  // A folder at the target path can never be replaced by a file: report it
  // now, with the system's reason for refusing to open it as a file.
  if (DirectoryExists(targetPath)) {
    const os::Handle probe = os::CreateFile(targetPath, os::GenericRead | os::GenericWrite,
                                            os::ShareNone, os::OpenExisting, os::AttributeNormal);
    if (probe != os::InvalidHandle) os::CloseHandle(probe);
    RaiseCreateError(targetPath);
  }
  std::mt19937_64 random(static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
                         std::random_device{}());
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string candidate = targetPath + kTempSuffix + std::to_string(random() % 1000000000);
    const os::Handle handle = os::CreateFile(candidate, os::GenericRead | os::GenericWrite,
                                             os::ShareNone, os::CreateNew, os::AttributeNormal);
    if (handle != os::InvalidHandle) {
      tempPath_ = candidate;
      stream_ = std::make_unique<TFileStream>(handle);
      return;
    }
    // Only a name that is already taken is worth another try.
    if (os::GetFileAttributes(candidate) == os::InvalidAttributes) break;
  }
  RaiseCreateError(targetPath);
}

TQxAtomicFile::~TQxAtomicFile() {
  if (done_) return;
  stream_->Close();
  os::DeleteFile(tempPath_);
}

void TQxAtomicFile::Commit() {
  if (stream_->Close() && os::MoveFileReplace(tempPath_, targetPath_)) {
    done_ = true;
    return;
  }
  const std::uint32_t code = os::GetLastError();
  os::DeleteFile(tempPath_);
  done_ = true;
  os::SetLastError(code);
  RaiseCreateError(targetPath_);
}

}  // namespace qx
