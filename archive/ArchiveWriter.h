// Writing a new archive: entries are added in table order, and the archive
// replaces the file at its path only when Commit has written all of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ArchiveFormat.h"
#include "ArchiveReader.h"
#include "QxAtomicFile.h"
#include "QxSysUtils.h"

namespace qx::archive {

class ArchiveWriter {
 public:
  // Creates the temporary file beside `path` and writes the count; raises
  // "Cannot create file ..." when it cannot. `count` entries must follow.
  ArchiveWriter(const std::string& path, const Layout& layout, std::size_t count);
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds the next entry under a stored name (cut to 14 bytes; the hash is
  // that of the cut name). Raises "Archive would exceed 4 GiB" when the data
  // would reach that far. Returns the name as its slot holds it.
  std::string Add(std::string_view storedName, const std::uint8_t* data, std::size_t size);
  // Adds the next entry with the whole content of a file opened for
  // reading. Small files are read straight into the gathering buffer; larger
  // ones are copied inside the system where it can, else through a buffer
  // of at most 8 MiB, so memory does not grow with the file.
  std::string AddFile(std::string_view storedName, TQxInputFile& file);
  // Adds the next entry with a slot and stored hash kept as they are.
  void AddKept(const NameSlot& slot, std::uint32_t hash, const std::uint8_t* data,
               std::size_t size);
  // Adds an entry of another archive as it is stored there: slot, stored
  // hash and bytes, copied in bounded memory. An entry outside its file
  // fails with "Stream read error" before it is added.
  void AddKept(ArchiveReader& reader, const Entry& entry);

  // Writes the data still gathered, the name table and the entry table.
  void Finish();
  // Finishes the archive if needed and puts it in place.
  void Commit();

 private:
  // Fills in the next entry's records; its data must follow.
  void Record(const NameSlot& slot, std::uint32_t hash, std::uint64_t size);
  void Append(const std::uint8_t* data, std::size_t size);
  void Flush();
  // Counts data just written and starts its write-back every few MiB.
  void Wrote(std::uint64_t size);

  const Layout& layout_;
  std::size_t count_;
  std::size_t added_ = 0;
  bool finished_ = false;
  std::uint64_t offset_;
  std::uint64_t written_;            // where the data written so far ends
  std::uint64_t writeBackFrom_ = 0;  // where data not yet handed to write-back starts
  ByteBuffer names_;
  ByteBuffer records_;
  ByteBuffer pending_;  // small entries gathered into larger writes
  std::size_t pendingUsed_ = 0;
  ByteBuffer piece_;    // the copy buffer of large files, made when first needed
  TQxAtomicFile file_;
};

}  // namespace qx::archive
