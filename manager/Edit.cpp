// qxarc pack, update and delete: archives written as the packers write them,
// with the entries in an order the user controls. Entries that are not
// replaced keep their name slot, stored hash and data bytes. Every archive is
// written beside its path and moved over it only once complete, so a failure
// leaves the previous archive exactly as it was.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>

#include "ArchiveWriter.h"
#include "Commands.h"
#include "Packer.h"
#include "Platform.h"
#include "QxSysUtils.h"

namespace qx::manager {

namespace {

// No rank (a file whose name the old archive lacks), or no operand (an entry
// kept as it is).
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The name a stored name gets in its slot: cut to 14 bytes.
std::string SlotNameOf(const std::string& storedName) {
  return archive::SlotName(archive::MakeSlot(storedName));
}

// The name of a path without its folder part.
std::string BareName(const std::string& path) { return path.substr(ExtractFolder(path).size()); }

// True when nothing at all is at the path (not a file, not a folder), as
// opposed to something that exists but cannot be read.
bool NothingAt(const std::string& path) {
  return os::GetFileAttributes(path) == os::InvalidAttributes && os::IsEndOfListing(os::GetLastError());
}

// One line per group of names that share a hash ID. With `concerned`, only
// the groups that hold a concerned entry and more than one name: entries of
// one name share their ID whatever they are called.
void WarnSharedIds(const std::string& archivePath, const std::vector<std::uint16_t>& ids,
                   const std::vector<std::string>& names, const std::vector<bool>* concerned) {
  for (const std::vector<std::size_t>& group : pack::SharedIdGroups(ids)) {
    if (concerned != nullptr &&
        (std::none_of(group.begin(), group.end(), [&](std::size_t k) { return (*concerned)[k]; }) ||
         std::all_of(group.begin(), group.end(),
                     [&](std::size_t k) { return names[k] == names[group.front()]; }))) {
      continue;
    }
    char id[16];
    std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(ids[group.front()]));
    std::string line = "warning: " + archivePath + ": these files have the same hash ID " + id + ":";
    for (std::size_t k : group) {
      line += ' ';
      line += Quoted(names[k]);
    }
    WriteError(line);
  }
}

// The first position of each entry name of an archive. The names lie in the
// name table at the end of the file, where either layout reads them.
std::unordered_map<std::string, std::size_t> EntryRanks(const std::string& path,
                                                        const archive::Layout* given) {
  OpenedArchive opened = OpenArchive(path, given);
  archive::ArchiveReader reader(*opened.file, *opened.layout);
  std::unordered_map<std::string, std::size_t> ranks;
  const std::vector<archive::Entry>& entries = reader.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) ranks.emplace(entries[i].name, i);
  return ranks;
}

// The files in the order of their names' bytes, or, with `ranks`, first those
// whose stored names are entries in the entries' order, then the others in
// name order.
void OrderFiles(std::vector<pack::ListedFile>& files,
                const std::unordered_map<std::string, std::size_t>* ranks) {
  std::vector<std::pair<std::size_t, pack::ListedFile>> keyed;
  keyed.reserve(files.size());
  for (pack::ListedFile& file : files) {
    std::size_t rank = kNone;
    if (ranks != nullptr) {
      const auto found = ranks->find(SlotNameOf(archive::StoredNameOf(file.name)));
      if (found != ranks->end()) rank = found->second;
    }
    keyed.emplace_back(rank, std::move(file));
  }
  // std::string compares its bytes as unsigned values, as memcmp does.
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.name < b.second.name;
  });
  for (std::size_t i = 0; i < files.size(); ++i) files[i] = std::move(keyed[i].second);
}

// Refuses an operand that is the archive itself, however its path is spelled.
void RefuseArchiveAsFile(const std::string& archivePath, const std::vector<std::string>& files) {
  os::FileId archiveId;
  std::uint64_t archiveSize = 0;
  if (!os::GetFileId(archivePath, archiveId, archiveSize)) return;
  for (const std::string& file : files) {
    os::FileId id;
    std::uint64_t size = 0;
    if (os::GetFileId(file, id, size) && id == archiveId) {
      CurrentContext().item = file;
      throw Exception("Cannot pack the archive into itself");
    }
  }
}

}  // namespace

int RunPack(const Arguments& args) {
  if (args.operands.size() != 2) throw UsageError("expects an ARCHIVE and a FOLDER");
  if (args.operands[1].empty()) throw UsageError("the FOLDER is empty");
  const std::string& path = args.operands[0];
  const archive::Layout* given = LayoutOption(args);
  const archive::Layout& layout = given != nullptr ? *given : archive::kLongLayout;
  const std::string folder = AddTrailingDelimiter(args.operands[1]);

  std::optional<std::unordered_map<std::string, std::size_t>> ranks;
  if (args.Has("--order-of")) {
    CurrentContext().archive = args.Value("--order-of");
    ranks = EntryRanks(args.Value("--order-of"), given);
  }
  CurrentContext().archive = path;
  if (!DirectoryExists(folder)) throw Exception("Folder doesn't exist: " + folder);
  std::vector<pack::ListedFile> files = pack::ListFolder(folder);
  OrderFiles(files, ranks ? &*ranks : nullptr);

  const std::vector<std::uint16_t> ids = pack::PackFiles(CurrentContext().item, layout, path, folder, files);
  std::vector<std::string> names;
  names.reserve(files.size());
  for (const pack::ListedFile& file : files) names.push_back(file.name);
  WarnSharedIds(path, ids, names, nullptr);
  return kExitSuccess;
}

int RunUpdate(const Arguments& args) {
  if (args.operands.size() < 2) throw UsageError("expects an ARCHIVE and at least one FILE");
  const std::string& path = args.operands[0];
  const std::vector<std::string> files(args.operands.begin() + 1, args.operands.end());
  const archive::Layout* given = LayoutOption(args);
  CurrentContext().archive = path;

  // A missing archive is created, as tar and zip do.
  OpenedArchive opened;
  std::optional<archive::ArchiveReader> reader;
  std::vector<archive::Entry> none;
  const archive::Layout* layout = given != nullptr ? given : &archive::kLongLayout;
  if (!NothingAt(path)) {
    opened = OpenArchive(path, given);
    layout = opened.layout;
    reader.emplace(*opened.file, *layout);
  }
  const std::vector<archive::Entry>& entries = reader ? reader->Entries() : none;
  RefuseArchiveAsFile(path, files);

  // What each entry of the result holds: the operand that replaces or adds
  // it, or none for an entry kept as it is. A later operand of the same
  // stored name replaces what an earlier one put there.
  std::vector<std::size_t> operandOf(entries.size(), kNone);
  std::unordered_map<std::string, std::size_t> firstOf;
  for (std::size_t i = 0; i < entries.size(); ++i) firstOf.emplace(entries[i].name, i);
  for (std::size_t k = 0; k < files.size(); ++k) {
    const auto [at, added] = firstOf.emplace(SlotNameOf(archive::StoredNameOf(BareName(files[k]))),
                                             operandOf.size());
    if (added) {
      operandOf.push_back(k);
    } else {
      operandOf[at->second] = k;
    }
  }
  pack::RefuseTooManyFiles(operandOf.size());

  archive::ArchiveWriter writer(path, *layout, operandOf.size());
  std::vector<std::uint16_t> ids;
  std::vector<std::string> names;
  std::vector<bool> fromOperand;
  ByteBuffer data;
  for (std::size_t i = 0; i < operandOf.size(); ++i) {
    if (operandOf[i] != kNone) {
      const std::string& file = files[operandOf[i]];
      CurrentContext().item = file;
      names.push_back(pack::AddFileAsStored(writer, file, BareName(file), data));
      ids.push_back(archive::HashId(names.back()));
      fromOperand.push_back(true);
    } else {
      const archive::Entry& entry = entries[i];
      CurrentContext().item = entry.name;
      writer.AddKept(*reader, entry);
      names.push_back(entry.name);
      ids.push_back(static_cast<std::uint16_t>(entry.hash));  // the hash ID when short
      fromOperand.push_back(false);
    }
  }
  writer.Finish();
  CurrentContext().item.clear();
  // The archive is closed before the new one takes its path (Windows does
  // not replace a file that is open).
  reader.reset();
  opened.file.reset();
  writer.Commit();
  if (layout == &archive::kShortLayout) WarnSharedIds(path, ids, names, &fromOperand);
  return kExitSuccess;
}

int RunDelete(const Arguments& args) {
  if (args.operands.size() < 2) throw UsageError("expects an ARCHIVE and at least one NAME");
  const std::string& path = args.operands[0];
  const std::vector<std::string> patterns(args.operands.begin() + 1, args.operands.end());
  CurrentContext().archive = path;

  OpenedArchive opened = OpenArchive(path, LayoutOption(args));
  std::optional<archive::ArchiveReader> reader(std::in_place, *opened.file, *opened.layout);
  const std::vector<archive::Entry>& entries = reader->Entries();
  const Selection selection = SelectEntries(entries, patterns);
  if (!selection.unmatched.empty()) {
    for (const std::string& name : selection.unmatched) {
      WriteError(path + ": " + Quoted(name) + ": no such entry");
    }
    WriteError(path + ": nothing deleted");
    return kExitFailure;
  }

  const auto kept = static_cast<std::size_t>(
      std::count(selection.selected.begin(), selection.selected.end(), false));
  archive::ArchiveWriter writer(path, *opened.layout, kept);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (selection.selected[i]) continue;
    CurrentContext().item = entries[i].name;
    writer.AddKept(*reader, entries[i]);
  }
  writer.Finish();
  CurrentContext().item.clear();
  reader.reset();
  opened.file.reset();
  writer.Commit();
  return kExitSuccess;
}

}  // namespace qx::manager
