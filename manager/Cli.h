// The command-line machinery of qxarc: options and operands, usage errors,
// output on standard output, one-line messages on standard error, and the
// archive a command works on (its layout given or detected).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "QxExceptions.h"

namespace qx::manager {

inline constexpr const char* kProgramName = "qxarc";
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A command line the command cannot take: reported with the usage, exit 2.
class UsageError : public Exception {
 public:
  explicit UsageError(const std::string& message) : Exception(message) {}
};

// One command's options: which take a value, which are plain flags.
struct OptionSpec {
  std::string name;  // "--layout", "-C", "-O"
  bool takesValue;
};

// The parsed command line of one command.
struct Arguments {
  std::map<std::string, std::string> values;  // options with a value
  std::map<std::string, bool> flags;          // options without one
  std::vector<std::string> operands;
  bool help = false;

  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
  bool Has(const std::string& name) const { return values.count(name) != 0; }
  const std::string& Value(const std::string& name) const { return values.at(name); }
};

// Options may come before, between or after operands ("--" ends them);
// "--name=value" and "--name value" are the same; "--help" is always known.
Arguments ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs);

// ---- Output -------------------------------------------------------------------

// Bytes and lines on standard output (raises on a failed write, so a full
// disk or closed pipe is not reported as success).
void WriteOut(const void* data, std::size_t size);
void WriteOut(const std::string& text);
// One line on standard error: "qxarc: " + text; CR LF pairs inside the text
// become blanks so that every message stays on one line.
void WriteError(const std::string& text);
// Sends the messages of WriteError to another stream (tools that run the
// commands in-process, such as the fuzz targets, keep them quiet).
void SetMessageStream(std::FILE* stream);

// A name in a message, between single quotes.
std::string Quoted(const std::string& name);

// What a command works on, for the message of a failure that ends it: the
// archive and, while one is handled, the entry or file.
struct Context {
  std::string archive;
  std::string item;
};
Context& CurrentContext();
// "ARCHIVE: 'ITEM': message", with the parts that are set.
std::string InContext(const std::string& message);

// ---- Archives -------------------------------------------------------------------

// "long" or "short" for --layout; a usage error for anything else.
const archive::Layout* LayoutOption(const Arguments& args);

// The archive a command reads: its layout as given, or as detected. An
// archive whose layout cannot be told fails with a message that asks for
// --layout.
struct OpenedArchive {
  std::unique_ptr<TFileStream> file;
  const archive::Layout* layout = nullptr;
  bool empty = false;  // count 0: the same archive in both layouts
};
OpenedArchive OpenArchive(const std::string& path, const archive::Layout* given);

// ---- Names ----------------------------------------------------------------------

// True when `name` matches `pattern`, byte for byte, where "*" matches any
// run of bytes and "?" any one byte.
bool MatchesPattern(const std::string& pattern, const std::string& name);

// Which entries the NAME operands select (all when there are none), and the
// operands that selected nothing, in operand order.
struct Selection {
  std::vector<bool> selected;
  std::vector<std::string> unmatched;
};
Selection SelectEntries(const std::vector<archive::Entry>& entries,
                        const std::vector<std::string>& patterns);

// JSON string literal for a byte string: each byte b is the character U+00bb.
std::string JsonString(const std::string& bytes);

}  // namespace qx::manager
