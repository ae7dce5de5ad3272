#include "CommandLine.h"

#include <cstdint>

namespace qx {

namespace {

constexpr char kQuote = '"';
// Bytes up to and including the blank separate parameters.
constexpr std::uint8_t kLastSeparator = 0x20;

bool IsSeparator(char c) {
  const auto byte = static_cast<std::uint8_t>(c);
  return byte != 0 && byte <= kLastSeparator;
}

// Continues a parameter while the byte is neither the end nor a separator.
bool IsParameterByte(char c) { return static_cast<std::uint8_t>(c) > kLastSeparator; }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> parameters;
  // c_str() gives a terminating NUL, so every look-ahead below stays inside
  // the buffer; an embedded NUL ends the command line as it would in C.
  const char* p = commandLine.c_str();
  for (;;) {
    for (;;) {
      while (IsSeparator(*p)) ++p;
      if (p[0] == kQuote && p[1] == kQuote) {
        p += 2;
      } else {
        break;
      }
    }
    std::string parameter;
    while (IsParameterByte(*p)) {
      if (*p == kQuote) {
        ++p;
        while (*p != '\0' && *p != kQuote) parameter += *p++;
        if (*p != '\0') ++p;
      } else {
        parameter += *p++;
      }
    }
    if (parameter.empty()) return parameters;
    parameters.push_back(std::move(parameter));
  }
}

}  // namespace qx
