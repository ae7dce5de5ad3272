// The one narrow interface between the tools and the operating system.
//
// Everything above this header is shared by every platform. Each backend
// (PlatformPosix.cpp, PlatformWin32.cpp) implements it in one file, and the
// build picks the backend for its target. The calls mirror the Windows ANSI
// entry points the tools were designed around: a failing call returns its
// failure value and leaves the reason in LastError(), which the caller reads
// immediately afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx::os {

// An open file or search. Backends map their native handles onto it.
using Handle = std::intptr_t;
inline constexpr Handle InvalidHandle = -1;

// Desired access.
inline constexpr std::uint32_t GenericRead = 0x80000000u;
inline constexpr std::uint32_t GenericWrite = 0x40000000u;

// Share modes (honoured on Windows; POSIX does not emulate them).
inline constexpr std::uint32_t ShareNone = 0;
inline constexpr std::uint32_t ShareRead = 1;
inline constexpr std::uint32_t ShareWrite = 2;
inline constexpr std::uint32_t ShareDelete = 4;

// Creation dispositions.
inline constexpr std::uint32_t CreateNew = 1;
inline constexpr std::uint32_t CreateAlways = 2;
inline constexpr std::uint32_t OpenExisting = 3;
inline constexpr std::uint32_t OpenAlways = 4;
inline constexpr std::uint32_t TruncateExisting = 5;

// Flags and attributes.
inline constexpr std::uint32_t AttributeDirectory = 0x10;
inline constexpr std::uint32_t AttributeNormal = 0x80;
inline constexpr std::uint32_t FlagSequentialScan = 0x08000000u;
// With CreateAlways or OpenAlways: when the name itself is a symbolic link
// (POSIX) or a reparse point (Windows), the link is removed and a new file
// is created in its place; the file it pointed to is never opened. (CreateNew
// fails on any existing name, a link included.) Links in the folders above
// are followed as usual. Every output file of the unpackers is created with
// this flag: SaveWholeFile, the BMP writer and any streaming writer pass it
// (through CreateFile or CreateFileForced).
inline constexpr std::uint32_t FlagReplaceLink = 0x00000001u;
inline constexpr std::uint32_t InvalidAttributes = 0xFFFFFFFFu;

// Seek origins.
inline constexpr int SeekBegin = 0;
inline constexpr int SeekCurrent = 1;
inline constexpr int SeekEnd = 2;

// Message box styles.
inline constexpr std::uint32_t MessageIconError = 0x10;
inline constexpr std::uint32_t MessageIconInformation = 0x40;

// Longest name a directory entry may report, in bytes.
inline constexpr std::size_t MaxEntryName = 260;

// One directory entry as a listing reports it. A listing that learns an
// entry's kind without asking for its details (POSIX readdir) leaves the size
// of a regular file unknown; it then reports the file's index on its volume
// instead, so that a caller can find one particular file without a query per
// entry.
struct FindData {
  std::uint32_t attributes = 0;
  bool sizeKnown = true;
  std::uint64_t size = 0;   // meaningful when sizeKnown
  std::uint64_t index = 0;  // the file's index on its volume; 0 when not reported
  std::string name;
};

// Identity of a file on its volume, equal for every path that reaches it.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

// Files.
Handle CreateFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                  std::uint32_t disposition, std::uint32_t flags);
// Moves at most `count` bytes in one system call; `done` receives how many.
bool ReadFile(Handle file, void* buffer, std::uint32_t count, std::uint32_t& done);
bool WriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& done);
// Copies at most `count` bytes inside the system, from the position of
// `from` to the position of `to`, moving both; `done` receives how many (0 at
// the end of `from`). False, with the error code set, where the system
// cannot copy between these two files (another volume, a kernel or file
// system without the call, Windows) or the copy fails.
bool CopyFileRange(Handle from, Handle to, std::uint64_t count, std::uint64_t& done);
// Returns the new position, or -1 on failure.
std::int64_t SetFilePointer(Handle file, std::int64_t distance, int origin);
// Returns the size, or -1 on failure.
std::int64_t GetFileSize(Handle file);
bool CloseHandle(Handle file);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
// Replaces `to` if it exists.
bool MoveFileReplace(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& name);
// The identity and size of an existing file; false when it does not exist.
bool GetFileId(const std::string& name, FileId& id, std::uint64_t& size);
// Makes the data written to the file durable (it survives a power cut).
bool FlushFile(Handle file);
// Asks the system to start writing a range of the file to disk and returns
// without waiting, so that a later FlushFile has less left to wait for.
// Does nothing where the system has no such request.
void StartWriteBack(Handle file, std::uint64_t offset, std::uint64_t length);
// Makes the entries of a folder (a rename into it) durable. Where the system
// has no such call, or the rename itself was written through, it succeeds.
bool FlushFolder(const std::string& folder);
// A file without a name in the folder, opened for reading and writing, with
// the permissions a newly created file gets. It vanishes when closed unless
// NameUnnamedFile gave it a name first. InvalidHandle where the platform or
// the file system does not offer such files.
Handle CreateUnnamedFile(const std::string& folder);
// Gives a file from CreateUnnamedFile the name `name` in its folder; fails
// (and leaves everything as it was) when the name is taken.
bool NameUnnamedFile(Handle file, const std::string& name);

// Folders.
std::uint32_t GetFileAttributes(const std::string& name);
bool CreateDirectory(const std::string& name);
// Absolute and lexically normalised; links are not resolved.
std::string GetFullPathName(const std::string& name);

// Listing. FindFirst returns InvalidHandle when nothing is found or on error.
Handle FindFirst(const std::string& mask, FindData& data);
bool FindNext(Handle search, FindData& data);
void FindClose(Handle search);
// Codes that mean "the listing simply has no (more) entries".
bool IsEndOfListing(std::uint32_t code);

// Errors.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);
// The system's text for an error code, untrimmed; empty when it has none.
std::string SystemErrorText(std::uint32_t code);

// Process.
std::string ModuleFileName();
// The parameters of the process; element 0 is the program's path.
std::vector<std::string> CommandLine(int argc, char** argv);
// The file-name suffix of executables ("" or ".exe").
std::string ExecutableSuffix();
// The delimiter AddTrailingDelimiter appends.
char PathDelimiter();

// Makes standard output and standard error carry bytes unchanged (no
// line-end translation), so results and messages end lines with LF alone.
void SetBinaryStandardStreams();

// User interface. Returns the identifier of the button pressed.
int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style);

// True when `byte` starts a double-byte character in the system code page.
bool IsLeadByte(std::uint8_t byte);

// True when the system reserves device names (CON, NUL, COM1, ...) in every
// folder, so that no file can be created under such a name.
bool RefusesDeviceNames();

}  // namespace qx::os
