// qxarc extract: writes entries into a folder as the unpackers do, or their
// bytes to standard output.
#include "Commands.h"
#include "ImageExport.h"
#include "Platform.h"
#include "QxMemoryStreams.h"
#include "QxProgram.h"
#include "Unpacker.h"

namespace qx::manager {

int RunExtract(const Arguments& args) {
  if (args.operands.empty()) throw UsageError("expects an ARCHIVE");
  if (args.Has("--palette") && args.Flag("--raw")) {
    throw UsageError("--palette and --raw exclude each other");
  }
  const std::string& path = args.operands[0];
  const std::vector<std::string> names(args.operands.begin() + 1, args.operands.end());
  const bool raw = args.Flag("--raw");
  const bool toOutput = args.Flag("-O");
  CurrentContext().archive = path;

  OpenedArchive opened = OpenArchive(path, LayoutOption(args));
  archive::ArchiveReader reader(*opened.file, *opened.layout);
  const Selection selection = SelectEntries(reader.Entries(), names);
  int status = kExitSuccess;
  for (const std::string& name : selection.unmatched) {
    WriteError(path + ": " + Quoted(name) + ": no such entry");
    status = kExitFailure;
  }

  const std::string folder =
      args.Has("-C") ? AddTrailingDelimiter(args.Value("-C")) : DefaultFolder(path);
  // A folder that cannot be made shows up as the failure of the first write.
  if (!toOutput) ForceFolder(folder);
  const std::string palette =
      args.Has("--palette")
          ? args.Value("--palette")
          : AppFolder() + (opened.layout == &archive::kShortLayout ? unpack::kShortPaletteTemplate
                                                                  : unpack::kLongPaletteTemplate);
  unpack::ImageExporter images(palette);

  ByteBuffer data;
  ByteBuffer converted;
  const auto& entries = reader.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!selection.selected[i]) continue;
    const archive::Entry& entry = entries[i];
    CurrentContext().item = entry.name;
    const bool image = !raw && archive::IsImageEntryName(entry.name);
    if (toOutput && image) {
      reader.ReadData(entry, data);
      converted.clear();
      TQxArrayStream stream(converted);
      images.ExportImage(data, stream);
      WriteOut(converted.data(), converted.size());
      continue;
    }
    if (toOutput) {
      reader.CopyData(entry, [](const std::uint8_t* piece, std::size_t size) { WriteOut(piece, size); });
      continue;
    }
    if (!archive::IsSafeEntryName(entry.name, os::RefusesDeviceNames())) {
      WriteError(path + ": " + Quoted(entry.name) + ": unsafe entry name, not extracted");
      status = kExitFailure;
      continue;
    }
    unpack::WriteEntryFile(reader, entry, raw ? nullptr : &images, folder, data);
  }
  CurrentContext().item.clear();
  return status;
}

}  // namespace qx::manager
