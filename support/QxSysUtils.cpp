#include "QxSysUtils.h"

#include <algorithm>
#include <limits>

#include "QxExceptions.h"

namespace qx {

namespace {

LeadByteTable g_leadBytes{};
std::string g_appFolder;

// Largest piece handed to one platform read or write call.
constexpr std::uint32_t kMaxTransfer = 1u << 30;

// True when the byte at `position` (1-based) is the trail byte of a
// double-byte character: scanning from the start, a lead byte takes the byte
// after it.
bool IsTrailByteAt(const std::string& s, std::size_t position) {
  std::size_t i = 1;
  while (i < position) {
    if (g_leadBytes[static_cast<std::uint8_t>(s[i - 1])]) {
      if (i + 1 == position) return true;
      i += 2;
    } else {
      i += 1;
    }
  }
  return false;
}

bool HasLeadBytes() {
  return std::any_of(g_leadBytes.begin(), g_leadBytes.end(), [](bool b) { return b; });
}

bool IsSingleByteAt(const std::string& s, std::size_t position) {
  if (!HasLeadBytes()) return true;
  if (g_leadBytes[static_cast<std::uint8_t>(s[position - 1])]) return false;
  return !IsTrailByteAt(s, position);
}

}  // namespace

// ---- Double-byte code pages -------------------------------------------------

void SetLeadByteTable(const LeadByteTable& table) { g_leadBytes = table; }
const LeadByteTable& GetLeadByteTable() { return g_leadBytes; }
void InitLeadByteTable() {
  for (int b = 0; b < 256; ++b) g_leadBytes[b] = os::IsLeadByte(static_cast<std::uint8_t>(b));
}

// ---- Path helpers -----------------------------------------------------------

std::size_t LastDelimiter(const std::string& delimiters, const std::string& s) {
  for (std::size_t i = s.size(); i >= 1; --i) {
    if (delimiters.find(s[i - 1]) != std::string::npos && IsSingleByteAt(s, i)) return i;
  }
  return 0;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  const std::size_t i = LastDelimiter(".\\/:", path);
  if (i > 0 && path[i - 1] == '.') return path.substr(0, i - 1) + extension;
  return path + extension;
}

std::string ExtractFolder(const std::string& path) {
  return path.substr(0, LastDelimiter("\\/:", path));
}

std::string ExtractExtension(const std::string& path) {
  const std::size_t i = LastDelimiter(".\\/:", path);
  if (i > 0 && path[i - 1] == '.') return path.substr(i - 1);
  return std::string();
}

bool IsDelimiterAt(const std::string& s, std::size_t position) {
  if (position < 1 || position > s.size()) return false;
  const char c = s[position - 1];
  return (c == '\\' || c == '/') && IsSingleByteAt(s, position);
}

std::string AddTrailingDelimiter(const std::string& path) {
  if (IsDelimiterAt(path, path.size())) return path;
  return path + os::PathDelimiter();
}

std::string RemoveTrailingDelimiter(const std::string& path) {
  if (IsDelimiterAt(path, path.size())) return path.substr(0, path.size() - 1);
  return path;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool HasExtension(const std::string& path, const std::string& extension) {
  return SameTextAscii(ExtractExtension(path), extension);
}

bool IsDeviceName(const std::string& component) {
  static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  static constexpr const char* kNumberedDevices[] = {"COM", "LPT"};
  // Windows ignores everything from the first dot on, and trailing blanks
  // and dots before it.
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  for (const char* device : kDevices) {
    if (SameTextAscii(base, device)) return true;
  }
  if (base.size() == 4 && base.back() >= '1' && base.back() <= '9') {
    const std::string stem = base.substr(0, 3);
    for (const char* device : kNumberedDevices) {
      if (SameTextAscii(stem, device)) return true;
    }
  }
  return false;
}

// ---- The executable's folder ------------------------------------------------

const std::string& AppFolder() { return g_appFolder; }
void InitAppFolder() { g_appFolder = ExtractFolder(os::ModuleFileName()); }

// ---- Operating-system errors ------------------------------------------------

std::string SystemErrorMessage(std::uint32_t code) {
  std::string text = os::SystemErrorText(code);
  while (!text.empty() &&
         (static_cast<std::uint8_t>(text.back()) < 0x21 || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

void RaiseOSError() {
  const std::uint32_t code = os::GetLastError();
  if (code == 0) throw EOSError("A call to an OS function failed", 0);
  throw EOSError("System Error.  Code: " + std::to_string(code) + ".\r\n" +
                     SystemErrorMessage(code),
                 code);
}

void RaiseOpenError(const std::string& name) {
  const std::uint32_t code = os::GetLastError();
  throw EFOpenError("Cannot open file \"" + os::GetFullPathName(name) + "\". " +
                    SystemErrorMessage(code));
}

void RaiseCreateError(const std::string& name) {
  const std::uint32_t code = os::GetLastError();
  throw EFCreateError("Cannot create file \"" + os::GetFullPathName(name) + "\". " +
                      SystemErrorMessage(code));
}

// ---- Files and folders ------------------------------------------------------

os::Handle CreateFileForced(const std::string& name, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t flags) {
  if (disposition == os::CreateNew || disposition == os::CreateAlways ||
      disposition == os::OpenAlways) {
    // The folder almost always exists already: try the file first, and
    // make the folder and try again only when that fails. A failed attempt
    // changes nothing, so the outcome is the same as making the folder
    // first, without a folder lookup for every file.
    const os::Handle handle = os::CreateFile(name, access, share, disposition, flags);
    if (handle != os::InvalidHandle) return handle;
    if (!ForceFolder(ExtractFolder(name))) return os::InvalidHandle;
  }
  return os::CreateFile(name, access, share, disposition, flags);
}

TQxInputFile::TQxInputFile(const std::string& name)
    : handle_(CreateFileForced(name, os::GenericRead, os::ShareRead, os::OpenExisting,
                               os::AttributeNormal | os::FlagSequentialScan)) {
  if (handle_ == os::InvalidHandle) RaiseOSError();
  const std::int64_t size = os::GetFileSize(handle_);
  if (size < 0) {
    const std::uint32_t code = os::GetLastError();
    os::CloseHandle(handle_);
    os::SetLastError(code);
    RaiseOSError();
  }
  size_ = static_cast<std::uint64_t>(size);
}

TQxInputFile::~TQxInputFile() { os::CloseHandle(handle_); }

void TQxInputFile::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(count - done, kMaxTransfer));
    std::uint32_t got = 0;
    if (!os::ReadFile(handle_, buffer + done, piece, got)) RaiseOSError();
    if (got == 0) {
      // The file shrank under us: report it rather than hand out stale bytes.
      os::SetLastError(0);
      RaiseOSError();
    }
    done += got;
  }
}

std::uint64_t CopyInsideSystem(os::Handle from, os::Handle to, std::uint64_t count) {
  std::uint64_t done = 0;
  while (done < count) {
    std::uint64_t copied = 0;
    // On any refusal or failure the caller's buffered copy takes over from
    // here; a real failure then shows in its reads or writes, with the
    // messages those report.
    if (!os::CopyFileRange(from, to, count - done, copied) || copied == 0) {
      return done;
    }
    done += copied;
  }
  return done;
}

void LoadWholeFile(const std::string& name, ByteBuffer& buffer) {
  TQxInputFile file(name);
  if (file.Size() > buffer.max_size()) throw EOutOfMemory(kOutOfMemory);
  buffer.resize(static_cast<std::size_t>(file.Size()));
  file.Read(buffer.data(), buffer.size());
}

ByteBuffer LoadWholeFile(const std::string& name) {
  ByteBuffer buffer;
  LoadWholeFile(name, buffer);
  return buffer;
}

TQxOutputFile::TQxOutputFile(const std::string& name)
    : name_(name),
      handle_(CreateFileForced(name, os::GenericWrite, os::ShareRead | os::ShareDelete,
                               os::CreateAlways, os::AttributeNormal | os::FlagReplaceLink)) {
  // A link at the name is replaced by the new file, never written through.
  if (handle_ == os::InvalidHandle) RaiseOSError();
}

TQxOutputFile::~TQxOutputFile() {
  // Still open: the content was never completed (an error elsewhere ended
  // the writing), so the file goes.
  if (handle_ != os::InvalidHandle) {
    os::CloseHandle(handle_);
    os::DeleteFile(name_);
  }
}

void TQxOutputFile::Fail(std::uint32_t code) {
  // Keep the code of the failing call, remove the incomplete file, then
  // report the failure.
  if (handle_ != os::InvalidHandle) os::CloseHandle(handle_);
  handle_ = os::InvalidHandle;
  os::DeleteFile(name_);
  os::SetLastError(code);
  RaiseOSError();
}

void TQxOutputFile::Write(const std::uint8_t* start, std::uint64_t count) {
  std::uint64_t done = 0;
  while (done < count) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(count - done, kMaxTransfer));
    std::uint32_t put = 0;
    const bool ok = os::WriteFile(handle_, start + done, piece, put);
    if (!ok || put == 0) Fail(ok ? 0 : os::GetLastError());
    done += put;
  }
}

void TQxOutputFile::Close() {
  const os::Handle handle = handle_;
  handle_ = os::InvalidHandle;
  if (!os::CloseHandle(handle)) Fail(os::GetLastError());
}

void SaveWholeFile(const std::string& name, const std::uint8_t* start, std::uint64_t count) {
  TQxOutputFile file(name);
  file.Write(start, count);
  file.Close();
}

void SaveWholeFile(const std::string& name, const ByteBuffer& buffer) {
  SaveWholeFile(name, buffer.data(), buffer.size());
}

bool DirectoryExists(const std::string& path) {
  const std::uint32_t attributes = os::GetFileAttributes(path);
  return attributes != os::InvalidAttributes && (attributes & os::AttributeDirectory) != 0;
}

bool ForceFolder(const std::string& folder) {
  if (folder.empty() || DirectoryExists(folder)) return true;
  const std::string parent =
      ExtractFolder(RemoveTrailingDelimiter(os::GetFullPathName(folder)));
  if (parent == folder) return true;
  if (!ForceFolder(parent)) return false;
  return os::CreateDirectory(folder);
}

// ---- Message boxes ----------------------------------------------------------

int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  return os::MessageBox(text, caption, style);
}

// ---- Directory listing ------------------------------------------------------

TQxFindFile::TQxFindFile(const std::string& mask) {
  handle_ = os::FindFirst(mask, data_);
  found_ = handle_ != os::InvalidHandle;
  if (!found_) CheckError();
}

TQxFindFile::~TQxFindFile() {
  if (handle_ != os::InvalidHandle) os::FindClose(handle_);
}

bool TQxFindFile::FindNext() {
  found_ = os::FindNext(handle_, data_);
  if (!found_) CheckError();
  return found_;
}

bool TQxFindFile::FindAttributes(std::uint32_t required, std::uint32_t excluded) {
  while (found_) {
    const std::string& name = data_.name;
    const bool dots = name == "." || name == "..";
    if ((data_.attributes & (required | excluded)) == required && !dots) return true;
    FindNext();
  }
  return false;
}

void TQxFindFile::CheckError() {
  if (!os::IsEndOfListing(os::GetLastError())) RaiseOSError();
}

}  // namespace qx
