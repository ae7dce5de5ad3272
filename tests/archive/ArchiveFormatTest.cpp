#include <gtest/gtest.h>

#include "ArchiveFormat.h"

namespace qx::archive {
namespace {

TEST(NameHash, WorkedExamples) {
  EXPECT_EQ(NameHash("abc"), 0x231E7u);
  EXPECT_EQ(NameHash("ABC"), 0x231E7u);
  EXPECT_EQ(NameHash("a"), 0x82u);
  EXPECT_EQ(NameHash(""), 0u);
}

TEST(NameHash, FoldsOnlyLowerCaseLetters) {
  // "{" (0x7B) and "`" (0x60) lie just outside a..z and keep their value.
  EXPECT_NE(NameHash("{"), NameHash("["));
  EXPECT_NE(NameHash("`"), NameHash("@"));
  EXPECT_EQ(NameHash("sky.bkg"), NameHash("SKY.BKG"));
}

TEST(NameHash, RightShiftIsBy25NotARotation) {
  // Long names push bits 25 and 26 through both shifted terms; a rotate by
  // 27 would give a different value for the same input.
  const std::string name = "averylongname1";
  std::uint32_t h = 0, s = 0, r = 0, rs = 0;
  for (auto it = name.rbegin(); it != name.rend(); ++it) {
    std::uint32_t k = static_cast<std::uint8_t>(*it);
    if (k >= 'a' && k <= 'z') k -= 0x20;
    s += k;
    h = k + s + (h << 5) + (h >> 25);
    rs += k;
    r = k + rs + ((r << 5) | (r >> 27));
  }
  EXPECT_EQ(NameHash(name), h);
  EXPECT_NE(NameHash(name), r);
}

TEST(HashId, WorkedExamples) {
  EXPECT_EQ(HashId("abc"), 0x7ABC);
  EXPECT_EQ(HashId("ABC"), 0x7ABC);
  EXPECT_EQ(HashId("a"), 0xFFBF);
  EXPECT_EQ(HashId("A"), 0xFFBF);
  EXPECT_EQ(HashId("\xE1"), 0xFFBF);
  EXPECT_EQ(HashId(""), 0);
}

TEST(HashId, StopsAtTheFirstZeroByteButNotAt0x80) {
  EXPECT_EQ(HashId(std::string("ab\0cd", 5)), HashId("ab"));
  // 0x80 drops to 0: it rotates h and subtracts nothing.
  const std::uint16_t a = HashId("a");
  EXPECT_EQ(HashId("a\x80"), static_cast<std::uint16_t>((a << 9) | (a >> 7)));
}

TEST(HashId, BracesFoldOntoBrackets) {
  EXPECT_EQ(HashId("x[1].dat"), HashId("x{1}.dat"));
}

TEST(SlotName, UpToTheFirstZeroOrAllFifteenBytes) {
  const std::uint8_t full[15] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o'};
  EXPECT_EQ(SlotName(full), "abcdefghijklmno");
  const std::uint8_t cut[15] = {'a', 'b', 0, 'x', 'y'};
  EXPECT_EQ(SlotName(cut), "ab");
}

TEST(Layouts, FieldPositions) {
  EXPECT_EQ(kLongLayout.entrySize, 12u);
  EXPECT_EQ(kLongLayout.OffsetField(), 4u);
  EXPECT_EQ(kLongLayout.SizeField(), 8u);
  EXPECT_EQ(kShortLayout.entrySize, 10u);
  EXPECT_EQ(kShortLayout.OffsetField(), 2u);
  EXPECT_EQ(kShortLayout.SizeField(), 6u);
}

}  // namespace
}  // namespace qx::archive
