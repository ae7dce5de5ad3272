// qxarc test: checks the whole archive and reports every finding. Problems
// are what makes the unpackers or other readers fail or lose an entry; notes
// are what is legal but worth knowing.
#include <algorithm>
#include <unordered_map>

#include "Commands.h"

namespace qx::manager {

namespace {

struct Finding {
  bool problem;
  const char* code;
  std::size_t index;  // kNoEntry when no entry is concerned
  std::string name;
  std::string message;
};

constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

class Findings {
 public:
  void Problem(const char* code, std::size_t index, const std::string& name, std::string message) {
    list_.push_back({true, code, index, name, std::move(message)});
  }
  void Note(const char* code, std::size_t index, const std::string& name, std::string message) {
    list_.push_back({false, code, index, name, std::move(message)});
  }
  const std::vector<Finding>& List() const { return list_; }
  std::size_t Problems() const {
    return static_cast<std::size_t>(
        std::count_if(list_.begin(), list_.end(), [](const Finding& f) { return f.problem; }));
  }

 private:
  std::vector<Finding> list_;
};

std::string Entry(std::size_t index) { return "entry " + std::to_string(index); }

std::string FoldCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

// Names, hashes and slots, entry by entry.
void CheckNames(const std::vector<archive::Entry>& entries, const archive::Layout& layout,
                Findings& out) {
  std::unordered_map<std::string, std::size_t> byName;
  std::unordered_map<std::string, std::size_t> byFolded;
  std::unordered_map<std::uint32_t, std::size_t> byHash;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const archive::Entry& e = entries[i];
    const std::uint32_t expected = layout.hash(e.name);
    if (e.hash != expected) {
      out.Problem("hash-mismatch", i, e.name,
                  "stored hash " + std::to_string(e.hash) + " is not the name's hash " +
                      std::to_string(expected));
    }
    if (!archive::IsSafeEntryName(e.name, true)) {
      out.Problem("unsafe-name", i, e.name, "the name could write outside the output folder or name a device");
    }
    const auto [same, fresh] = byName.emplace(e.name, i);
    if (!fresh) {
      out.Problem("duplicate-name", i, e.name,
                  "same name as " + Entry(same->second) + ": unpacking keeps only the later one");
    }
    const auto [folded, freshFolded] = byFolded.emplace(FoldCase(e.name), i);
    if (!freshFolded && entries[folded->second].name != e.name) {
      out.Note("case-duplicate", i, e.name,
               "differs from " + Entry(folded->second) + " only in letter case: one file on Windows");
    }
    // Names equal but for letter case share their hash by design (both
    // hashes fold case): that is the case-duplicate note, not this problem.
    const auto [hashed, freshHash] = byHash.emplace(e.hash, i);
    if (!freshHash && FoldCase(entries[hashed->second].name) != FoldCase(e.name)) {
      out.Problem("shared-hash", i, e.name,
                  "same stored hash as " + Entry(hashed->second) + " " +
                      Quoted(entries[hashed->second].name) + ": other readers cannot tell them apart");
    }
    if (std::find(e.slot.begin(), e.slot.end(), 0) == e.slot.end()) {
      out.Note("full-slot", i, e.name, "the name slot holds 15 bytes and no zero byte");
    }
  }
}

// Image records, for the entries whose bytes lie inside the file.
void CheckImages(archive::ArchiveReader& reader, Findings& out) {
  ByteBuffer head;
  const auto& entries = reader.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const archive::Entry& e = entries[i];
    if (!archive::IsImageEntryName(e.name) || !reader.InBounds(e)) continue;
    reader.ReadHead(e, archive::kImageHeaderSize, head);
    archive::ImageHeader header;
    if (!archive::ReadImageHeader(head.data(), head.size(), header)) {
      out.Problem("image-too-short", i, e.name,
                  std::to_string(e.size) + " bytes hold no image header");
      continue;
    }
    if (head[0] != archive::kImageMagic) {
      out.Note("not-image-record", i, e.name, "the first byte is not that of an image record");
    }
    if (!archive::HoldsAllPixels(e.size, header)) {
      out.Problem("image-too-short", i, e.name,
                  std::to_string(e.size) + " bytes hold fewer than the " +
                      std::to_string(header.Pixels()) + " pixels of " + std::to_string(header.width) +
                      "x" + std::to_string(header.height));
    }
  }
}

// Where the entries lie: past the end, on top of each other, and what no
// entry or table covers.
void CheckPlacement(const archive::ArchiveReader& reader, Findings& out) {
  struct Span {
    std::uint64_t start, end;
    std::size_t index;
  };
  const auto& entries = reader.Entries();
  const std::uint64_t fileSize = reader.FileSize();
  std::vector<Span> spans;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const archive::Entry& e = entries[i];
    if (e.size == 0) continue;
    if (!reader.InBounds(e)) {
      out.Problem("entry-out-of-bounds", i, e.name,
                  "offset " + std::to_string(e.offset) + " + size " + std::to_string(e.size) +
                      " reaches past the end of the file (" + std::to_string(fileSize) + " bytes)");
      continue;
    }
    spans.push_back({e.offset, static_cast<std::uint64_t>(e.offset) + e.size, i});
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    return a.start != b.start ? a.start < b.start : a.index < b.index;
  });
  // Each span against the one reaching furthest before it.
  const Span* furthest = nullptr;
  for (const Span& span : spans) {
    if (furthest != nullptr && span.start < furthest->end) {
      out.Note("overlapping-entries", span.index, entries[span.index].name,
               "shares bytes with " + Entry(furthest->index));
    }
    if (furthest == nullptr || span.end > furthest->end) furthest = &span;
  }

  // The tables and the entries, in file order; what lies between is unused.
  const std::size_t count = entries.size();
  const std::uint64_t tablesEnd = reader.GetLayout().DataStart(count);
  const std::uint64_t namesStart = reader.NameTableOffset();
  std::vector<Span> covered{{0, tablesEnd, kNoEntry}, {namesStart, fileSize, kNoEntry}};
  covered.insert(covered.end(), spans.begin(), spans.end());
  std::sort(covered.begin(), covered.end(),
            [](const Span& a, const Span& b) { return a.start < b.start; });
  std::uint64_t reached = 0, unused = 0, firstGap = 0;
  for (const Span& span : covered) {
    if (span.start > reached) {
      if (unused == 0) firstGap = reached;
      unused += span.start - reached;
    }
    reached = std::max(reached, span.end);
  }
  if (unused > 0) {
    out.Note("unused-bytes", kNoEntry, "",
             std::to_string(unused) + " bytes are covered by no entry or table, the first at offset " +
                 std::to_string(firstGap));
  }
}

// Findings of one entry together, in entry order; those of the whole file
// last.
void Report(std::vector<Finding> findings, bool json) {
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.index < b.index; });
  for (const Finding& f : findings) {
    const char* kind = f.problem ? "problem" : "note";
    if (json) {
      std::string line = std::string("{\"") + kind + "\":\"" + f.code + "\"";
      if (f.index != kNoEntry) {
        line += ",\"index\":" + std::to_string(f.index) + ",\"name\":" + JsonString(f.name);
      }
      WriteOut(line + ",\"message\":" + JsonString(f.message) + "}\n");
    } else {
      std::string line = std::string(kind) + " " + f.code + ": ";
      if (f.index != kNoEntry) line += Entry(f.index) + " " + Quoted(f.name) + ": ";
      WriteOut(line + f.message + "\n");
    }
  }
}

}  // namespace

int RunTest(const Arguments& args) {
  if (args.operands.size() != 1) throw UsageError("expects one ARCHIVE");
  const std::string& path = args.operands[0];
  CurrentContext().archive = path;
  OpenedArchive opened = OpenArchive(path, LayoutOption(args));
  const archive::Layout& layout = *opened.layout;
  Findings findings;

  TStream& file = *opened.file;
  const std::int64_t fileSize = file.GetSize();
  std::size_t count = 0;
  const bool fits = fileSize >= 0 && archive::ReadCount(file, count) &&
                    archive::TablesFit(static_cast<std::uint64_t>(fileSize), count, layout);
  if (!fits) {
    findings.Problem("tables-do-not-fit", kNoEntry, "",
                     "the file (" + std::to_string(std::max<std::int64_t>(fileSize, 0)) +
                         " bytes) is too short for the count, " + std::to_string(count) +
                         " entry records and their name slots");
  } else {
    archive::ArchiveReader reader(file, layout);
    CheckPlacement(reader, findings);
    CheckNames(reader.Entries(), layout, findings);
    CheckImages(reader, findings);
  }
  Report(findings.List(), args.Flag("--json"));
  const std::size_t problems = findings.Problems();
  if (problems == 0) return kExitSuccess;
  WriteError(path + ": " + std::to_string(problems) + (problems == 1 ? " problem" : " problems") +
             " found");
  return kExitFailure;
}

}  // namespace qx::manager
