// The pieces of qxarc's command line that need no process: patterns, option
// parsing and JSON strings.
#include <gtest/gtest.h>

#include "Cli.h"

namespace qx::manager {
namespace {

TEST(Patterns, StarAndQuestionMarkMatchBytes) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  for (const Case& c : {Case{"*", "", true}, Case{"*", "any.txt", true}, Case{"*.bmp", "a.bmp", true},
                        Case{"*.bmp", "a.BMP", false}, Case{"a?c", "abc", true}, Case{"a?c", "ac", false},
                        Case{"a*b*c", "aXbYbZc", true}, Case{"a*b*c", "aXbYbZ", false},
                        Case{"*a*", "bbb", false}, Case{"\xe9*", "\xe9t\xe9", true},
                        Case{"x", "xx", false}, Case{"**", "q", true}}) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches);
  }
}

TEST(Arguments, OptionsAnywhereValuesTwoWaysAndTheEndOfOptions) {
  const std::vector<OptionSpec> specs{{"--layout", true}, {"-C", true}, {"-O", false}, {"--json", false}};
  const Arguments a = ParseArguments({"x.agg", "--layout=short", "-Cout", "-O", "--", "-name"}, specs);
  EXPECT_EQ(a.Value("--layout"), "short");
  EXPECT_EQ(a.Value("-C"), "out");
  EXPECT_TRUE(a.Flag("-O"));
  EXPECT_EQ(a.operands, (std::vector<std::string>{"x.agg", "-name"}));
  const Arguments b = ParseArguments({"--layout", "long", "-C", "d", "-"}, specs);
  EXPECT_EQ(b.Value("--layout"), "long");
  EXPECT_EQ(b.operands, std::vector<std::string>{"-"});
  EXPECT_THROW(ParseArguments({"--nope"}, specs), UsageError);
  EXPECT_THROW(ParseArguments({"-C"}, specs), UsageError);
  EXPECT_THROW(ParseArguments({"--json=1"}, specs), UsageError);
}

TEST(Json, BytesAreLatin1CharactersEscapedAsJsonRequires) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString(std::string("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
  EXPECT_EQ(JsonString("\xe9\xff\x80"), "\"\xc3\xa9\xc3\xbf\xc2\x80\"");
}

}  // namespace
}  // namespace qx::manager
