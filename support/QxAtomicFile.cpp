#include "QxAtomicFile.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "QxSysUtils.h"

namespace qx {

namespace {

constexpr const char* kTempSuffix = ".qxtmp";
constexpr int kTempAttempts = 100;

// A source of unique temporary names, seeded per process.
std::string TempCandidate(const std::string& targetPath) {
  static std::mt19937_64 random(static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
                                std::random_device{}());
  return targetPath + kTempSuffix + std::to_string(random() % 1000000000);
}

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
  // An unnamed file first. Whatever the reason it cannot be had (no support
  // by the system or the file system, a missing folder, no permission), the
  // named temporary file is tried next and reports the failure if it fails
  // too, so the outcome matches the named file in every case.
  const os::Handle unnamed = os::CreateUnnamedFile(Folder());
  if (unnamed != os::InvalidHandle) {
    unnamed_ = true;
    stream_ = std::make_unique<TFileStream>(unnamed);
    return;
  }
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string candidate = TempCandidate(targetPath);
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
  // An unnamed file vanishes with its handle.
  stream_->Close();
  if (!tempPath_.empty()) os::DeleteFile(tempPath_);
}

std::string TQxAtomicFile::Folder() const {
  const std::string folder = ExtractFolder(targetPath_);
  return folder.empty() ? std::string(".") + os::PathDelimiter() : folder;
}

bool TQxAtomicFile::NameTemporary() {
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string candidate = TempCandidate(targetPath_);
    if (os::NameUnnamedFile(stream_->Handle(), candidate)) {
      tempPath_ = candidate;
      return true;
    }
    // Only a name that is already taken is worth another try.
    if (os::GetFileAttributes(candidate) == os::InvalidAttributes) return false;
  }
  return false;
}

void TQxAtomicFile::Commit() {
  // Data first, then the name: a rename that reaches the disk before the data
  // would leave an empty or partial target after a power cut.
  bool ok = os::FlushFile(stream_->Handle());
  if (ok && unnamed_) {
    // Named and moved at once, so that a kill between the two calls (the
    // only moment a name of it exists) is as unlikely as can be. Its data is
    // already on disk, so closing it afterwards can lose nothing and its
    // outcome does not matter.
    ok = NameTemporary() && os::MoveFileReplace(tempPath_, targetPath_);
    const std::uint32_t code = os::GetLastError();
    stream_->Close();
    os::SetLastError(code);
  } else {
    ok = ok && stream_->Close() && os::MoveFileReplace(tempPath_, targetPath_);
  }
  if (ok) {
    done_ = true;
    // The new entry of the folder must survive a power cut too.
    if (os::FlushFolder(Folder())) return;
    RaiseCreateError(targetPath_);
  }
  const std::uint32_t code = os::GetLastError();
  stream_->Close();
  if (!tempPath_.empty()) os::DeleteFile(tempPath_);
  done_ = true;
  os::SetLastError(code);
  RaiseCreateError(targetPath_);
}

}  // namespace qx
