#include "ArchiveWriter.h"

#include <algorithm>

#include "Endian.h"
#include "QxExceptions.h"

namespace qx::archive {

namespace {

// Small entries are gathered into one write; larger ones go straight through.
constexpr std::size_t kPendingLimit = 1u << 20;
// Large files are copied inside the system where it can, else in pieces of
// this size at most.
constexpr std::size_t kPieceLimit = 8u << 20;
// Written data is handed to the system's write-back in steps of this size,
// so the disk works while the next files are read and the flush that makes
// the archive durable has little left to wait for.
constexpr std::uint64_t kWriteBackStep = 8u << 20;

}  // namespace

ArchiveWriter::ArchiveWriter(const std::string& path, const Layout& layout, std::size_t count)
    : layout_(layout),
      count_(count),
      offset_(layout.DataStart(count)),
      written_(offset_),
      names_(count * kNameSlotSize, 0),
      records_(count * layout.entrySize, 0),
      file_(path) {
  if (count > kMaxEntries) throw EInvalidOperation("Too many entries for an archive");
  pending_.resize(kPendingLimit);
  std::uint8_t countField[kCountSize];
  PutU16(countField, static_cast<std::uint16_t>(count));
  TStream& out = file_.Stream();
  out.WriteBuffer(countField, kCountSize);
  out.Seek(static_cast<std::int64_t>(offset_), SeekOrigin::Beginning);
}

std::string ArchiveWriter::Add(std::string_view storedName, const std::uint8_t* data,
                               std::size_t size) {
  const NameSlot slot = MakeSlot(storedName);
  std::string slotName = SlotName(slot);
  AddKept(slot, layout_.hash(slotName), data, size);
  return slotName;
}

std::string ArchiveWriter::AddFile(std::string_view storedName, TQxInputFile& file) {
  const NameSlot slot = MakeSlot(storedName);
  std::string slotName = SlotName(slot);
  const std::uint64_t size = file.Size();
  Record(slot, layout_.hash(slotName), size);
  if (size < kPendingLimit) {
    if (pendingUsed_ + size > kPendingLimit) Flush();
    file.Read(pending_.data() + pendingUsed_, static_cast<std::size_t>(size));
    pendingUsed_ += static_cast<std::size_t>(size);
    return slotName;
  }
  Flush();
  TFileStream& out = file_.Stream();
  std::uint64_t left = size - CopyInsideSystem(file.Handle(), out.Handle(), size);
  Wrote(size - left);
  if (left > 0 && piece_.empty()) piece_.resize(kPieceLimit);
  while (left > 0) {
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece_.size()));
    file.Read(piece_.data(), take);
    out.WriteBuffer(piece_.data(), static_cast<std::int64_t>(take));
    Wrote(take);
    left -= take;
  }
  return slotName;
}

void ArchiveWriter::AddKept(const NameSlot& slot, std::uint32_t hash, const std::uint8_t* data,
                            std::size_t size) {
  Record(slot, hash, size);
  Append(data, size);
}

void ArchiveWriter::AddKept(ArchiveReader& reader, const Entry& entry) {
  if (!reader.InBounds(entry)) throw EReadError(kStreamReadError);
  Record(entry.slot, entry.hash, entry.size);
  reader.CopyData(entry, [this](const std::uint8_t* piece, std::size_t size) { Append(piece, size); });
}

void ArchiveWriter::Record(const NameSlot& slot, std::uint32_t hash, std::uint64_t size) {
  if (added_ >= count_) throw EInvalidOperation("More entries than the archive was made for");
  if (offset_ + size >= kMaxArchiveData) throw Exception("Archive would exceed 4 GiB");
  std::copy(slot.begin(), slot.end(), &names_[added_ * kNameSlotSize]);
  EncodeEntry(layout_, {hash, static_cast<std::uint32_t>(offset_), static_cast<std::uint32_t>(size)},
              &records_[added_ * layout_.entrySize]);
  offset_ += size;
  ++added_;
}

void ArchiveWriter::Append(const std::uint8_t* data, std::size_t size) {
  if (size >= kPendingLimit) {
    Flush();
    file_.Stream().WriteBuffer(data, static_cast<std::int64_t>(size));
    Wrote(size);
    return;
  }
  if (pendingUsed_ + size > kPendingLimit) Flush();
  std::copy_n(data, size, pending_.data() + pendingUsed_);
  pendingUsed_ += size;
}

void ArchiveWriter::Flush() {
  file_.Stream().WriteBuffer(pending_.data(), static_cast<std::int64_t>(pendingUsed_));
  Wrote(pendingUsed_);
  pendingUsed_ = 0;
}

void ArchiveWriter::Wrote(std::uint64_t size) {
  written_ += size;
  if (written_ - writeBackFrom_ < kWriteBackStep) return;
  os::StartWriteBack(file_.Stream().Handle(), writeBackFrom_, written_ - writeBackFrom_);
  writeBackFrom_ = written_;
}

void ArchiveWriter::Finish() {
  if (finished_) return;
  if (added_ != count_) throw EInvalidOperation("Fewer entries than the archive was made for");
  Flush();
  TStream& out = file_.Stream();
  out.WriteBuffer(names_.data(), static_cast<std::int64_t>(names_.size()));
  out.Seek(kCountSize, SeekOrigin::Beginning);
  out.WriteBuffer(records_.data(), static_cast<std::int64_t>(records_.size()));
  finished_ = true;
}

void ArchiveWriter::Commit() {
  Finish();
  file_.Commit();
}

}  // namespace qx::archive
