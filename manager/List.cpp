// qxarc list: one line per entry, or one JSON object per entry.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Commands.h"

namespace qx::manager {

namespace {

struct Kind {
  bool image = false;
  bool sized = false;  // the record holds its header
  archive::ImageHeader header;
};

Kind KindOf(archive::ArchiveReader& reader, const archive::Entry& entry, ByteBuffer& head) {
  Kind kind;
  kind.image = archive::IsImageEntryName(entry.name);
  if (kind.image && reader.InBounds(entry)) {
    reader.ReadHead(entry, archive::kImageHeaderSize, head);
    kind.sized = archive::ReadImageHeader(head.data(), head.size(), kind.header);
  }
  return kind;
}

std::string TextLine(std::size_t index, const archive::Entry& entry, const archive::Layout& layout,
                     const Kind& kind) {
  char fields[96];
  std::snprintf(fields, sizeof fields, "%5zu %10" PRIu32 " %10" PRIu32 " %0*" PRIx32 " ", index,
                entry.offset, entry.size, static_cast<int>(layout.hashSize * 2), entry.hash);
  char kindText[32];
  if (kind.sized) {
    std::snprintf(kindText, sizeof kindText, "image %ux%u", kind.header.width, kind.header.height);
  } else {
    std::snprintf(kindText, sizeof kindText, "%s", kind.image ? "image" : "file");
  }
  std::snprintf(fields + std::strlen(fields), sizeof fields - std::strlen(fields), "%-17s", kindText);
  std::string line(fields);
  line += ' ';
  line += entry.name;
  line += '\n';
  return line;
}

std::string JsonLine(std::size_t index, const archive::Entry& entry, const archive::Layout& layout,
                     const Kind& kind) {
  std::string line = "{\"index\":" + std::to_string(index) + ",\"name\":" + JsonString(entry.name) +
                     ",\"offset\":" + std::to_string(entry.offset) +
                     ",\"size\":" + std::to_string(entry.size) +
                     ",\"hash\":" + std::to_string(entry.hash) + ",\"hash_matches\":" +
                     (entry.hash == layout.hash(entry.name) ? "true" : "false") +
                     ",\"kind\":" + (kind.image ? "\"image\"" : "\"file\"");
  if (kind.sized) {
    line += ",\"width\":" + std::to_string(kind.header.width) +
            ",\"height\":" + std::to_string(kind.header.height);
  }
  return line + ",\"layout\":\"" + layout.name + "\"}\n";
}

}  // namespace

int RunList(const Arguments& args) {
  if (args.operands.size() != 1) throw UsageError("expects one ARCHIVE");
  const std::string& path = args.operands[0];
  CurrentContext().archive = path;
  OpenedArchive opened = OpenArchive(path, LayoutOption(args));
  archive::ArchiveReader reader(*opened.file, *opened.layout);
  const bool json = args.Flag("--json");
  const auto& entries = reader.Entries();
  if (!json) {
    const std::string layoutName = opened.empty ? "empty" : opened.layout->name;
    WriteOut("layout " + layoutName + ", " + std::to_string(entries.size()) + " entries, " +
             std::to_string(reader.FileSize()) + " bytes\n");
  }
  ByteBuffer head;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Kind kind = KindOf(reader, entries[i], head);
    WriteOut(json ? JsonLine(i, entries[i], *opened.layout, kind)
                  : TextLine(i, entries[i], *opened.layout, kind));
  }
  return kExitSuccess;
}

}  // namespace qx::manager
