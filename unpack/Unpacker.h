// One unpacker for both archive layouts: writes every entry of an archive
// into a folder, image entries as BMP files.
#pragma once

#include <string>

#include "ArchiveFormat.h"
#include "ArchiveReader.h"
#include "ImageExport.h"
#include "QxProgram.h"

namespace qx::unpack {

// What tells one unpacking program from the other.
struct UnpackerProgram {
  const char* name;                // caption, usage and ":copyexe" name
  const archive::Layout& layout;   // where offset and size sit in an entry
  const char* paletteTemplate;     // file name beside the executable
};

// Writes one entry into `folder`: image entries converted through `images`
// under their output name (".bkg" entries get ".bmp"), other entries, and
// every entry when `images` is null, as stored under their own name. Plain
// bytes are copied piece by piece, so memory does not grow with the entry;
// `data` holds an image's record. An entry outside the file fails with
// "Stream read error" before its file is made.
void WriteEntryFile(archive::ArchiveReader& reader, const archive::Entry& entry, ImageExporter* images,
                    const std::string& folder, ByteBuffer& data);

// Unpacks the archive into `folder` (ending in a delimiter). `run.current`
// holds the name of the entry being written.
void UnpackArchive(ToolRun& run, const UnpackerProgram& program, const std::string& archivePath,
                   const std::string& folder);

// The whole program: command line, unpacking, messages; returns the exit status.
int RunUnpacker(const UnpackerProgram& program, int argc, char** argv);

}  // namespace qx::unpack
