// list-archive: prints the entries of an .agg archive, detecting its layout
// (long or short entries) as qxarc does.
//
//   list-archive ARCHIVE
//
// One line for the archive (layout, count, file size), then one per entry:
// index, size in bytes, kind ("file", or "image WxH" for an image record)
// and name.
#include <qxarc/ArchiveReader.h>
#include <qxarc/QxExceptions.h>
#include <qxarc/QxStreams.h>
#include <qxarc/QxSysUtils.h>

#include <iostream>
#include <string>

namespace {

std::string KindOf(qx::archive::ArchiveReader& reader, const qx::archive::Entry& entry,
                   qx::ByteBuffer& head) {
  if (!qx::archive::IsImageEntryName(entry.name)) return "file";
  qx::archive::ImageHeader header;
  if (reader.InBounds(entry)) {
    reader.ReadHead(entry, qx::archive::kImageHeaderSize, head);
    if (qx::archive::ReadImageHeader(head.data(), head.size(), header)) {
      return "image " + std::to_string(header.width) + "x" + std::to_string(header.height);
    }
  }
  return "image";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: list-archive ARCHIVE\n";
    return 2;
  }
  try {
    qx::InitLeadByteTable();
    qx::TFileStream file(argv[1], qx::TFileStream::Mode::OpenRead);
    const qx::archive::Detection found = qx::archive::DetectLayout(file);
    if (found.layout == nullptr) {
      std::cerr << argv[1] << ": not an archive of either layout, or both fit equally\n";
      return 1;
    }
    qx::archive::ArchiveReader reader(file, *found.layout);
    const auto& entries = reader.Entries();
    std::cout << (found.Empty() ? "empty" : found.layout->name) << " layout, " << entries.size()
              << " entries, " << reader.FileSize() << " bytes\n";
    qx::ByteBuffer head;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      std::cout << i << ' ' << entries[i].size << ' ' << KindOf(reader, entries[i], head) << ' '
                << entries[i].name << '\n';
    }
  } catch (const qx::Exception& error) {
    std::cerr << argv[1] << ": " << error.Message() << '\n';
    return 1;
  }
  return 0;
}
