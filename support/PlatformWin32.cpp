// The Windows backend of the platform interface, on the ANSI entry points.
//
// Handles are the system's HANDLE values; INVALID_HANDLE_VALUE becomes
// os::InvalidHandle, for files and for searches alike. Error codes are the
// system's last-error values and their texts come from FormatMessageA.
// Message boxes are real message boxes with no owner window.
#include <windows.h>

// <windows.h> maps these names onto their ANSI or wide entry points; the
// interface below uses them as plain function names.
#undef CopyFile
#undef CreateDirectory
#undef CreateFile
#undef DeleteFile
#undef GetFileAttributes
#undef GetFullPathName
#undef MessageBox

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "Platform.h"

namespace qx::os {

namespace {

// FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
// FORMAT_MESSAGE_ARGUMENT_ARRAY: the system's own text, inserts left as they are.
constexpr DWORD kFormatFlags = 0x3200;
constexpr DWORD kErrorTextBuffer = 256;
constexpr DWORD kDefaultLanguage = 0;

// Starting size of path buffers; grown when the system asks for more.
constexpr DWORD kPathBuffer = MAX_PATH + 1;

// Error codes that mean a listing has simply run out of entries.
constexpr std::uint32_t kFileNotFound = ERROR_FILE_NOT_FOUND;    // 2
constexpr std::uint32_t kPathNotFound = ERROR_PATH_NOT_FOUND;    // 3
constexpr std::uint32_t kNoMoreFiles = ERROR_NO_MORE_FILES;      // 18

HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

Handle FromNative(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? InvalidHandle : reinterpret_cast<Handle>(handle);
}

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | static_cast<std::uint64_t>(low);
}

void Fill(const WIN32_FIND_DATAA& native, FindData& data) {
  data.attributes = native.dwFileAttributes;
  data.size = Join(native.nFileSizeHigh, native.nFileSizeLow);
  // The name field is NUL-terminated within its 260 bytes.
  data.name.assign(native.cFileName, strnlen(native.cFileName, sizeof native.cFileName));
}

}  // namespace

// ---- Files ------------------------------------------------------------------

// How often a link at an output name is removed before giving up, when
// another process keeps putting one back.
constexpr int kLinkAttempts = 8;

Handle CreateFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                  std::uint32_t disposition, std::uint32_t flags) {
  // The interface's own flag has no meaning for the system: take it out.
  const DWORD native = flags & ~static_cast<DWORD>(FlagReplaceLink);
  const bool replaces = disposition == CreateAlways || disposition == OpenAlways;
  for (int attempt = 0; (flags & FlagReplaceLink) != 0 && replaces; ++attempt) {
    if (attempt == kLinkAttempts) {
      ::SetLastError(ERROR_CANT_ACCESS_FILE);
      return InvalidHandle;
    }
    // A reparse point (symbolic link, junction) at the name is removed
    // itself, so that the file it points to is never opened. The new file is
    // then created only if the name is still free, so a link put back in
    // between is found on the next attempt rather than followed.
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) break;
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ::RemoveDirectoryA(name.c_str())
                                                                      : ::DeleteFileA(name.c_str());
    if (removed == FALSE && ::GetLastError() != ERROR_FILE_NOT_FOUND) return InvalidHandle;
    const HANDLE created = ::CreateFileA(name.c_str(), access, share, nullptr, CREATE_NEW, native, nullptr);
    if (created != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return FromNative(created);
  }
  return FromNative(
      ::CreateFileA(name.c_str(), access, share, nullptr, disposition, native, nullptr));
}

bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t& done) {
  DWORD got = 0;
  const BOOL ok = ::ReadFile(ToNative(file), buffer, count, &got, nullptr);
  done = ok ? got : 0;
  return ok != FALSE;
}

bool WriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& done) {
  DWORD put = 0;
  const BOOL ok = ::WriteFile(ToNative(file), buffer, count, &put, nullptr);
  done = ok ? put : 0;
  return ok != FALSE;
}

std::int64_t SetFilePointer(Handle file, std::int64_t distance, int origin) {
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  // The origins of the interface are the move methods FILE_BEGIN (0),
  // FILE_CURRENT (1) and FILE_END (2).
  if (!::SetFilePointerEx(ToNative(file), move, &position, static_cast<DWORD>(origin))) return -1;
  return position.QuadPart;
}

std::int64_t GetFileSize(Handle file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(ToNative(file), &size)) return -1;
  return size.QuadPart;
}

bool CloseHandle(Handle file) { return ::CloseHandle(ToNative(file)) != FALSE; }

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  // The target can be held for a moment by another process (another run
  // replacing the same archive, a virus scanner, an indexer): Windows then
  // refuses the move with a sharing or access error. Such a move is tried
  // again for about a second before the failure counts.
  constexpr int kMoveAttempts = 50;
  constexpr DWORD kMoveWaitMs = 20;
  for (int attempt = 1;; ++attempt) {
    // Written through: the call returns only once the move is on disk.
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
      return true;
    }
    const DWORD code = ::GetLastError();
    const bool held =
        code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
    if (!held || attempt == kMoveAttempts) return false;
    ::Sleep(kMoveWaitMs);
    ::SetLastError(code);
  }
}

// Windows has no copy between two open files inside the system.
bool CopyFileRange(Handle /*from*/, Handle /*to*/, std::uint64_t /*count*/, std::uint64_t& done) {
  done = 0;
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool FlushFile(Handle file) { return ::FlushFileBuffers(ToNative(file)) != FALSE; }

// FlushFileBuffers writes everything at the end; there is no earlier hint.
void StartWriteBack(Handle /*file*/, std::uint64_t /*offset*/, std::uint64_t /*length*/) {}

// MoveFileReplace writes the move through, so nothing is left to flush.
bool FlushFolder(const std::string& /*folder*/) { return true; }

Handle CreateUnnamedFile(const std::string& /*folder*/) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return InvalidHandle;
}

bool NameUnnamedFile(Handle /*file*/, const std::string& /*name*/) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool DeleteFile(const std::string& name) { return ::DeleteFileA(name.c_str()) != FALSE; }

bool GetFileId(const std::string& name, FileId& id, std::uint64_t& size) {
  // No access rights are asked for and every kind of sharing is granted, so
  // the query works on a file another handle holds exclusively. Backup
  // semantics let the query reach folders as well.
  const HANDLE file = ::CreateFileA(name.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL ok = ::GetFileInformationByHandle(file, &info);
  ::CloseHandle(file);
  if (!ok) return false;
  id.volume = info.dwVolumeSerialNumber;
  id.index = Join(info.nFileIndexHigh, info.nFileIndexLow);
  size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  return true;
}

// ---- Folders ----------------------------------------------------------------

std::uint32_t GetFileAttributes(const std::string& name) {
  return ::GetFileAttributesA(name.c_str());
}

bool CreateDirectory(const std::string& name) {
  return ::CreateDirectoryA(name.c_str(), nullptr) != FALSE;
}

std::string GetFullPathName(const std::string& name) {
  std::string buffer(kPathBuffer, '\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()),
                                            buffer.data(), nullptr);
    // A failing call leaves the name as it was given.
    if (length == 0) return name;
    // Too small: the result is the size needed, terminating NUL included.
    if (length >= buffer.size()) {
      buffer.assign(length + 1, '\0');
      continue;
    }
    buffer.resize(length);
    return buffer;
  }
}

// ---- Listing ----------------------------------------------------------------

Handle FindFirst(const std::string& mask, FindData& data) {
  WIN32_FIND_DATAA native;
  const HANDLE search = ::FindFirstFileA(mask.c_str(), &native);
  if (search == INVALID_HANDLE_VALUE) return InvalidHandle;
  Fill(native, data);
  return FromNative(search);
}

bool FindNext(Handle search, FindData& data) {
  WIN32_FIND_DATAA native;
  if (!::FindNextFileA(ToNative(search), &native)) return false;
  Fill(native, data);
  return true;
}

void FindClose(Handle search) { ::FindClose(ToNative(search)); }

bool IsEndOfListing(std::uint32_t code) {
  return code == kFileNotFound || code == kPathNotFound || code == kNoMoreFiles;
}

// ---- Errors -----------------------------------------------------------------

std::uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string SystemErrorText(std::uint32_t code) {
  char buffer[kErrorTextBuffer];
  const DWORD length = ::FormatMessageA(kFormatFlags, nullptr, code, kDefaultLanguage, buffer,
                                        kErrorTextBuffer, nullptr);
  return std::string(buffer, length);
}

// ---- Process ----------------------------------------------------------------

std::string ModuleFileName() {
  std::string buffer(kPathBuffer, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    // A result that fills the whole buffer may have been cut: try a larger one.
    if (length >= buffer.size()) {
      buffer.assign(buffer.size() * 2, '\0');
      continue;
    }
    buffer.resize(length);
    return buffer;
  }
}

std::vector<std::string> CommandLine(int /*argc*/, char** /*argv*/) {
  // The parameters come from the process command line, not from the C
  // runtime's split; parameter 0 is the running program's full path.
  std::vector<std::string> parameters = SplitCommandLine(::GetCommandLineA());
  if (parameters.empty()) {
    parameters.push_back(ModuleFileName());
  } else {
    parameters[0] = ModuleFileName();
  }
  return parameters;
}

std::string ExecutableSuffix() { return ".exe"; }
char PathDelimiter() { return '\\'; }

// ---- User interface ---------------------------------------------------------

void SetBinaryStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  // An empty text or caption is handed over as a null pointer, so the system
  // shows its default caption.
  return ::MessageBoxA(nullptr, text.empty() ? nullptr : text.c_str(),
                       caption.empty() ? nullptr : caption.c_str(), style);
}

bool IsLeadByte(std::uint8_t byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

bool RefusesDeviceNames() { return true; }

}  // namespace qx::os
