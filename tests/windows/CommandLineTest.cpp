// How a process command line splits into parameters. Built on every platform:
// the splitter is plain code, and Windows runs it on GetCommandLineA.
#include <gtest/gtest.h>

#include "CommandLine.h"

namespace qx {
namespace {

using Parameters = std::vector<std::string>;

struct SplitCase {
  const char* commandLine;
  Parameters expected;
};

TEST(SplitCommandLine, SeparatorsQuotesAndBackslashes) {
  const SplitCase cases[] = {
      {"", {}},
      {"   ", {}},
      {"prog", {"prog"}},
      {"prog a.agg out", {"prog", "a.agg", "out"}},
      // Blanks and control characters both separate; runs of them count once.
      {"  prog \t a.agg\x01\x1F" "out\r\n", {"prog", "a.agg", "out"}},
      // Double quotes group blanks and are dropped, also inside a parameter.
      {"\"C:\\Program Files\\q\\Fennbind.exe\" \"my dir\\a b.agg\" out",
       {"C:\\Program Files\\q\\Fennbind.exe", "my dir\\a b.agg", "out"}},
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"prog \" \"", {"prog", " "}},
      // A backslash is an ordinary byte, even right before a closing quote.
      {"prog \"C:\\dir\\\" x", {"prog", "C:\\dir\\", "x"}},
      {"prog a\\\"b\"", {"prog", "a\\b"}},
      // An unterminated group runs to the end of the line.
      {"prog \"open group", {"prog", "open group"}},
      // Bytes above 0x7F belong to parameters (code-page text).
      {"prog \xE9t\xE9.agg", {"prog", "\xE9t\xE9.agg"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.commandLine);
    EXPECT_EQ(SplitCommandLine(c.commandLine), c.expected);
  }
}

TEST(SplitCommandLine, QuotePairsAtTheStartOfAParameterAreSkipped) {
  const SplitCase cases[] = {
      // "" at the start of a parameter is skipped like a blank, so an empty
      // parameter can never be given: the next one takes its place.
      {"prog \"\" a.agg", {"prog", "a.agg"}},
      {"prog \"\"\"\" a.agg", {"prog", "a.agg"}},
      {"prog \"\"a.agg", {"prog", "a.agg"}},
      {"prog a.agg \"\"", {"prog", "a.agg"}},
      // Inside a parameter a pair is an empty group and simply vanishes.
      {"prog a\"\"b", {"prog", "ab"}},
      // A lone quote at the end is an empty parameter, which ends the list.
      {"prog a.agg \"", {"prog", "a.agg"}},
      {"prog \"\"\"", {"prog"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.commandLine);
    EXPECT_EQ(SplitCommandLine(c.commandLine), c.expected);
  }
}

}  // namespace
}  // namespace qx
