// The error kinds of the tools. Every failure is one of these, raised where
// it is detected and caught only at the top of each program, which shows its
// message text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qx {

// The common kind: an error that carries the message text shown to the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// An operating-system failure, with the platform's error code.
class EOSError : public Exception {
 public:
  EOSError(const std::string& message, std::uint32_t code) : Exception(message), code_(code) {}
  std::uint32_t Code() const { return code_; }

 private:
  std::uint32_t code_;
};

#define QX_DECLARE_ERROR(Name)                                        \
  class Name : public Exception {                                     \
   public:                                                            \
    explicit Name(const std::string& message) : Exception(message) {} \
  }

QX_DECLARE_ERROR(EFOpenError);
QX_DECLARE_ERROR(EFCreateError);
QX_DECLARE_ERROR(EReadError);
QX_DECLARE_ERROR(EWriteError);
QX_DECLARE_ERROR(EInvalidGraphic);
QX_DECLARE_ERROR(EInvalidOperation);
QX_DECLARE_ERROR(EAssertionFailed);
QX_DECLARE_ERROR(ERangeError);
QX_DECLARE_ERROR(EOutOfMemory);

#undef QX_DECLARE_ERROR

// Message texts shared by several modules.
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kRangeCheckError = "Range check error";
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kInvalidBitmap = "Bitmap image is not valid";

}  // namespace qx
