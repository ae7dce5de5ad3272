// One packer for both archive layouts: lists a flat folder and writes every
// file into a new archive, replacing the archive only once it is complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveFormat.h"
#include "ArchiveWriter.h"
#include "QxProgram.h"

namespace qx::pack {

// What tells one packing program from the other.
struct PackerProgram {
  const char* name;                // caption, usage and ":copyexe" name
  const archive::Layout& layout;   // entry size and hash
  bool reportCollisions;           // list files whose hash IDs are equal
};

// One listed file of the folder.
struct ListedFile {
  std::string name;  // bare name as the system reported it
  bool sizeKnown = true;
  std::uint64_t size = 0;   // meaningful when sizeKnown
  std::uint64_t index = 0;  // the file's index on its volume; 0 when not reported
};

// The files of a folder (ending in a delimiter), in the order the system
// enumerates them; folders are not entered and not listed.
std::vector<ListedFile> ListFolder(const std::string& folder);

// Refuses more files than an archive can count: "Too many files: N (at most
// 65535)".
void RefuseTooManyFiles(std::size_t count);

// Adds the file at `path` as the writer's next entry, named after its bare
// name: a ".bmp" file converted into an image record (through `data`), any
// other file copied byte for byte in bounded memory. Returns the name as its
// slot holds it.
std::string AddFileAsStored(archive::ArchiveWriter& writer, const std::string& path,
                            const std::string& bareName, ByteBuffer& data);

// Packs the listed files of `folder`, in the order given, into a new archive
// at `archivePath`: ".bmp" files converted into image records, every other
// file byte for byte. Refuses more than 65535 files and a listed file that is
// the archive itself before anything is written. `current` holds the path of
// the file being packed while it is worked on, and is cleared once the data
// and the tables are written; the archive replaces the file at its path only
// when complete. Returns the hash ID of each entry, in table order, when the
// layout stores hash IDs (short), and nothing for the long layout.
std::vector<std::uint16_t> PackFiles(std::string& current, const archive::Layout& layout,
                                     const std::string& archivePath, const std::string& folder,
                                     const std::vector<ListedFile>& files);

// Packs the listed files of `folder` into `archivePath` and shows the
// collision report when the program makes one. `run.current` holds the path
// of the file being packed while it is worked on.
void WriteArchive(ToolRun& run, const PackerProgram& program, const std::string& archivePath,
                  const std::string& folder, const std::vector<ListedFile>& files);

// The entries that share a hash ID: one group per shared ID, in the order of
// the groups' first entries, each group's indices in increasing order.
std::vector<std::vector<std::size_t>> SharedIdGroups(const std::vector<std::uint16_t>& ids);

// The text that lists the files sharing a hash ID, or "" when none do.
// `ids[i]` belongs to `files[i]`.
std::string CollisionReport(const std::vector<std::uint16_t>& ids,
                            const std::vector<ListedFile>& files);

// The whole program: command line, packing, messages; returns the exit status.
int RunPacker(const PackerProgram& program, int argc, char** argv);

}  // namespace qx::pack
