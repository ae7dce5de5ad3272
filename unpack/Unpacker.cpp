#include "Unpacker.h"

#include "ArchiveReader.h"
#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::unpack {

void WriteEntryFile(ImageExporter& images, const std::string& entryName, const ByteBuffer& data,
                    const std::string& folder) {
  const std::string path = folder + archive::OutputNameOf(entryName);
  if (archive::IsImageEntryName(entryName)) {
    images.ExportImage(data, path);
  } else {
    SaveWholeFile(path, data);
  }
}

void UnpackArchive(ToolRun& run, const UnpackerProgram& program, const std::string& archivePath,
                   const std::string& folder) {
  archive::ArchiveReader reader(archivePath, program.layout);
  // A folder that cannot be made shows up as the failure of the first write.
  ForceFolder(folder);

  ImageExporter images(AppFolder() + program.paletteTemplate);
  ByteBuffer data;
  for (const archive::Entry& entry : reader.Entries()) {
    run.current = entry.name;
    if (!archive::IsSafeEntryName(entry.name, os::RefusesDeviceNames())) {
      throw Exception("Unsafe entry name");
    }
    if (archive::IsImageEntryName(entry.name)) {
      reader.ReadData(entry, data);
      WriteEntryFile(images, entry.name, data, folder);
      continue;
    }
    // Plain entries go to their file piece by piece, so memory does not grow
    // with the entry. An entry outside the file is refused before its file is
    // made.
    if (!reader.InBounds(entry)) throw EReadError(kStreamReadError);
    TQxOutputFile out(folder + archive::OutputNameOf(entry.name));
    reader.CopyData(entry, [&out](const std::uint8_t* piece, std::size_t size) { out.Write(piece, size); });
    out.Close();
  }
  run.current.clear();
}

int RunUnpacker(const UnpackerProgram& program, int argc, char** argv) {
  return RunTool(program.name, argc, argv,
                 [&program](ToolRun& run, const std::string& archivePath, const std::string& folder) {
                   UnpackArchive(run, program, archivePath, folder);
                 });
}

}  // namespace qx::unpack
