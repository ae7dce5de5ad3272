#include "ArchiveReader.h"

#include <algorithm>

#include "Endian.h"
#include "QxExceptions.h"

namespace qx::archive {

namespace {

// Entries of at least this size are copied inside the system where it can;
// smaller ones come from the read-ahead window, one read serving many.
constexpr std::uint32_t kCopyInsideFrom = 1u << 20;

}  // namespace

ArchiveReader::ArchiveReader(const std::string& path, const Layout& layout)
    : owned_(std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead)),
      in_(*owned_),
      layout_(layout) {
  ReadTables();
}

ArchiveReader::ArchiveReader(TStream& stream, const Layout& layout) : in_(stream), layout_(layout) {
  position_ = in_.Position();
  ReadTables();
}

void ArchiveReader::ReadTables() {
  const std::int64_t size = in_.GetSize();
  if (size < 0) throw EReadError(kStreamReadError);
  fileSize_ = static_cast<std::uint64_t>(size);

  ByteBuffer countField;
  ReadRange(0, kCountSize, countField);
  const std::size_t count = GetU16(countField.data());
  ByteBuffer records;
  ReadRange(kCountSize, count * layout_.entrySize, records);
  const std::uint64_t namesSize = count * kNameSlotSize;
  if (namesSize > fileSize_) throw EReadError(kStreamReadError);
  ByteBuffer names;
  ReadRange(fileSize_ - namesSize, namesSize, names);

  entries_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    Entry& entry = entries_[i];
    std::copy_n(&names[i * kNameSlotSize], kNameSlotSize, entry.slot.begin());
    entry.name = SlotName(entry.slot);
    const EntryRecord record = DecodeEntry(layout_, &records[i * layout_.entrySize]);
    entry.hash = record.hash;
    entry.offset = record.offset;
    entry.size = record.size;
  }
}

bool ArchiveReader::InBounds(const Entry& entry) const {
  return entry.size == 0 || static_cast<std::uint64_t>(entry.offset) + entry.size <= fileSize_;
}

void ArchiveReader::ReadHead(const Entry& entry, std::size_t length, ByteBuffer& data) {
  const std::size_t wanted = std::min<std::size_t>(length, entry.size);
  if (wanted == 0) {
    data.clear();
    return;
  }
  ReadRange(entry.offset, wanted, data);
}

void ArchiveReader::ReadData(const Entry& entry, ByteBuffer& data) {
  // Resizing the previous entry's buffer instead of emptying it first spares
  // zero-filling bytes the read overwrites at once.
  if (entry.size == 0) {
    data.clear();
    return;
  }
  ReadRange(entry.offset, entry.size, data);
}

void ArchiveReader::CopyData(const Entry& entry,
                            const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  if (entry.size == 0) return;
  if (!InBounds(entry)) throw EReadError(kStreamReadError);
  CopyRange(entry.offset, entry.size, sink);
}

void ArchiveReader::CopyData(const Entry& entry, TQxOutputFile& out) {
  const auto write = [&out](const std::uint8_t* piece, std::size_t size) { out.Write(piece, size); };
  auto* file = dynamic_cast<TFileStream*>(&in_);
  if (file == nullptr || entry.size < kCopyInsideFrom) {
    CopyData(entry, write);
    return;
  }
  if (!InBounds(entry)) throw EReadError(kStreamReadError);
  SeekTo(entry.offset);
  const std::uint64_t copied = CopyInsideSystem(file->Handle(), out.Handle(), entry.size);
  position_ = static_cast<std::int64_t>(entry.offset + copied);
  // Where the system could not copy it all, the rest goes through the window.
  if (copied < entry.size) CopyRange(entry.offset + copied, entry.size - copied, write);
}

void ArchiveReader::CopyRange(std::uint64_t at, std::uint64_t left,
                             const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  constexpr std::size_t kWindowLimit = 8u << 20;
  while (left > 0) {
    if (at < windowStart_ || at >= windowStart_ + windowSize_) {
      // Read ahead only where reading goes on from the end of the last
      // window; an entry elsewhere reads just its own bytes, so entries
      // stored out of order cost no more than one read each.
      const bool follows = windowSize_ != 0 && at == windowStart_ + windowSize_;
      std::uint64_t want = std::min<std::uint64_t>(kWindowLimit, fileSize_ - at);
      if (!follows) want = std::min(want, left);
      if (window_.size() < want) window_.resize(static_cast<std::size_t>(want));
      SeekTo(at);
      windowSize_ = 0;
      in_.ReadBuffer(window_.data(), static_cast<std::int64_t>(want));
      position_ = static_cast<std::int64_t>(at + want);
      windowStart_ = at;
      windowSize_ = static_cast<std::size_t>(want);
    }
    const auto from = static_cast<std::size_t>(at - windowStart_);
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, windowSize_ - from));
    sink(window_.data() + from, take);
    at += take;
    left -= take;
  }
}

void ArchiveReader::ReadRange(std::uint64_t offset, std::uint64_t length, ByteBuffer& buffer) {
  if (offset > fileSize_ || length > fileSize_ - offset) throw EReadError(kStreamReadError);
  buffer.resize(static_cast<std::size_t>(length));
  if (length == 0) return;
  SeekTo(offset);
  in_.ReadBuffer(buffer.data(), static_cast<std::int64_t>(length));
  position_ = static_cast<std::int64_t>(offset + length);
}

void ArchiveReader::SeekTo(std::uint64_t offset) {
  if (position_ != static_cast<std::int64_t>(offset) &&
      in_.Seek(static_cast<std::int64_t>(offset), SeekOrigin::Beginning) != static_cast<std::int64_t>(offset)) {
    throw EReadError(kStreamReadError);
  }
  // Unknown until the caller's transfer has succeeded.
  position_ = -1;
}

bool TablesFit(std::uint64_t fileSize, std::size_t count, const Layout& layout) {
  return layout.DataStart(count) + count * kNameSlotSize <= fileSize;
}

namespace {

// Reads up to `length` bytes at `offset`; returns how many came.
std::size_t ReadAt(TStream& in, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  if (in.Seek(static_cast<std::int64_t>(offset), SeekOrigin::Beginning) !=
      static_cast<std::int64_t>(offset)) {
    return 0;
  }
  return static_cast<std::size_t>(in.ReadUpTo(buffer, static_cast<std::int64_t>(length)));
}

LayoutFit Fit(const Layout& layout, std::uint64_t fileSize, std::size_t count,
              const ByteBuffer& records, const ByteBuffer& names) {
  LayoutFit fit;
  if (!TablesFit(fileSize, count, layout)) return fit;
  for (std::size_t i = 0; i < count; ++i) {
    const EntryRecord record = DecodeEntry(layout, &records[i * layout.entrySize]);
    if (record.size > 0 && static_cast<std::uint64_t>(record.offset) + record.size > fileSize) {
      return fit;
    }
    if (record.hash == layout.hash(SlotName(&names[i * kNameSlotSize]))) ++fit.score;
  }
  fit.possible = true;
  return fit;
}

}  // namespace

bool ReadCount(TStream& in, std::size_t& count) {
  std::uint8_t countField[kCountSize];
  if (ReadAt(in, 0, countField, kCountSize) != kCountSize) return false;
  count = GetU16(countField);
  return true;
}

Detection DetectLayout(TStream& in) {
  Detection found;
  const std::int64_t size = in.GetSize();
  if (size < static_cast<std::int64_t>(kCountSize) || !ReadCount(in, found.count)) return found;
  const auto fileSize = static_cast<std::uint64_t>(size);

  // Enough of the table for the wider layout, and the name table, where the
  // file holds them; a layout whose tables do not fit is not possible anyway.
  const std::size_t tableBytes = found.count * kLongLayout.entrySize;
  const std::size_t namesBytes = found.count * kNameSlotSize;
  if (!TablesFit(fileSize, found.count, kShortLayout)) return found;
  ByteBuffer records(tableBytes, 0);
  const std::uint64_t available = fileSize - kCountSize;
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(tableBytes, available));
  if (ReadAt(in, kCountSize, records.data(), wanted) != wanted) return found;
  ByteBuffer names(namesBytes, 0);
  if (ReadAt(in, fileSize - namesBytes, names.data(), namesBytes) != namesBytes) return found;

  found.fitLong = Fit(kLongLayout, fileSize, found.count, records, names);
  found.fitShort = Fit(kShortLayout, fileSize, found.count, records, names);
  if (found.count == 0) {
    found.layout = &kLongLayout;
  } else if (found.fitLong.possible && (!found.fitShort.possible || found.fitLong.score > found.fitShort.score)) {
    found.layout = &kLongLayout;
  } else if (found.fitShort.possible && (!found.fitLong.possible || found.fitShort.score > found.fitLong.score)) {
    found.layout = &kShortLayout;
  }
  return found;
}

}  // namespace qx::archive
