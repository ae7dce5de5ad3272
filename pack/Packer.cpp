#include "Packer.h"

#include "ArchiveWriter.h"
#include "ImageImport.h"
#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::pack {

namespace {

constexpr const char* kCollisionHead = "The following files have the same hash ID:";
constexpr const char* kCollisionTail = "\r\nRename them to make their IDs different.";

// Refuses a listed file that is the archive itself, however its path is
// spelled, before anything is written. Only files that could be the archive
// (same size, or same index on its volume, where the listing reported them)
// are asked for their identity, so a folder of many files costs no query
// per file.
void RefuseArchiveInFolder(std::string& current, const std::string& archivePath, const std::string& folder,
                           const std::vector<ListedFile>& files) {
  os::FileId archiveId;
  std::uint64_t archiveSize = 0;
  if (!os::GetFileId(archivePath, archiveId, archiveSize)) return;
  for (const ListedFile& file : files) {
    if (file.sizeKnown && file.size != archiveSize) continue;
    if (file.index != 0 && file.index != archiveId.index) continue;
    os::FileId id;
    std::uint64_t size = 0;
    if (os::GetFileId(folder + file.name, id, size) && id == archiveId) {
      current = folder + file.name;
      throw Exception("Cannot pack the archive into itself");
    }
  }
}

}  // namespace

std::vector<ListedFile> ListFolder(const std::string& folder) {
  std::vector<ListedFile> files;
  TQxFindFile find(folder + "*");
  while (find.FindAttributes(0, os::AttributeDirectory)) {
    const os::FindData& data = find.FindData();
    files.push_back({data.name, data.sizeKnown, data.size, data.index});
    find.FindNext();
  }
  return files;
}

void RefuseTooManyFiles(std::size_t count) {
  if (count > archive::kMaxEntries) {
    throw Exception("Too many files: " + std::to_string(count) + " (at most " +
                    std::to_string(archive::kMaxEntries) + ")");
  }
}

std::string AddFileAsStored(archive::ArchiveWriter& writer, const std::string& path,
                            const std::string& bareName, ByteBuffer& data) {
  if (archive::IsBitmapFileName(bareName)) {
    ImportImage(path, data);
    return writer.Add(archive::StoredNameOf(bareName), data.data(), data.size());
  }
  TQxInputFile in(path);
  return writer.AddFile(archive::StoredNameOf(bareName), in);
}

std::vector<std::uint16_t> PackFiles(std::string& current, const archive::Layout& layout,
                                     const std::string& archivePath, const std::string& folder,
                                     const std::vector<ListedFile>& files) {
  RefuseTooManyFiles(files.size());
  RefuseArchiveInFolder(current, archivePath, folder, files);

  const bool storesIds = &layout == &archive::kShortLayout;
  std::vector<std::uint16_t> ids;
  if (storesIds) ids.reserve(files.size());
  archive::ArchiveWriter writer(archivePath, layout, files.size());
  ByteBuffer data;
  for (const ListedFile& file : files) {
    current = folder + file.name;
    const std::string slotName = AddFileAsStored(writer, current, file.name, data);
    if (storesIds) ids.push_back(archive::HashId(slotName));
  }
  // Failures while the last data and the tables are written still name the
  // last file; putting the archive in place names none.
  writer.Finish();
  current.clear();
  writer.Commit();
  return ids;
}

void WriteArchive(ToolRun& run, const PackerProgram& program, const std::string& archivePath,
                  const std::string& folder, const std::vector<ListedFile>& files) {
  const std::vector<std::uint16_t> ids = PackFiles(run.current, program.layout, archivePath, folder, files);
  if (program.reportCollisions) {
    const std::string report = CollisionReport(ids, files);
    if (!report.empty()) run.ReportError(report + kCollisionTail);
  }
}

std::vector<std::vector<std::size_t>> SharedIdGroups(const std::vector<std::uint16_t>& ids) {
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
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t j = 0; j < ids.size(); ++j) {
    if (counters[ids[j]] <= 1) continue;
    counters[ids[j]] = 0;
    std::vector<std::size_t>& group = groups.emplace_back();
    for (std::size_t k = j; k != kNone; k = next[k]) group.push_back(k);
  }
  return groups;
}

std::string CollisionReport(const std::vector<std::uint16_t>& ids,
                            const std::vector<ListedFile>& files) {
  std::string report;
  for (const std::vector<std::size_t>& group : SharedIdGroups(ids)) {
    report += report.empty() ? kCollisionHead : "\r\n";
    for (std::size_t k : group) report += "\r\n" + files[k].name;
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
