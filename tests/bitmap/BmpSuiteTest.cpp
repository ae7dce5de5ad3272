#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "BmpFixtures.h"

namespace qx::test {
namespace {

const std::map<std::string, PixelFormat> kFormatNames = {
    {"Device", PixelFormat::Device}, {"Bits1", PixelFormat::Bits1},   {"Bits4", PixelFormat::Bits4},
    {"Bits8", PixelFormat::Bits8},   {"Bits15", PixelFormat::Bits15}, {"Bits16", PixelFormat::Bits16},
    {"Bits24", PixelFormat::Bits24}, {"Bits32", PixelFormat::Bits32}, {"Custom", PixelFormat::Custom},
};

struct Row {
  std::string file;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::string format;
  std::string expected;
};

std::vector<Row> ReadExpected() {
  std::ifstream in(SharedPath("testdata/bmpsuite/expected.tsv"));
  std::vector<Row> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Row row;
    std::string bits, width, height;
    std::getline(fields, row.file, '\t');
    std::getline(fields, bits, '\t');
    std::getline(fields, width, '\t');
    std::getline(fields, height, '\t');
    std::getline(fields, row.format, '\t');
    std::getline(fields, row.expected);
    row.width = std::stoi(width);
    row.height = std::stoi(height);
    rows.push_back(row);
  }
  return rows;
}

// The raw image record a packer stores: 21 00, width, height, then the
// pixels top row first.
Bytes Record(TBitmap& bitmap) {
  return test::Record(static_cast<std::uint16_t>(bitmap.Width()), static_cast<std::uint16_t>(bitmap.Height()),
                      Pixels(bitmap));
}

TEST(BmpSuite, EveryImageLoadsAsTheTableSays) {
  const std::vector<Row> rows = ReadExpected();
  ASSERT_GE(rows.size(), 27u);
  const std::string recordPrefix = "record sha256=";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    Bytes file = ReadFile(SharedPath("testdata/bmpsuite/" + row.file));
    TQxArrayStream stream(file);
    const auto bitmap = LoadBitmap(stream);
    EXPECT_EQ(bitmap->Width(), row.width);
    EXPECT_EQ(bitmap->Height(), row.height);
    ASSERT_EQ(kFormatNames.count(row.format), 1u) << row.format;
    EXPECT_EQ(DetectPixelFormat(*bitmap), kFormatNames.at(row.format));
    if (row.expected.rfind(recordPrefix, 0) == 0) {
      EXPECT_EQ(Sha256Hex(Record(*bitmap)), row.expected.substr(recordPrefix.size()));
    }
  }
}

}  // namespace
}  // namespace qx::test
