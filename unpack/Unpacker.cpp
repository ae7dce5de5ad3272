#include "Unpacker.h"

#include "Endian.h"
#include "ImageExport.h"
#include "QxExceptions.h"
#include "QxStreams.h"
#include "QxSysUtils.h"

namespace qx::unpack {

namespace {

constexpr const char* kAddedImageExtension = ".bmp";

// Reads `length` bytes at `offset` into `buffer`, refusing ranges that run
// past the end of the file before anything of that size is allocated.
// `position` is the stream's position, kept up to date here: entries written
// back to back are read without a seek between them.
void ReadRange(TStream& in, std::int64_t fileSize, std::uint64_t offset, std::uint64_t length,
               ByteBuffer& buffer, std::int64_t& position) {
  if (offset > static_cast<std::uint64_t>(fileSize) ||
      length > static_cast<std::uint64_t>(fileSize) - offset) {
    throw EReadError(kStreamReadError);
  }
  buffer.resize(static_cast<std::size_t>(length));
  if (length == 0) return;
  if (position != static_cast<std::int64_t>(offset)) {
    if (in.Seek(static_cast<std::int64_t>(offset), SeekOrigin::Beginning) !=
        static_cast<std::int64_t>(offset)) {
      throw EReadError(kStreamReadError);
    }
  }
  position = -1;
  in.ReadBuffer(buffer.data(), static_cast<std::int64_t>(length));
  position = static_cast<std::int64_t>(offset + length);
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    const std::string component = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (component == ".." || os::IsReservedDeviceName(component)) return false;
    if (end == std::string::npos) return !component.empty() && component != ".";
    start = end + 1;
  }
}

void UnpackArchive(ToolRun& run, const UnpackerProgram& program, const std::string& archivePath,
                   const std::string& folder) {
  const archive::Layout& layout = program.layout;
  TFileStream in(archivePath, TFileStream::Mode::OpenRead);
  const std::int64_t fileSize = in.GetSize();
  if (fileSize < 0) throw EReadError(kStreamReadError);
  std::int64_t position = 0;

  ByteBuffer countField;
  ReadRange(in, fileSize, 0, archive::kCountSize, countField, position);
  const std::size_t count = GetU16(countField.data());
  ByteBuffer entries;
  ReadRange(in, fileSize, archive::kCountSize, count * layout.entrySize, entries, position);
  const std::uint64_t namesSize = count * archive::kNameSlotSize;
  if (namesSize > static_cast<std::uint64_t>(fileSize)) throw EReadError(kStreamReadError);
  ByteBuffer names;
  ReadRange(in, fileSize, static_cast<std::uint64_t>(fileSize) - namesSize, namesSize, names,
            position);

  // A folder that cannot be made shows up as the failure of the first write.
  ForceFolder(folder);

  ImageExporter images(program.paletteTemplate);
  ByteBuffer data;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = archive::SlotName(&names[i * archive::kNameSlotSize]);
    run.current = name;
    if (!IsSafeEntryName(name)) throw Exception("Unsafe entry name");
    const std::uint8_t* record = &entries[i * layout.entrySize];
    const std::uint32_t size = GetU32(record + layout.SizeField());
    // Resizing the previous entry's buffer instead of emptying it first
    // spares zero-filling bytes the read overwrites at once.
    if (size == 0) {
      data.clear();
    } else {
      ReadRange(in, fileSize, GetU32(record + layout.OffsetField()), size, data, position);
    }

    if (HasExtension(name, archive::kImageExtension)) {
      images.ExportImage(data, folder + name);
    } else if (HasExtension(name, archive::kBackgroundExtension)) {
      images.ExportImage(data, folder + name + kAddedImageExtension);
    } else {
      SaveWholeFile(folder + name, data);
    }
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
