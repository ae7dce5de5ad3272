// Small helpers shared by the tests: a temporary folder that removes itself,
// whole-file reads and writes, and paths of the shared test data and of the
// built programs.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "FixtureBytes.h"

namespace qx::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away. Path() ends without a delimiter.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
void MakeDir(const std::string& path);
// Names of the entries of a folder (without "." and ".."), sorted.
std::vector<std::string> ListDir(const std::string& path);

// ../shared/<relative>.
std::string SharedPath(const std::string& relative);
// build/<preset>/bin/<name>.
std::string BinPath(const std::string& name);

// The message of the error of kind Error that `action` raises, or
// "(no error)" when it raises none.
template <typename Error = std::exception, typename Action>
std::string MessageOf(Action&& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

// SHA-256 of bytes as lower-case hex.
std::string Sha256Hex(const Bytes& bytes);

}  // namespace qx::test
