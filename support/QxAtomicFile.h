// A file that replaces its target path only once it is complete.
//
// The content is written to a temporary file in the target's folder (the
// target path plus a unique suffix), so the final move never crosses a
// volume. Commit closes the temporary file and moves it over the target;
// on every other path out (an exception, an early return) the temporary file
// is removed and an existing file at the target is left exactly as it was.
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

  // Closes the file and moves it over the target path. On failure the
  // temporary file is removed and "Cannot create file ..." is raised.
  void Commit();

 private:
  std::string targetPath_;
  std::string tempPath_;
  std::unique_ptr<TFileStream> stream_;
  bool done_ = false;
};

}  // namespace qx
