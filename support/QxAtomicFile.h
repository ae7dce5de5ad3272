// A file that replaces its target path only once it is complete and durable.
//
// The content is written to a temporary file in the target's folder, so the
// final move never crosses a volume. Where the system offers unnamed files
// (Linux), the temporary file has no name until Commit, so a process killed
// while writing leaves nothing behind; elsewhere it is the target path plus
// a unique suffix. Commit makes the data durable, gives the file its
// temporary name if it has none yet, moves it over the target and then makes
// the folder durable, so after a power cut the target holds the old content
// or the complete new one. On every other path out (an exception, an early
// return) the temporary file is removed and an existing file at the target
// is left exactly as it was.
#pragma once

#include <memory>
#include <string>

#include "QxStreams.h"

namespace qx {

class TQxAtomicFile {
 public:
  // Raises "Cannot create file ..." for the target's full path when the
  // target names a folder or no temporary file can be created beside it.
  explicit TQxAtomicFile(const std::string& targetPath);
  ~TQxAtomicFile();
  TQxAtomicFile(const TQxAtomicFile&) = delete;
  TQxAtomicFile& operator=(const TQxAtomicFile&) = delete;

  // The stream to write the content through (read and write, seekable).
  TFileStream& Stream() { return *stream_; }

  // Makes the data durable, closes the file and moves it over the target
  // path, then makes the folder durable. On failure the temporary file is
  // removed and "Cannot create file ..." is raised.
  void Commit();

 private:
  // The folder to make durable and create unnamed files in.
  std::string Folder() const;
  // Gives the unnamed file a unique temporary name; false when no name
  // could be given.
  bool NameTemporary();

  std::string targetPath_;
  std::string tempPath_;
  std::unique_ptr<TFileStream> stream_;
  // True while the temporary file is an unnamed one (tempPath_ is empty).
  bool unnamed_ = false;
  bool done_ = false;
};

}  // namespace qx
