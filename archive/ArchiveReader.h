// Reading an archive of a known layout, and telling the layouts apart.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveFormat.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::archive {

// One entry as the archive stores it.
struct Entry {
  std::string name;  // the slot's name
  NameSlot slot{};   // the slot's 15 bytes as stored
  std::uint32_t hash = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// The count, the entry table and the name table of an archive, read when it
// is opened; the entries' bytes on demand. A count, table or entry that does
// not fit in the file fails with "Stream read error" before any buffer of
// that size is allocated.
class ArchiveReader {
 public:
  // Opens the file for reading ("Cannot open file ..." on failure).
  ArchiveReader(const std::string& path, const Layout& layout);
  // Reads from a stream the caller keeps alive.
  ArchiveReader(TStream& stream, const Layout& layout);

  const Layout& GetLayout() const { return layout_; }
  std::uint64_t FileSize() const { return fileSize_; }
  const std::vector<Entry>& Entries() const { return entries_; }
  // Where the name table starts: it ends the file.
  std::uint64_t NameTableOffset() const { return fileSize_ - entries_.size() * kNameSlotSize; }

  // True when the entry's bytes lie inside the file (an empty entry always).
  bool InBounds(const Entry& entry) const;
  // Fills `data` with the entry's bytes; an entry of size 0 is never read,
  // whatever its offset.
  void ReadData(const Entry& entry, ByteBuffer& data);
  // Hands the entry's bytes to `sink` in order, in pieces of at most 8 MiB.
  // Entries that follow each other in the file are read ahead together, in
  // reads of up to 8 MiB, so a run of small entries costs a read per 8 MiB
  // rather than one per entry. An entry that does not fit in the file fails
  // with "Stream read error" before anything is handed out.
  void CopyData(const Entry& entry, const std::function<void(const std::uint8_t*, std::size_t)>& sink);
  // Writes the entry's bytes to `out`: a large entry of an archive read from
  // a file is copied inside the system where it can, everything else as
  // CopyData hands it out.
  void CopyData(const Entry& entry, TQxOutputFile& out);
  // Fills `data` with the first `length` bytes of the entry, or all of a
  // shorter one.
  void ReadHead(const Entry& entry, std::size_t length, ByteBuffer& data);

 private:
  void ReadTables();
  void ReadRange(std::uint64_t offset, std::uint64_t length, ByteBuffer& buffer);
  // Moves the stream to `offset` unless it is there; the position is then
  // unknown until the caller records where its transfer ended.
  void SeekTo(std::uint64_t offset);
  // Hands out `length` bytes from `at`, which the caller has checked lie in
  // the file.
  void CopyRange(std::uint64_t at, std::uint64_t length,
                 const std::function<void(const std::uint8_t*, std::size_t)>& sink);

  std::unique_ptr<TFileStream> owned_;
  TStream& in_;
  const Layout& layout_;
  std::uint64_t fileSize_ = 0;
  // The stream's position when known: entries stored back to back are read
  // without a seek between them.
  std::int64_t position_ = 0;
  std::vector<Entry> entries_;
  // The bytes last read ahead by CopyData and where they lie in the file.
  ByteBuffer window_;
  std::uint64_t windowStart_ = 0;
  std::size_t windowSize_ = 0;
};

// How well an archive file fits one layout.
struct LayoutFit {
  bool possible = false;   // tables fit and every entry lies inside the file
  std::size_t score = 0;   // entries whose stored hash is their slot name's
};

// What layout detection found.
struct Detection {
  std::size_t count = 0;
  LayoutFit fitLong;
  LayoutFit fitShort;
  // The winning layout; for an empty archive (count 0) the long one, which
  // reads it the same way. Null when neither layout is possible or both are
  // with equal scores.
  const Layout* layout = nullptr;
  bool Empty() const { return count == 0 && layout != nullptr; }
};

// Examines a stream from its start. Never raises for damaged content; a
// stream that cannot be read at all counts as holding no count.
Detection DetectLayout(TStream& in);

// Reads the count field from the start of a stream; false when the stream
// holds fewer bytes than the field.
bool ReadCount(TStream& in, std::size_t& count);

// True when a file of `fileSize` bytes holds the count field, `count` entry
// records of the layout and a name table that does not overlap them.
bool TablesFit(std::uint64_t fileSize, std::size_t count, const Layout& layout);

}  // namespace qx::archive
