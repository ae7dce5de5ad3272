#include "Unpacker.h"

#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::unpack {

void WriteEntryFile(archive::ArchiveReader& reader, const archive::Entry& entry, ImageExporter* images,
                    const std::string& folder, ByteBuffer& data) {
  if (images != nullptr && archive::IsImageEntryName(entry.name)) {
    reader.ReadData(entry, data);
    images->ExportImage(data, folder + archive::OutputNameOf(entry.name));
    return;
  }
  if (!reader.InBounds(entry)) throw EReadError(kStreamReadError);
  TQxOutputFile out(folder + (images != nullptr ? archive::OutputNameOf(entry.name) : entry.name));
  reader.CopyData(entry, out);
  out.Close();
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
    WriteEntryFile(reader, entry, &images, folder, data);
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
