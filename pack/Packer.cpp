#include "Packer.h"

#include <array>
#include <cstring>

#include "Endian.h"
#include "ImageImport.h"
#include "QxAtomicFile.h"
#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::pack {

namespace {

constexpr const char* kCollisionHead = "The following files have the same hash ID:";
constexpr const char* kCollisionTail = "\r\nRename them to make their IDs different.";

// Small files are gathered into one write; larger ones go straight through.
constexpr std::size_t kPendingLimit = 1u << 20;

// Appends data to the archive, gathering small pieces into larger writes.
class DataWriter {
 public:
  explicit DataWriter(TStream& stream) : stream_(stream) { pending_.reserve(kPendingLimit); }

  void Append(const ByteBuffer& data) {
    if (data.size() >= kPendingLimit) {
      Flush();
      stream_.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
      return;
    }
    if (pending_.size() + data.size() > kPendingLimit) Flush();
    pending_.insert(pending_.end(), data.begin(), data.end());
  }

  void Flush() {
    stream_.WriteBuffer(pending_.data(), static_cast<std::int64_t>(pending_.size()));
    pending_.clear();
  }

 private:
  TStream& stream_;
  ByteBuffer pending_;
};

// Refuses a listed file that is the archive itself, however its path is
// spelled, before anything is written.
void RefuseArchiveInFolder(ToolRun& run, const std::string& archivePath, const std::string& folder,
                           const std::vector<ListedFile>& files) {
  os::FileId archiveId;
  std::uint64_t archiveSize = 0;
  if (!os::GetFileId(archivePath, archiveId, archiveSize)) return;
  for (const ListedFile& file : files) {
    if (file.size != archiveSize) continue;
    os::FileId id;
    std::uint64_t size = 0;
    if (os::GetFileId(folder + file.name, id, size) && id == archiveId) {
      run.current = folder + file.name;
      throw Exception("Cannot pack the archive into itself");
    }
  }
}

}  // namespace

std::vector<ListedFile> ListFolder(const std::string& folder) {
  std::vector<ListedFile> files;
  TQxFindFile find(folder + "*");
  while (find.FindAttributes(0, os::AttributeDirectory)) {
    files.push_back({find.FindData().name, find.FindData().size});
    find.FindNext();
  }
  return files;
}

void WriteArchive(ToolRun& run, const PackerProgram& program, const std::string& archivePath,
                  const std::string& folder, const std::vector<ListedFile>& files) {
  const archive::Layout& layout = program.layout;
  if (files.size() > archive::kMaxEntries) {
    throw Exception("Too many files: " + std::to_string(files.size()) + " (at most " +
                    std::to_string(archive::kMaxEntries) + ")");
  }
  RefuseArchiveInFolder(run, archivePath, folder, files);

  const std::size_t count = files.size();
  ByteBuffer names(count * archive::kNameSlotSize, 0);
  ByteBuffer entries(count * layout.entrySize, 0);
  std::vector<std::uint16_t> ids;
  if (program.reportCollisions) ids.reserve(count);

  TQxAtomicFile temp(archivePath);
  TStream& out = temp.Stream();
  std::array<std::uint8_t, archive::kCountSize> countField{};
  PutU16(countField.data(), static_cast<std::uint16_t>(count));
  out.WriteBuffer(countField.data(), archive::kCountSize);
  std::uint64_t offset = archive::kCountSize + count * layout.entrySize;
  out.Seek(static_cast<std::int64_t>(offset), SeekOrigin::Beginning);

  DataWriter writer(out);
  ByteBuffer data;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = files[i].name;
    run.current = folder + name;
    std::string stored = name;
    if (HasExtension(name, archive::kImageExtension)) {
      ImportImage(run.current, data);
      const std::string bare = ReplaceExtension(name, "");
      if (HasExtension(bare, archive::kBackgroundExtension)) stored = bare;
    } else {
      LoadWholeFile(run.current, data);
    }
    if (offset + data.size() >= archive::kMaxArchiveData) {
      throw Exception("Archive would exceed 4 GiB");
    }

    std::uint8_t* slot = &names[i * archive::kNameSlotSize];
    const std::size_t nameLength = std::min(stored.size(), archive::kMaxStoredName);
    std::memcpy(slot, stored.data(), nameLength);
    const std::string_view slotName(reinterpret_cast<const char*>(slot), nameLength);
    std::uint8_t* record = &entries[i * layout.entrySize];
    layout.putHash(record, slotName);
    PutU32(record + layout.OffsetField(), static_cast<std::uint32_t>(offset));
    PutU32(record + layout.SizeField(), static_cast<std::uint32_t>(data.size()));
    if (program.reportCollisions) ids.push_back(archive::HashId(slotName));

    writer.Append(data);
    offset += data.size();
  }
  writer.Flush();
  out.WriteBuffer(names.data(), static_cast<std::int64_t>(names.size()));
  out.Seek(archive::kCountSize, SeekOrigin::Beginning);
  out.WriteBuffer(entries.data(), static_cast<std::int64_t>(entries.size()));
  run.current.clear();
  temp.Commit();

  if (program.reportCollisions) {
    const std::string report = CollisionReport(ids, files);
    if (!report.empty()) run.ReportError(report + kCollisionTail);
  }
}

std::string CollisionReport(const std::vector<std::uint16_t>& ids,
                            const std::vector<ListedFile>& files) {
  constexpr std::size_t kIdCount = 1u << 16;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::uint16_t> counters(kIdCount, 0);
  for (std::uint16_t id : ids) ++counters[id];
  // next[j]: the next entry after j with the same ID, so each group is
  // walked once instead of rescanning the rest of the list.
  std::vector<std::size_t> next(ids.size(), kNone);
  std::vector<std::size_t> later(kIdCount, kNone);
  for (std::size_t j = ids.size(); j-- > 0;) {
    next[j] = later[ids[j]];
    later[ids[j]] = j;
  }
  std::string report;
  for (std::size_t j = 0; j < ids.size(); ++j) {
    if (counters[ids[j]] <= 1) continue;
    counters[ids[j]] = 0;
    report += report.empty() ? kCollisionHead : "\r\n";
    for (std::size_t k = j; k != kNone; k = next[k]) report += "\r\n" + files[k].name;
  }
  return report;
}

int RunPacker(const PackerProgram& program, int argc, char** argv) {
  return RunTool(program.name, argc, argv,
                 [&program](ToolRun& run, const std::string& archivePath, const std::string& folder) {
                   if (!DirectoryExists(folder)) throw Exception("Folder doesn't exist: " + folder);
                   const std::vector<ListedFile> files = ListFolder(folder);
                   WriteArchive(run, program, archivePath, folder, files);
                 });
}

}  // namespace qx::pack
