#include <gtest/gtest.h>

#include "Platform.h"
#include "QxProgram.h"

namespace qx {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

TEST(Usage, SevenLinesWithTheProgramsOwnName) {
  const std::string text = UsageText("Morrloose");
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Morrloose v1.3.2");
  EXPECT_EQ(lines[1], "Usage: Morrloose" + os::ExecutableSuffix() + " Archive.agg [Folder]");
  EXPECT_EQ(lines[2], "Folder defaults to the archive name without extension.");
  EXPECT_EQ(lines[3], "");
  for (int i = 4; i < 7; ++i) EXPECT_FALSE(lines[i].empty());
  EXPECT_NE(text.substr(text.size() - 2), "\r\n");
}

}  // namespace
}  // namespace qx
