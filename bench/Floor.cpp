// The floor the packers and unpackers are measured against: the least work a
// program can do for the same job on Linux, with nothing but the system calls
// the job cannot do without.
//
//   qx_floor pack OUTPUT FOLDER    opens, reads and closes every regular file
//                                  of FOLDER (kinds from readdir, no stat)
//                                  and gathers their bytes into 1 MiB writes
//                                  to OUTPUT
//   qx_floor unpack ARCHIVE FOLDER reads the tables of an archive, then its
//                                  data in pieces of 8 MiB in offset order,
//                                  and opens, writes, closes one file per
//                                  entry in FOLDER
//
// No names are checked, no archive tables are written, nothing is made
// durable: it is a yardstick, not a tool. A benchmark helper for Linux only;
// it calls the system directly on purpose, so it is built only there.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "QxStreams.h"

namespace {

constexpr std::size_t kGather = 1u << 20;
constexpr std::size_t kPiece = 8u << 20;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put <= 0) Fail("write");
    data += put;
    size -= static_cast<std::size_t>(put);
  }
}

void Pack(const std::string& output, const std::string& folder) {
  const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) Fail("open " + output);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) Fail("opendir " + folder);
  const int dirFd = dirfd(dir);
  std::vector<std::uint8_t> gather(kGather);
  std::size_t used = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_type != DT_REG) continue;
    const int in = openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC);
    if (in < 0) Fail(std::string("open ") + entry->d_name);
    for (;;) {
      if (used == gather.size()) {
        WriteAll(out, gather.data(), used);
        used = 0;
      }
      const std::size_t room = gather.size() - used;
      const ssize_t got = read(in, gather.data() + used, room);
      if (got < 0) Fail(std::string("read ") + entry->d_name);
      used += static_cast<std::size_t>(got);
      // A short read of a regular file is its end: no read of 0 bytes to
      // confirm it.
      if (static_cast<std::size_t>(got) < room) break;
    }
    close(in);
  }
  closedir(dir);
  WriteAll(out, gather.data(), used);
  if (close(out) != 0) Fail("close " + output);
}

void Unpack(const std::string& archivePath, const std::string& folder) {
  std::vector<qx::archive::Entry> entries;
  {
    qx::TFileStream stream(archivePath, qx::TFileStream::Mode::OpenRead);
    const qx::archive::Detection found = qx::archive::DetectLayout(stream);
    if (found.layout == nullptr) throw std::runtime_error("not an archive: " + archivePath);
    stream.Seek(0, qx::SeekOrigin::Beginning);
    qx::archive::ArchiveReader reader(stream, *found.layout);
    entries = reader.Entries();
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.offset < b.offset; });
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) Fail("mkdir " + folder);
  const int in = open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) Fail("open " + archivePath);
  const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) Fail("open " + folder);
  std::vector<std::uint8_t> piece(kPiece);
  std::uint64_t pieceStart = 0;  // archive offset of piece[0]
  std::size_t pieceSize = 0;
  for (const auto& entry : entries) {
    const int out = openat(dirFd, entry.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) Fail("open " + entry.name);
    std::uint64_t at = entry.offset;
    std::uint64_t left = entry.size;
    while (left > 0) {
      if (at < pieceStart || at >= pieceStart + pieceSize) {
        const ssize_t got = pread(in, piece.data(), piece.size(), static_cast<off_t>(at));
        if (got <= 0) Fail("read " + archivePath);
        pieceStart = at;
        pieceSize = static_cast<std::size_t>(got);
      }
      const std::size_t from = static_cast<std::size_t>(at - pieceStart);
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left, pieceSize - from));
      WriteAll(out, piece.data() + from, take);
      at += take;
      left -= take;
    }
    if (close(out) != 0) Fail("close " + entry.name);
  }
  close(dirFd);
  close(in);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "pack") != 0 && std::strcmp(argv[1], "unpack") != 0)) {
    std::fprintf(stderr, "usage: qx_floor pack OUTPUT FOLDER | qx_floor unpack ARCHIVE FOLDER\n");
    return 2;
  }
  try {
    if (std::strcmp(argv[1], "pack") == 0) {
      Pack(argv[2], argv[3]);
    } else {
      Unpack(argv[2], argv[3]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx_floor: %s\n", e.what());
    return 1;
  }
  return 0;
}
