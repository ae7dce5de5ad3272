// The stream interface every stream of the tools implements, and the file
// stream on which the archive code and the BMP codec work.
#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

namespace qx {

enum class SeekOrigin : int { Beginning = 0, Current = 1, End = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Copies up to count bytes from the position; returns how many (0 at end).
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  // Copies count bytes to the position; returns how many were written.
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // Returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  // Plain form: remembers the position, seeks to the end and back.
  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  // Reads until count bytes have come or the stream has no more (as many
  // Read calls as needed); returns the number read. A short count is no
  // error here.
  std::int64_t ReadUpTo(void* buffer, std::int64_t count);
  // Reads exactly count bytes (as many Read calls as needed) or raises
  // "Stream read error".
  void ReadBuffer(void* buffer, std::int64_t count);
  // Writes exactly count bytes (as many Write calls as needed) or raises
  // "Stream write error".
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// A file opened through the platform. Owns its handle.
class TFileStream : public TStream {
 public:
  enum class Mode {
    OpenRead,  // existing file, read only, shared with nobody
    Create,    // created or truncated, read and write, shared with nobody;
               // a link at the name is replaced, never written through
  };
  // Raises "Cannot open file ..." or "Cannot create file ..." on failure.
  TFileStream(const std::string& name, Mode mode);
  // Takes ownership of a handle opened elsewhere.
  explicit TFileStream(os::Handle handle) : handle_(handle) {}
  ~TFileStream() override;

  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Returns -1 when the platform reports a failure; raises nothing.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t size) override;

  os::Handle Handle() const { return handle_; }
  // Closes the handle now and reports whether the system accepted the close
  // (a failed close can mean lost data). Later calls fail like calls on a
  // closed file.
  bool Close();

 private:
  os::Handle handle_ = os::InvalidHandle;
};

}  // namespace qx
