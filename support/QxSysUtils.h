// The support library every tool links: path helpers, the executable's
// folder, whole-file reading and writing, folder creation, directory listing,
// operating-system errors and message boxes.
//
// Strings are byte strings in the system's ANSI code page. Path helpers treat
// "\" and "/" as folder delimiters and ":" as the drive delimiter, and never
// take the trail byte of a double-byte character for a delimiter or a dot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"

namespace qx {

// One whole file or one archive entry at a time.
using ByteBuffer = std::vector<std::uint8_t>;

// ---- Double-byte code pages -------------------------------------------------

// Which bytes start a double-byte character. Filled from the platform at
// start-up; tests may install a table of their own.
using LeadByteTable = std::array<bool, 256>;
void SetLeadByteTable(const LeadByteTable& table);
const LeadByteTable& GetLeadByteTable();
// Loads the table from the platform's code page.
void InitLeadByteTable();

// ---- Path helpers (pure; none touches the file system) ----------------------

// Positions count from 1; 0 means "none".
std::size_t LastDelimiter(const std::string& delimiters, const std::string& s);
std::string ReplaceExtension(const std::string& path, const std::string& extension);
std::string ExtractFolder(const std::string& path);
std::string ExtractExtension(const std::string& path);
bool IsDelimiterAt(const std::string& s, std::size_t position);
std::string AddTrailingDelimiter(const std::string& path);
std::string RemoveTrailingDelimiter(const std::string& path);
// ASCII-only letter-case folding comparison, as used for ".bmp" and ".bkg".
bool SameTextAscii(const std::string& a, const std::string& b);
// True when the path's extension is `extension` in any ASCII letter case.
bool HasExtension(const std::string& path, const std::string& extension);
// True when a path component names a Windows device: CON, PRN, AUX, NUL,
// COM1 to COM9 or LPT1 to LPT9 in any letter case, with trailing blanks and
// dots and any extension ignored ("nul.txt", "CON.", "lpt1 .x").
bool IsDeviceName(const std::string& component);

// ---- The executable's folder ------------------------------------------------

// Set once at start-up (InitAppFolder), read-only afterwards.
const std::string& AppFolder();
void InitAppFolder();

// ---- Operating-system errors ------------------------------------------------

// The system text of an error code with its trailing blanks, control
// characters and full stops removed.
std::string SystemErrorMessage(std::uint32_t code);
// Raises EOSError for the current last-error value. Call it directly after
// the failing platform call.
[[noreturn]] void RaiseOSError();
// "Cannot open file \"<full path>\". <system text>" (EFOpenError) and
// "Cannot create file ..." (EFCreateError) for the current last-error value.
[[noreturn]] void RaiseOpenError(const std::string& name);
[[noreturn]] void RaiseCreateError(const std::string& name);

// ---- Files and folders ------------------------------------------------------

// CreateFile that first creates the missing folders of the name for the
// dispositions that create files.
os::Handle CreateFileForced(const std::string& name, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t flags);
// A file opened for reading in pieces: its size is known from the opening,
// and each Read fills the buffer completely (a file that ends early is an
// error). Closed when destroyed.
class TQxInputFile {
 public:
  explicit TQxInputFile(const std::string& name);
  ~TQxInputFile();
  TQxInputFile(const TQxInputFile&) = delete;
  TQxInputFile& operator=(const TQxInputFile&) = delete;
  std::uint64_t Size() const { return size_; }
  os::Handle Handle() const { return handle_; }
  void Read(std::uint8_t* buffer, std::size_t count);

 private:
  os::Handle handle_;
  std::uint64_t size_ = 0;
};

// A file created (or emptied) for writing in pieces, creating missing
// folders. A failed write or close, or destruction before Close, removes the
// incomplete file; the failures raise afterwards.
class TQxOutputFile {
 public:
  explicit TQxOutputFile(const std::string& name);
  ~TQxOutputFile();
  TQxOutputFile(const TQxOutputFile&) = delete;
  TQxOutputFile& operator=(const TQxOutputFile&) = delete;
  os::Handle Handle() const { return handle_; }
  void Write(const std::uint8_t* start, std::uint64_t count);
  void Close();

 private:
  [[noreturn]] void Fail(std::uint32_t code);

  std::string name_;
  os::Handle handle_;
};

// Copies up to `count` bytes from the position of `from` to the position of
// `to` inside the system, moving both, so the bytes never pass through the
// program. Returns how many it copied: fewer than `count` where the system
// cannot copy between these files, `from` ends early or the copy fails; the
// caller then goes on through a buffer, whose reads and writes report an
// early end or a failure with the messages they always give.
std::uint64_t CopyInsideSystem(os::Handle from, os::Handle to, std::uint64_t count);

// Reads the whole file, whatever its size.
ByteBuffer LoadWholeFile(const std::string& name);
void LoadWholeFile(const std::string& name, ByteBuffer& buffer);
// Writes all `count` bytes as the file's whole content, creating missing
// folders and replacing an existing file. A symbolic link or reparse point
// at the name is replaced itself; the file it points to is left alone (other
// writers of output files get the same by passing os::FlagReplaceLink). A
// failed write removes the incomplete file before the error is raised.
void SaveWholeFile(const std::string& name, const std::uint8_t* start, std::uint64_t count);
void SaveWholeFile(const std::string& name, const ByteBuffer& buffer);
// True when the folder exists afterwards. Never raises.
bool ForceFolder(const std::string& folder);
// True when a directory exists at the path.
bool DirectoryExists(const std::string& path);

// ---- Message boxes ----------------------------------------------------------

int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t style);

// ---- Directory listing ------------------------------------------------------

// Enumerates the entries that match a mask (folder path + "*"). Holds the
// platform search and closes it when destroyed.
class TQxFindFile {
 public:
  explicit TQxFindFile(const std::string& mask);
  ~TQxFindFile();
  TQxFindFile(const TQxFindFile&) = delete;
  TQxFindFile& operator=(const TQxFindFile&) = delete;

  bool FindNext();
  // Advances, if needed, to the first entry from the current one whose
  // attributes hold every required bit and no excluded bit, skipping "." and
  // "..".
  bool FindAttributes(std::uint32_t required, std::uint32_t excluded);
  bool Found() const { return found_; }
  const os::FindData& FindData() const { return data_; }

 private:
  void CheckError();

  os::Handle handle_ = os::InvalidHandle;
  bool found_ = false;
  os::FindData data_;
};

}  // namespace qx
