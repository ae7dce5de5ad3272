// The POSIX backend of the platform interface.
//
// Paths handed in may use "\" as a delimiter (entry names made on Windows);
// every path is turned into "/" form before it reaches the system. Error
// codes are errno values and their texts come from strerror. Share modes are
// Windows behaviour and are not emulated. Message boxes become lines on
// standard output (information) or standard error (errors).
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Platform.h"

namespace qx::os {

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kNewFolderMode = 0777;
constexpr std::size_t kCopyChunk = 1u << 20;

std::string Native(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

int ToFd(Handle handle) { return static_cast<int>(handle); }

// How often a link at an output name is removed before giving up, when
// another process keeps putting one back.
constexpr int kLinkAttempts = 8;

int OpenRetrying(const std::string& native, int flags) {
  int fd;
  do {
    fd = open(native.c_str(), flags, kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The size of each file opened for reading only, as the check at opening
// found it, so that asking for the size right after opening (as whole-file
// reads do for every file) costs no second system call. Such a file cannot
// change through its own handle; a change by another process is a race
// either way.
constexpr int kRememberedFiles = 1024;
std::int64_t g_openedSize[kRememberedFiles];
bool g_sizeKnown[kRememberedFiles] = {};

void RememberSize(int fd, off_t size) {
  if (fd >= 0 && fd < kRememberedFiles) {
    g_openedSize[fd] = static_cast<std::int64_t>(size);
    g_sizeKnown[fd] = true;
  }
}

void ForgetSize(int fd) {
  if (fd >= 0 && fd < kRememberedFiles) g_sizeKnown[fd] = false;
}

struct Search {
  DIR* dir = nullptr;
  std::string pattern;
};

// Fills `data` with the next entry that matches the pattern and is, after
// following links, a regular file or a directory. Other kinds (FIFOs,
// sockets, devices, broken links) are left out so no read blocks on them.
// Where the system reports the entry's kind with its name, a regular file or
// folder costs no further system call (its size stays unknown, its index is
// the one readdir reports); links and entries of unreported kind are asked
// about, following links.
bool NextEntry(Search& search, FindData& data) {
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(search.dir);
    if (entry == nullptr) return false;
    if (fnmatch(search.pattern.c_str(), entry->d_name, 0) != 0) continue;
    if (entry->d_type == DT_REG || entry->d_type == DT_DIR) {
      data.attributes = entry->d_type == DT_DIR ? AttributeDirectory : AttributeNormal;
      data.sizeKnown = entry->d_type == DT_DIR;
      data.size = 0;
      data.index = static_cast<std::uint64_t>(entry->d_ino);
      data.name = entry->d_name;
      return true;
    }
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
    struct stat info {};
    if (fstatat(dirfd(search.dir), entry->d_name, &info, 0) != 0) continue;
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) continue;
    data.attributes = S_ISDIR(info.st_mode) ? AttributeDirectory : AttributeNormal;
    data.sizeKnown = true;
    data.size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    data.index = static_cast<std::uint64_t>(info.st_ino);
    data.name = entry->d_name;
    return true;
  }
}

}  // namespace

Handle CreateFile(const std::string& name, std::uint32_t access, std::uint32_t /*share*/,
                  std::uint32_t disposition, std::uint32_t createFlags) {
  int flags = O_CLOEXEC;
  const bool read = (access & GenericRead) != 0;
  const bool write = (access & GenericWrite) != 0;
  flags |= (read && write) ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case CreateNew: flags |= O_CREAT | O_EXCL; break;
    case CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case OpenAlways: flags |= O_CREAT; break;
    case TruncateExisting: flags |= O_TRUNC; break;
    default: break;
  }
  // Opened without blocking so that a FIFO named as a file cannot hang the
  // run. The flag stays set: it has no effect on regular files, and clearing
  // it would cost two more system calls for every file opened.
  const std::string native = Native(name);
  const bool replaceLink = (createFlags & FlagReplaceLink) != 0 &&
                           (disposition == CreateAlways || disposition == OpenAlways);
  if (replaceLink) flags |= O_NOFOLLOW;
  int fd = OpenRetrying(native, flags | O_NONBLOCK);
  // A link at the name: remove the link itself and create the file anew.
  // O_EXCL makes sure the new file is the one this call created, even when
  // another process puts a link back in between.
  for (int attempt = 0; fd < 0 && replaceLink && errno == ELOOP && attempt < kLinkAttempts;
       ++attempt) {
    struct stat info {};
    if (lstat(native.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      errno = ELOOP;
      break;
    }
    if (unlink(native.c_str()) != 0 && errno != ENOENT) break;
    fd = OpenRetrying(native, flags | O_NONBLOCK | O_EXCL);
    if (fd < 0 && errno == EEXIST) errno = ELOOP;
  }
  if (fd < 0) return InvalidHandle;
  // A file opened for writing was just made (or emptied) by this call, or is
  // refused by open itself when it names a folder. A file opened for reading
  // only must be a regular file: folders, FIFOs and devices are refused here.
  if (write) {
    ForgetSize(fd);
    return fd;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int code = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    close(fd);
    errno = code;
    return InvalidHandle;
  }
  RememberSize(fd, info.st_size);
  return fd;
}

bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t& done) {
  ssize_t got;
  do {
    got = read(ToFd(file), buffer, count);
  } while (got < 0 && errno == EINTR);
  done = got < 0 ? 0 : static_cast<std::uint32_t>(got);
  return got >= 0;
}

bool WriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& done) {
  ssize_t put;
  do {
    put = write(ToFd(file), buffer, count);
  } while (put < 0 && errno == EINTR);
  done = put < 0 ? 0 : static_cast<std::uint32_t>(put);
  if (put == 0 && count > 0) errno = ENOSPC;
  return put > 0 || count == 0;
}

bool CopyFileRange(Handle from, Handle to, std::uint64_t count, std::uint64_t& done) {
  // The system moves at most about 2 GiB in one call; ask for no more.
  constexpr std::uint64_t kMaxOneCall = 1u << 30;
  ssize_t copied;
  do {
    copied = copy_file_range(ToFd(from), nullptr, ToFd(to), nullptr,
                             static_cast<std::size_t>(std::min(count, kMaxOneCall)), 0);
  } while (copied < 0 && errno == EINTR);
  done = copied < 0 ? 0 : static_cast<std::uint64_t>(copied);
  return copied >= 0;
}

std::int64_t SetFilePointer(Handle file, std::int64_t distance, int origin) {
  const int whence = origin == SeekBegin ? SEEK_SET : (origin == SeekCurrent ? SEEK_CUR : SEEK_END);
  const off_t result = lseek(ToFd(file), static_cast<off_t>(distance), whence);
  return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

std::int64_t GetFileSize(Handle file) {
  const int fd = ToFd(file);
  if (fd >= 0 && fd < kRememberedFiles && g_sizeKnown[fd]) return g_openedSize[fd];
  struct stat info {};
  if (fstat(fd, &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool CloseHandle(Handle file) {
  ForgetSize(ToFd(file));
  return close(ToFd(file)) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const int in = open(Native(from).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info {};
  fstat(in, &info);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  const int out = open(Native(to).c_str(), flags, info.st_mode & 07777);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  std::unique_ptr<char[]> chunk(new char[kCopyChunk]);
  for (;;) {
    const ssize_t got = read(in, chunk.get(), kCopyChunk);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    ssize_t written = 0;
    while (written < got) {
      const ssize_t put = write(out, chunk.get() + written, static_cast<std::size_t>(got - written));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      written += put;
    }
    if (!ok) break;
  }
  // Keep the execute permission of the program file we copied.
  fchmod(out, info.st_mode & 07777);
  ok = (close(out) == 0) && ok;
  close(in);
  return ok;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool DeleteFile(const std::string& name) { return unlink(Native(name).c_str()) == 0; }

bool FlushFile(Handle file) {
  int result;
  do {
    result = fdatasync(ToFd(file));
  } while (result < 0 && errno == EINTR);
  return result == 0;
}

void StartWriteBack(Handle file, std::uint64_t offset, std::uint64_t length) {
  // Only a hint: a failure leaves the work to the flush.
  sync_file_range(ToFd(file), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

bool FlushFolder(const std::string& folder) {
  const std::string native = folder.empty() ? std::string(".") : Native(folder);
  const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int result;
  do {
    result = fsync(fd);
  } while (result < 0 && errno == EINTR);
  const int code = errno;
  close(fd);
  // Some file systems cannot sync a folder at all; nothing more can be done.
  if (result < 0 && (code == EINVAL || code == EROFS || code == ENOTSUP)) return true;
  errno = code;
  return result == 0;
}

namespace {

// The entry under /proc that names an open descriptor's file.
std::string ProcEntry(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

Handle CreateUnnamedFile(const std::string& folder) {
#ifdef O_TMPFILE
  const std::string native = folder.empty() ? std::string(".") : Native(folder);
  const int fd = OpenRetrying(native, O_TMPFILE | O_RDWR | O_CLOEXEC);
  if (fd < 0) return InvalidHandle;
  // The file can be named only through its entry under /proc (see
  // NameUnnamedFile). Without /proc (a chroot, some sandboxes) it could never
  // be named, so the caller is told to use a named temporary file instead.
  if (faccessat(AT_FDCWD, ProcEntry(fd).c_str(), F_OK, 0) != 0) {
    close(fd);
    errno = ENOTSUP;
    return InvalidHandle;
  }
  ForgetSize(fd);
  return fd;
#else
  (void)folder;
  errno = ENOTSUP;
  return InvalidHandle;
#endif
}

bool NameUnnamedFile(Handle file, const std::string& name) {
  // The descriptor's entry under /proc names the unnamed file; linking it
  // with AT_SYMLINK_FOLLOW needs no privilege (AT_EMPTY_PATH would).
  return linkat(AT_FDCWD, ProcEntry(ToFd(file)).c_str(), AT_FDCWD, Native(name).c_str(),
                AT_SYMLINK_FOLLOW) == 0;
}

bool GetFileId(const std::string& name, FileId& id, std::uint64_t& size) {
  struct stat info {};
  if (stat(Native(name).c_str(), &info) != 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  id.volume = static_cast<std::uint64_t>(info.st_dev);
  id.index = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

std::uint32_t GetFileAttributes(const std::string& name) {
  struct stat info {};
  if (stat(Native(name).c_str(), &info) != 0) return InvalidAttributes;
  return S_ISDIR(info.st_mode) ? AttributeDirectory : AttributeNormal;
}

bool CreateDirectory(const std::string& name) {
  return mkdir(Native(name).c_str(), kNewFolderMode) == 0;
}

std::string GetFullPathName(const std::string& name) {
  std::string path = Native(name);
  if (path.empty() || path[0] != '/') {
    std::string cwd(4096, '\0');
    while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) cwd.resize(cwd.size() * 2);
    cwd.resize(std::strlen(cwd.c_str()));
    path = cwd + "/" + path;
  }
  // Lexical normalisation: collapse "//", drop ".", let ".." remove the
  // component before it. A trailing delimiter is kept.
  const bool trailing = path.size() > 1 && path.back() == '/';
  std::string out;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '/') ++i;
    std::size_t j = i;
    while (j < path.size() && path[j] != '/') ++j;
    const std::string part = path.substr(i, j - i);
    i = j;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      const std::size_t cut = out.rfind('/');
      out.resize(cut == std::string::npos ? 0 : cut);
      continue;
    }
    out += "/" + part;
  }
  if (out.empty()) return "/";
  if (trailing) out += "/";
  return out;
}

Handle FindFirst(const std::string& mask, FindData& data) {
  const std::string native = Native(mask);
  const std::size_t cut = native.rfind('/');
  const std::string folder = cut == std::string::npos ? "." : native.substr(0, cut + 1);
  auto search = std::make_unique<Search>();
  search->pattern = cut == std::string::npos ? native : native.substr(cut + 1);
  search->dir = opendir(folder.c_str());
  if (search->dir == nullptr) return InvalidHandle;
  if (!NextEntry(*search, data)) {
    const int code = errno;
    closedir(search->dir);
    errno = code;
    return InvalidHandle;
  }
  return reinterpret_cast<Handle>(search.release());
}

bool FindNext(Handle handle, FindData& data) {
  return NextEntry(*reinterpret_cast<Search*>(handle), data);
}

void FindClose(Handle handle) {
  auto* search = reinterpret_cast<Search*>(handle);
  closedir(search->dir);
  delete search;
}

bool IsEndOfListing(std::uint32_t code) { return code == 0 || code == ENOENT || code == ENOTDIR; }

std::uint32_t GetLastError() { return static_cast<std::uint32_t>(errno); }
void SetLastError(std::uint32_t code) { errno = static_cast<int>(code); }

std::string SystemErrorText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

std::string ModuleFileName() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return path;
}

std::vector<std::string> CommandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string ExecutableSuffix() { return ""; }
char PathDelimiter() { return '/'; }

void SetBinaryStandardStreams() {}

int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  (void)caption;
  std::string out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  out += '\n';
  std::FILE* stream = (style & MessageIconError) != 0 ? stderr : stdout;
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
  constexpr int kIdOk = 1;
  return kIdOk;
}

bool IsLeadByte(std::uint8_t /*byte*/) { return false; }

bool RefusesDeviceNames() { return false; }

}  // namespace qx::os
