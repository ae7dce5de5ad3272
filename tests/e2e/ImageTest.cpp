// Images through the programs: BMP files packed as raw records, records
// unpacked as BMP files with the palette template's colours.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "FixtureBmp.h"
#include "ProgramFixture.h"

namespace qx::test {
namespace {

struct Tool {
  const char* packer;
  const char* unpacker;
  const char* paletteTemplate;
  std::size_t entrySize;
};

const Tool kTools[] = {{"Fennbind", "Fennloose", "H2Palette.bmp", kLongEntry},
                       {"Morrbind", "Morrloose", "H1Palette.bmp", kShortEntry}};

Bytes Indices(std::int32_t width, std::int32_t height, unsigned seed) {
  Bytes b(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 37 + seed * 11 + (i >> 3));
  return b;
}

class ImageTest : public ProgramTest, public ::testing::WithParamInterface<Tool> {
 protected:
  const Tool& T() const { return GetParam(); }

  // Packs one file and returns the data the archive stores for it.
  Bytes PackOne(const std::string& name, const Bytes& content, ProcessResult* result = nullptr) {
    MakeDir(dir / "One");
    for (const std::string& old : ListDir(dir / "One")) std::remove((dir / ("One/" + old)).c_str());
    std::remove((dir / "one.agg").c_str());
    WriteFile(dir / ("One/" + name), content);
    const ProcessResult r = Run(T().packer, {"one.agg", "One"});
    if (result != nullptr) *result = r;
    if (r.exitCode != 0) return {};
    const Bytes archive = ReadFile(dir / "one.agg");
    const std::vector<ParsedEntry> entries = ParseArchive(archive, T().entrySize);
    if (entries.size() != 1) return {};
    return Bytes(archive.begin() + entries[0].offset, archive.begin() + entries[0].offset + entries[0].size);
  }

  // Puts a copy of the unpacker into `folder` with `templ` as its palette
  // template (none when templ is empty and `writeTemplate` is false).
  std::string UnpackerWithTemplate(const std::string& folder, const Bytes& templ, bool writeTemplate = true) {
    MakeDir(dir / folder);
    const std::string exe = dir / (folder + "/" + T().unpacker + os::ExecutableSuffix());
    WriteFile(exe, ReadFile(BinPath(std::string(T().unpacker) + os::ExecutableSuffix())));
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
    if (writeTemplate) WriteFile(dir / (folder + "/" + T().paletteTemplate), templ);
    return exe;
  }
};

// ---- Packing ---------------------------------------------------------------

TEST_P(ImageTest, EveryAcceptedFormOfAn8BitBmpGivesTheSameRecord) {
  const std::int32_t w = 5, h = 3;
  const Bytes pixels = Indices(w, h, 1);
  const Bytes record = Record(w, h, pixels);
  struct Form {
    const char* what;
    BmpPicture picture;
  };
  std::vector<Form> forms;
  BmpPicture base{w, h, pixels, Greys(256)};
  forms.push_back({"bottom-up", base});
  BmpPicture top = base;
  top.topDown = true;
  forms.push_back({"top-down", top});
  BmpPicture rle = base;
  rle.rle8 = true;
  forms.push_back({"RLE8", rle});
  BmpPicture rleTop = rle;
  rleTop.topDown = true;
  forms.push_back({"RLE8 top-down", rleTop});
  BmpPicture core = base;
  core.core = true;
  forms.push_back({"core header", core});
  BmpPicture few = base;
  few.palette = Greys(16);
  forms.push_back({"16 colours", few});
  BmpPicture zeroUsed = base;
  zeroUsed.clrUsed = 0;
  forms.push_back({"colours used 0", zeroUsed});
  for (const Form& form : forms) {
    SCOPED_TRACE(form.what);
    EXPECT_EQ(PackOne("pic.bmp", MakeBmp(form.picture)), record);
  }
  // A larger (124-byte) header and a wrong image size field.
  Bytes v5 = MakeBmp(base);
  v5.insert(v5.begin() + 54, 84, 0);
  v5[14] = 124;
  v5[10] = static_cast<std::uint8_t>(v5[10] + 84);
  v5[34] = 0xEE;  // biSizeImage, wrong on purpose
  EXPECT_EQ(PackOne("v5.bmp", v5), record);
}

TEST_P(ImageTest, TestSuiteImagesGiveTheExpectedRecordsOrAreRefused) {
  std::ifstream tsv(SharedPath("testdata/bmpsuite/expected.tsv"));
  ASSERT_TRUE(tsv.good());
  std::string line;
  int checked = 0;
  while (std::getline(tsv, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string file, bits, width, height, format, outcome;
    std::getline(fields, file, '\t');
    std::getline(fields, bits, '\t');
    std::getline(fields, width, '\t');
    std::getline(fields, height, '\t');
    std::getline(fields, format, '\t');
    std::getline(fields, outcome);
    SCOPED_TRACE(file);
    ProcessResult r;
    const Bytes stored = PackOne(file, ReadFile(SharedPath("testdata/bmpsuite/" + file)), &r);
    if (outcome.rfind("record sha256=", 0) == 0) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(Sha256Hex(stored), outcome.substr(14));
    } else {
      ASSERT_EQ(outcome, "error \"Wrong bitmap format\"");
      ExpectError(r, "Wrong bitmap format.\r\nOne" + std::string(1, os::PathDelimiter()) + file);
      EXPECT_FALSE(FileExists(dir / "one.agg"));
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

TEST_P(ImageTest, NamesOfImagesAndBackgrounds) {
  MakeDir(dir / "N");
  const Bytes bmp = MakeBmp({2, 2, Bytes{1, 2, 3, 4}, Greys(4)});
  const Bytes rec = Record(2, 2, Bytes{1, 2, 3, 4});
  WriteFile(dir / "N/Sky.bkg.bmp", bmp);
  WriteFile(dir / "N/Sea.bkg", rec);  // already a record, stored unchanged
  WriteFile(dir / "N/Sun.BMP", bmp);
  WriteFile(dir / "N/MOON.BKG.BMP", bmp);
  ExpectSuccess(Run(T().packer, {"n.agg", "N"}));
  const Bytes archive = ReadFile(dir / "n.agg");
  std::map<std::string, Bytes> stored;
  for (const ParsedEntry& e : ParseArchive(archive, T().entrySize)) {
    stored[e.name] = Bytes(archive.begin() + e.offset, archive.begin() + e.offset + e.size);
  }
  EXPECT_EQ(stored, (std::map<std::string, Bytes>{{"MOON.BKG", rec}, {"Sea.bkg", rec}, {"Sky.bkg", rec}, {"Sun.BMP", rec}}));
}

TEST_P(ImageTest, OnlyASixByteFileStartingWith0x21PassesThrough) {
  const Bytes six = {0x21, 0, 0, 0, 0, 0};
  EXPECT_EQ(PackOne("raw.bmp", six), six);
  const Bytes odd = {0x21, 0x99, 5, 0, 5, 0, 1};  // other bytes are not checked
  EXPECT_EQ(PackOne("odd.bmp", odd), odd);
  ProcessResult r;
  PackOne("five.bmp", {0x21, 0, 0, 0, 0}, &r);
  ExpectError(r, "Stream read error.\r\nOne" + std::string(1, os::PathDelimiter()) + "five.bmp");
}

TEST_P(ImageTest, ImagesWiderThanARecordAreRefused) {
  BmpPicture wide{70000, 1, Bytes(70000, 7), Greys(2)};
  ProcessResult r;
  PackOne("wide.bmp", MakeBmp(wide), &r);
  ExpectError(r, "Wrong bitmap format.\r\nOne" + std::string(1, os::PathDelimiter()) + "wide.bmp");
}

TEST_P(ImageTest, FailedImageLeavesThePreviousArchive) {
  MakeDir(dir / "D");
  for (int i = 0; i < 4; ++i) WriteFile(dir / ("D/f" + std::to_string(i) + ".txt"), Indices(100, 100, i));
  BmpPicture rgb{2, 2, Bytes(12, 9), {}};
  rgb.bitCount = 24;
  WriteFile(dir / "D/colour.bmp", MakeBmp(rgb));
  WriteFile(dir / "d.agg", "previous");
  ExpectError(Run(T().packer, {"d.agg", "D"}), "Wrong bitmap format.\r\nD" + std::string(1, os::PathDelimiter()) + "colour.bmp");
  EXPECT_EQ(ReadFile(dir / "d.agg"), B("previous"));
  EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"D", "d.agg"}));
}

// ---- Unpacking -------------------------------------------------------------

TEST_P(ImageTest, ExportWritesTheTemplatesKindColoursAndFields) {
  const Bytes a = Indices(3, 2, 1), b = Indices(5, 4, 2);
  struct Case {
    const char* what;
    BmpPicture templ;
  };
  BmpPicture info{1, 1, Bytes{0}, Greys(256)};
  info.xPels = 1234;
  info.yPels = 5678;
  info.clrImportant = 7;
  BmpPicture few = info;
  few.palette = Greys(16);
  BmpPicture core = info;
  core.core = true;
  core.palette = Greys(100);
  BmpPicture rle = info;
  rle.rle8 = true;
  rle.width = 4;
  rle.height = 2;
  rle.pixels = Indices(4, 2, 3);
  BmpPicture top = rle;
  top.rle8 = false;
  top.topDown = true;
  const Case cases[] = {{"256 colours", info}, {"16 colours", few}, {"core header", core},
                        {"RLE8 template", rle}, {"top-down template", top}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = std::string("t") + std::to_string(&c - cases);
    const std::string exe = UnpackerWithTemplate(folder, MakeBmp(c.templ));
    // Two images of different sizes in a row, a background and an empty one.
    WriteFile(dir / "i.agg", BuildArchive({Entry("big.bmp", Record(5, 4, b)), Entry("small.bmp", Record(3, 2, a)),
                                           Entry("sky.Bkg", Record(3, 2, a)), Entry("none.bmp", Record(0, 9, {}))},
                                          T().entrySize));
    ExpectSuccess(RunProcess(exe, {"i.agg", "out"}, dir.Path()));
    EXPECT_EQ(ReadFile(dir / "out/big.bmp"), ExpectedExport(5, 4, b, c.templ));
    EXPECT_EQ(ReadFile(dir / "out/small.bmp"), ExpectedExport(3, 2, a, c.templ));
    EXPECT_EQ(ReadFile(dir / "out/sky.Bkg.bmp"), ExpectedExport(3, 2, a, c.templ));
    EXPECT_TRUE(ReadFile(dir / "out/none.bmp").empty());
  }
}

TEST_P(ImageTest, ShippedTemplateGivesAStandardFile) {
  const Bytes px = Indices(3, 2, 4);
  WriteFile(dir / "s.agg", BuildArchive({Entry("pic.bmp", Record(3, 2, px))}, T().entrySize));
  ExpectSuccess(Run(T().unpacker, {"s.agg", "out"}));
  const Bytes file = ReadFile(dir / "out/pic.bmp");
  ASSERT_EQ(file.size(), 1086u);
  EXPECT_EQ(file[10], 0x36);  // pixels at 1078
  EXPECT_EQ(file[11], 0x04);
  EXPECT_EQ(Bytes(file.end() - 8, file.end()), (Bytes{px[3], px[4], px[5], 0, px[0], px[1], px[2], 0}));
}

TEST_P(ImageTest, RoundTripKeepsEveryIndex) {
  MakeDir(dir / "In");
  std::map<std::string, Bytes> records;
  const std::int32_t sizes[][2] = {{1, 1}, {3, 2}, {4, 4}, {17, 5}, {64, 33}};
  for (int i = 0; i < 5; ++i) {
    const auto [w, h] = sizes[i];
    const Bytes px = Indices(w, h, static_cast<unsigned>(i));
    BmpPicture picture{w, h, px, Greys(256)};
    picture.topDown = i % 2 == 1;
    picture.rle8 = i == 4;
    WriteFile(dir / ("In/img" + std::to_string(i) + ".bmp"), MakeBmp(picture));
    records["img" + std::to_string(i) + ".bmp"] = Record(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), px);
  }
  ExpectSuccess(Run(T().packer, {"a.agg", "In"}));
  ExpectSuccess(Run(T().unpacker, {"a.agg", "Out"}));
  ExpectSuccess(Run(T().packer, {"b.agg", "Out"}));
  const Bytes archive = ReadFile(dir / "b.agg");
  std::map<std::string, Bytes> again;
  for (const ParsedEntry& e : ParseArchive(archive, T().entrySize)) {
    again[e.name] = Bytes(archive.begin() + e.offset, archive.begin() + e.offset + e.size);
  }
  EXPECT_EQ(again, records);
}

TEST_P(ImageTest, ShortRecordsAreRefusedAndLeaveNoFile) {
  const Bytes records[] = {{0x21, 0, 2}, Record(2, 2, Bytes{1, 2, 3})};
  for (const Bytes& rec : records) {
    WriteFile(dir / "s.agg", BuildArchive({Entry("ok.txt", B("ok")), Entry("short.bmp", rec)}, T().entrySize));
    ExpectError(Run(T().unpacker, {"s.agg", "out"}), "Bitmap image is not valid.\r\nshort.bmp");
    EXPECT_FALSE(FileExists(dir / "out/short.bmp"));
  }
}

TEST_P(ImageTest, TemplateProblemsNameTheTemplateAndTheEntry) {
  WriteFile(dir / "p.agg", BuildArchive({Entry("a.txt", B("a")), Entry("pic.bmp", Record(1, 1, {5}))}, T().entrySize));
  const std::string templ = std::string(T().paletteTemplate);

  const std::string missing = UnpackerWithTemplate("missing", {}, false);
  ExpectErrorStartingWith(RunProcess(missing, {"p.agg", "o1"}, dir.Path()),
                          "Cannot open file \"" + FullPath("missing/" + templ) + "\". ");
  EXPECT_EQ(ListDir(dir / "o1"), std::vector<std::string>{"a.txt"});

  BmpPicture rgb{1, 1, Bytes(3, 1), {}};
  rgb.bitCount = 24;
  for (const Bytes& bad : {Bytes{}, MakeBmp(rgb)}) {
    const std::string exe = UnpackerWithTemplate("bad", bad);
    ExpectError(RunProcess(exe, {"p.agg", "o2"}, dir.Path()),
                "Palette template \"" + FullPath("bad/" + templ) + "\" is not an 8-bit bitmap.\r\npic.bmp");
  }
  const std::string text = UnpackerWithTemplate("text", B("not a bitmap at all"));
  ExpectError(RunProcess(text, {"p.agg", "o4"}, dir.Path()), "Bitmap image is not valid.\r\npic.bmp");
  // Without image entries the template is never opened.
  WriteFile(dir / "plain.agg", BuildArchive({Entry("a.txt", B("a"))}, T().entrySize));
  ExpectSuccess(RunProcess(missing, {"plain.agg", "o3"}, dir.Path()));
}

TEST_P(ImageTest, ImageIntoAMissingSubfolderCannotBeCreated) {
  WriteFile(dir / "m.agg", BuildArchive({Entry("nodir/pic.bmp", Record(1, 1, {5}))}, T().entrySize));
  ExpectErrorStartingWith(Run(T().unpacker, {"m.agg", "out"}),
                          "Cannot create file \"" + FullPath("out/nodir/pic.bmp") + "\". ");
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, ImageTest, ::testing::ValuesIn(kTools),
                         [](const auto& info) { return std::string(info.param.packer); });

TEST(CollisionOfImages, BackgroundAndItsBmpShareAnId) {
  TempDir dir;
  MakeDir(dir / "C");
  WriteFile(dir / "C/Sky.bkg", Record(1, 1, {1}));
  WriteFile(dir / "C/Sky.bkg.bmp", MakeBmp({1, 1, Bytes{2}, Greys(2)}));
  const ProcessResult r = RunProcess(BinPath("Morrbind" + os::ExecutableSuffix()), {"c.agg", "C"}, dir.Path());
  EXPECT_EQ(r.exitCode, 0);
  const Bytes archive = ReadFile(dir / "c.agg");
  const std::vector<ParsedEntry> entries = ParseArchive(archive, kShortEntry);
  ASSERT_EQ(entries.size(), 2u);
  // The stored names are equal; the report shows the listed ones in order.
  const bool bmpFirst = archive[entries[0].offset + 6] == 2;
  const std::string names = bmpFirst ? "\nSky.bkg.bmp\nSky.bkg" : "\nSky.bkg\nSky.bkg.bmp";
  if (ProgramsPrintMessages()) {
    EXPECT_EQ(r.err, "The following files have the same hash ID:" + names + "\nRename them to make their IDs different..\n");
  }
}

}  // namespace
}  // namespace qx::test
