// Runs the built programs in a fresh temporary folder and checks what they
// print, what they leave on disk and their exit status.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FixtureArchive.h"
#include "Platform.h"
#include "Process.h"
#include "TestKit.h"

namespace qx::test {

class ProgramTest : public ::testing::Test {
 protected:
  // Runs a program (by its bare name) with the temporary folder as current folder.
  ProcessResult Run(const std::string& program, const std::vector<std::string>& args) {
    return RunProcess(BinPath(program + os::ExecutableSuffix()), args, dir.Path());
  }

  // What a message box text looks like on standard output or error.
  static std::string Printed(const std::string& boxText) {
    std::string out;
    for (std::size_t i = 0; i < boxText.size(); ++i) {
      if (boxText.compare(i, 2, "\r\n") == 0) continue;
      out += boxText[i];
    }
    return out + "\n";
  }

  // An error box with exactly `text`, then exit status 1.
  static void ExpectError(const ProcessResult& r, const std::string& text) {
    EXPECT_EQ(r.exitCode, 1) << r.err;
    if (ProgramsPrintMessages()) {
      EXPECT_EQ(r.err, Printed(text));
      EXPECT_EQ(r.out, "");
    }
  }

  // Only the success box, then exit status 0.
  static void ExpectSuccess(const ProcessResult& r) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (ProgramsPrintMessages()) {
      EXPECT_EQ(r.out, "Operation succesful.\n");
      EXPECT_EQ(r.err, "");
    }
  }

  // The full path the programs show for a path relative to the test folder.
  std::string FullPath(const std::string& relative) const { return os::GetFullPathName(dir / relative); }

  // An error message that starts with `prefix` (the rest is system text).
  static void ExpectErrorStartingWith(const ProcessResult& r, const std::string& prefix) {
    EXPECT_EQ(r.exitCode, 1) << r.err;
    if (ProgramsPrintMessages()) {
      EXPECT_EQ(r.err.rfind(Printed(prefix).substr(0, Printed(prefix).size() - 1), 0), 0u) << r.err;
    }
  }

  static bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  TempDir dir;
};

}  // namespace qx::test
