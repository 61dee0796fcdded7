// The commonest mistakes of a first run, through the built geodem program: each gets, as its
// first error line, what is wrong in the system's or geodem's words and what to do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <filesystem>
#include <functional>
#include <string_view>
#include <sstream>

#include "GeodemEndToEnd.h"
#include "support/ScopedEnvironment.h"

namespace {

struct Mistake {
  const char* what;
  std::vector<std::string> args;  // "{src}" and "{dir}" stand for paths of the test
  // The first error line, "{dir}" standing for the folder and "{gdal}" for GDAL's own words.
  std::string firstError;
  int status;
  bool intoPipe = false;  // standard output is a pipe rather than a file
};

// Whether `line` is `expected`, each "{gdal}" in it standing for some text.
bool Matches(const std::string& line, const std::string& expected) {
  constexpr std::string_view kAny = "{gdal}";
  std::size_t at = 0, from = 0;
  for (bool first = true;; first = false) {
    const std::size_t hole = expected.find(kAny, from);
    const std::string piece = expected.substr(from, hole - from);
    if (hole == std::string::npos)
      return line.size() >= at + piece.size() && line.ends_with(piece) &&
             (!first || line.size() == piece.size());
    const std::size_t found = first ? (line.rfind(piece, 0) == 0 ? 0 : std::string::npos)
                                    : line.find(piece, at);
    if (found == std::string::npos) return false;
    at = found + piece.size();
    from = hole + kAny.size();
  }
}

std::string Expand(std::string text, const std::string& dir, const std::string& source) {
  for (const auto& [key, value] : {std::pair{"{dir}", dir}, std::pair{"{src}", source}})
    for (std::size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, std::string(key).size(), value);
  return text;
}

// What a line names that must read the same in every language: paths (from '/' up to a blank or
// one of :;,'), options ("-x", "--some-option") and whole numbers. Scanned by hand: std::regex
// does not build cleanly under the sanitizers' optimisation.
std::vector<std::string> NamedThings(const std::string& line) {
  const auto at = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
  const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::vector<std::string> things;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t end = i;
    if (line[i] == '/') {
      while (++end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) &&
             std::string_view(":;,'").find(line[end]) == std::string_view::npos) {
      }
      if (end == i + 1) end = i;
    } else if (line[i] == '-') {
      const std::size_t name = at(i + 1) == '-' ? i + 2 : i + 1;
      if (lower(at(name)))
        for (end = name; lower(at(end)) || at(end) == '-';) ++end;
    } else if (digit(line[i])) {
      while (digit(at(end))) ++end;
      if ((i > 0 && word(line[i - 1])) || word(at(end))) {
        i = end;  // digits within a word: none of them starts a number
        continue;
      }
    }
    if (end > i) things.push_back(line.substr(i, end - i));
    i = end > i ? end : i + 1;
  }
  return things;
}

// A Chinese line holds characters of the CJK block (U+4E00..U+9FFF: lead bytes E4..E9).
bool HasChinese(const std::string& line) {
  for (unsigned char c : line)
    if (c >= 0xE4 && c <= 0xE9) return true;
  return false;
}

// The Chinese cases need the locale itself, which scripts/bootstrap.sh --tests generates.
bool HasChineseLocale() {
  locale_t chinese = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", nullptr);
  if (chinese) freelocale(chinese);
  return chinese != nullptr;
}

std::string FirstError(const std::string& err) {
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("error: ", 0) == 0) return line;
  return "(no error line)";
}

class GeodemMistakes : public GeodemEndToEnd {
 protected:
  // A GeoPackage holding two rasters, which GDAL offers as subdatasets and no bands of its own.
  std::string TwoRasterContainer(const std::string& source) {
    const std::string path = dir_ / "two.gpkg";
    GDALDatasetH src = GDALOpen(source.c_str(), GA_ReadOnly);
    GDALDriverH gpkg = GDALGetDriverByName("GPKG");
    for (const char* table : {"a", "b"}) {
      const std::string name = std::string("RASTER_TABLE=") + table;
      const char* options[] = {name.c_str(), "APPEND_SUBDATASET=YES", nullptr};
      GDALClose(GDALCreateCopy(gpkg, path.c_str(), src, FALSE, const_cast<char**>(options),
                               nullptr, nullptr));
    }
    GDALClose(src);
    return path;
  }

  // What damaged and unusable sources look like: u32.tif holds a cell of 4294967295, trunc.tif
  // is cut short in its cells, bad.tif has bytes of its compressed cells overwritten, empty.tif
  // has none at all.
  void DamagedSources() {
    TestRaster u32;
    u32.type = GDT_UInt32;
    u32.cell = [](int, int x, int y) { return x == 2 && y == 1 ? 4294967295.0 : 100.0 + x; };
    Write(u32, "u32.tif");
    TestRaster plain;
    plain.width = plain.height = 64;
    const std::string whole = TempDir::ReadFile(Write(plain, "whole.tif"));
    TempDir::WriteFile(dir_ / "trunc.tif", whole.substr(0, 600));  // the header is at the start
    GDALDriverH gtiff = GDALGetDriverByName("GTiff");
    const char* deflate[] = {"COMPRESS=DEFLATE", nullptr};
    GDALDatasetH src = GDALOpen((dir_ / "whole.tif").c_str(), GA_ReadOnly);
    GDALClose(GDALCreateCopy(gtiff, (dir_ / "packed.tif").c_str(), src, FALSE,
                             const_cast<char**>(deflate), nullptr, nullptr));
    GDALClose(src);
    std::string packed = TempDir::ReadFile(dir_ / "packed.tif");
    std::fill(packed.end() - packed.size() / 3, packed.end() - 16, 'Z');
    TempDir::WriteFile(dir_ / "bad.tif", packed);
    TempDir::WriteFile(dir_ / "empty.tif", "");
  }

  // geodem with its standard output into a pipe, whose reader keeps what it gets.
  static ProcessResult IntoPipe(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"bash", "-c", "set -o pipefail; \"$0\" \"$@\" | cat",
                                     GeodemProcess::Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return GeodemProcess::Run(argv);
  }

  void RunMistakes(const std::function<void(const Mistake&, const std::string& expected,
                                            const ProcessResult&)>& check);
};

// The commonest mistakes with the first error line each gets in English, "{dir}" and "{src}"
// standing for the test's folder and source raster (which the fixture makes).
const std::vector<Mistake>& Mistakes() {
  static const std::vector<Mistake> mistakes = {
      {"existing output",
       {"convert", "{src}", "{dir}/x.dem"},
       "error: {dir}/x.dem exists; add --overwrite to replace it",
       1},
      {"missing mapping file",
       {"convert", "--mapping", "{dir}/nojob.xml", "{src}", "{dir}/a.dem"},
       "error: cannot read the mapping file {dir}/nojob.xml: No such file or directory",
       1},
      {"folder as mapping file",
       {"convert", "--mapping", "{dir}/tiles", "{src}", "{dir}/a.dem"},
       "error: cannot read the mapping file {dir}/tiles: Is a directory",
       1},
      {"missing manifest",
       {"batch", "--manifest", "{dir}/nomanifest.txt"},
       "error: cannot read the manifest {dir}/nomanifest.txt: No such file or directory",
       2},
      {"missing source",
       {"convert", "{dir}/none.tif", "{dir}/a.dem"},
       "error: cannot open source {dir}/none.tif: No such file or directory",
       1},
      {"folder as source",
       {"convert", "{dir}/tiles", "{dir}/a.dem"},
       "error: source {dir}/tiles is a folder, not a raster; to convert every raster in it, use "
       "geodem batch --out-dir DIR {dir}/tiles/*.tif",
       1},
      {"container of subdatasets",
       {"convert", "{dir}/two.gpkg", "{dir}/a.dem"},
       "error: source {dir}/two.gpkg has no raster bands of its own but 2 subdatasets; name the "
       "one to convert as the source: GPKG:{dir}/two.gpkg:a, GPKG:{dir}/two.gpkg:b",
       1},
      {"no zoom fits a cell",
       {"convert", "--zoom", "1", "{dir}/u32.tif", "{dir}/u.dem"},
       "error: the cell at row 2, column 3 of {dir}/u32.tif holds 4294967295, a height that the "
       "grid's integers cannot hold at any zoom; if it means no data, make it the source's nodata "
       "value (gdal_translate -a_nodata 4294967295), else correct the source",
       2},
      {"truncated source",
       {"convert", "{dir}/trunc.tif", "{dir}/a.dem"},
       "error: cannot read block 1 of 1 of source {dir}/trunc.tif: GDAL: {gdal}; gdalinfo "
       "-checksum {dir}/trunc.tif reads every block and shows whether the file is damaged",
       1},
      {"source with damaged compressed data",
       {"convert", "{dir}/bad.tif", "{dir}/a.dem"},
       "error: cannot read block 1 of 1 of source {dir}/bad.tif: GDAL: {gdal}; gdalinfo "
       "-checksum {dir}/bad.tif reads every block and shows whether the file is damaged",
       1},
      {"zero-length source",
       {"convert", "{dir}/empty.tif", "{dir}/a.dem"},
       "error: source {dir}/empty.tif is empty (0 bytes), as an interrupted copy or download "
       "leaves a file; copy it again",
       1},
      {"standard output as DST, into a pipe",
       {"convert", "-q", "{src}", "/dev/stdout"},
       "(no error line)",
       0,
       true},
      {"grid file without the driver",
       {"convert", "{dir}/grid.dem", "{dir}/a.dem"},
       "error: source {dir}/grid.dem is a CNSDTF-DEM grid file: reading it needs the GEODEM GDAL "
       "driver, which is not loaded; set GDAL_DRIVER_PATH to the folder of gdal_GEODEM.so",
       1},
  };
  return mistakes;
}

// Runs each mistake on the files it needs; `check` judges the first error line and the status.
void GeodemMistakes::RunMistakes(
    const std::function<void(const Mistake&, const std::string& expected, const ProcessResult&)>&
        check) {
  GDALAllRegister();  // for the GeoPackage
  const std::string source = Write(TestRaster{}, "dem.tif");
  TempDir::WriteFile(dir_ / "x.dem", "an earlier grid");
  TempDir::WriteFile(dir_ / "grid.dem", "NSDTF-DEM\r\n");
  std::filesystem::create_directory(dir_ / "tiles");
  TwoRasterContainer(source);
  DamagedSources();
  // No plug-in at all, not even one installed in GDAL's own folder, so that the driver is missing.
  std::filesystem::create_directory(dir_ / "no-plugins");
  ScopedEnvironment noDriver({{"GDAL_DRIVER_PATH", dir_ / "no-plugins"}});
  for (const Mistake& m : Mistakes()) {
    std::vector<std::string> args;
    for (const std::string& a : m.args) args.push_back(Expand(a, dir_.Path(), source));
    check(m, Expand(m.firstError, dir_.Path(), source),
          m.intoPipe ? IntoPipe(args) : GeodemProcess::Geodem(args));
  }
  EXPECT_EQ(TempDir::ReadFile(dir_ / "x.dem"), "an earlier grid");
}

// The grid file sent to standard output, a pipe or a file, is the grid file written under a name;
// what standard output cannot take is refused with the reason.
TEST_F(GeodemMistakes, StandardOutputTakesOneWholeGridFile) {
  const std::string source = Write(TestRaster{}, "dem.tif"), other = Write(TestRaster{}, "b.tif");
  ASSERT_EQ(Convert({"-q", source, dir_ / "named.dem"}).status, 0);
  const std::string named = TempDir::ReadFile(dir_ / "named.dem");
  for (const char* dst : {"-", "/dev/stdout"}) {
    ProcessResult piped = IntoPipe({"convert", source, dst});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, named) << dst;
    ProcessResult file = Convert({source, dst});
    EXPECT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(file.out, named) << dst;
  }
  const struct {
    std::vector<std::string> args;
    const char* said;
  } refusals[] = {
      {{"convert", "--prj", source, "-"}, "--prj"},
      {{"convert", "--separate", source, other, "-"}, "--separate"},
      {{"batch", "--out-dir", "-", source}, "--out-dir"},
  };
  for (const auto& r : refusals) {
    ProcessResult run = GeodemProcess::Geodem(r.args);
    EXPECT_EQ(run.status, 2) << r.said << "\n" << run.err;
    EXPECT_THAT(FirstError(run.err), testing::HasSubstr(r.said)) << run.err;
    EXPECT_EQ(run.out, "") << r.said;
  }
}

TEST_F(GeodemMistakes, FirstErrorLineSaysWhatIsWrongAndWhatToDo) {
  RunMistakes([](const Mistake& m, const std::string& expected, const ProcessResult& r) {
    EXPECT_TRUE(Matches(FirstError(r.err), expected))
        << m.what << "\n  first error: " << FirstError(r.err) << "\n  expected:    " << expected;
    EXPECT_EQ(r.status, m.status) << m.what << "\n" << r.err;
  });
}

// Under a Chinese locale the same mistakes get a Chinese first line that names the same files,
// options and numbers, and end with the same status.
TEST_F(GeodemMistakes, ChineseFirstErrorLineNamesTheSameThings) {
  ASSERT_TRUE(HasChineseLocale()) << "no zh_CN.UTF-8 locale: run scripts/bootstrap.sh --tests";
  ScopedEnvironment chinese({{"LANG", "zh_CN.UTF-8"}});
  RunMistakes([](const Mistake& m, const std::string& expected, const ProcessResult& r) {
    const std::string line = FirstError(r.err);
    if (m.status == 0) {  // not a mistake after all: no error line in any language
      EXPECT_EQ(line, expected) << m.what;
      return;
    }
    EXPECT_TRUE(HasChinese(line)) << m.what << ": " << line;
    for (const std::string& thing : NamedThings(expected.substr(expected.find(' '))))
      EXPECT_THAT(line, testing::HasSubstr(thing)) << m.what;
    EXPECT_EQ(r.status, m.status) << m.what << "\n" << r.err;
  });
}

// The writer's lines that geodem shows: its own job file is not announced as the user's, a user's
// mapping file is, and the statistics table is introduced by what it counts.
TEST_F(GeodemMistakes, LinesNameOnlyTheUsersFilesAndSayWhatTheTableCounts) {
  const std::string source = Write(TestRaster{}, "dem.tif");
  ProcessResult r = Convert({source, dir_ / "a.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, testing::Not(testing::HasSubstr("打开映射文件")));
  EXPECT_THAT(r.err, testing::HasSubstr("count raster blocks per grid file: received (总数), "
                                        "written (输出), not written (未输出)\ninfo:   "));
  TempDir::WriteFile(dir_ / "job.xml",
                     "<HVX_MappingFile><WRITER_DIRECTIVE><KeyValuePair><Key>LOG_OUTPUT</Key>"
                     "<Value>YES</Value></KeyValuePair></WRITER_DIRECTIVE><WRITER_PARAMETER>"
                     "<KeyValuePair><Key>DEM_ZOOM</Key><Value>100</Value></KeyValuePair>"
                     "</WRITER_PARAMETER></HVX_MappingFile>");
  r = Convert({"--mapping", dir_ / "job.xml", source, dir_ / "b.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, testing::HasSubstr("info: 打开映射文件 " + dir_ / "job.xml\n"));
}

// A conversion under a Chinese locale: geodem's progress and information lines in Chinese, the
// writer's statistics table exactly as in English (it is the writer's own).
TEST_F(GeodemMistakes, ChineseConversionKeepsTheWritersTable) {
  ASSERT_TRUE(HasChineseLocale()) << "no zh_CN.UTF-8 locale: run scripts/bootstrap.sh --tests";
  TestRaster twoBands;
  twoBands.bands = 2;
  const std::string source = Write(twoBands, "two.tif");
  auto tableOf = [](const std::string& err) { return err.substr(err.find("\ninfo:   ")); };
  const ProcessResult english = Convert({source, dir_ / "a.dem"});
  std::filesystem::remove(dir_ / "a.dem");
  ScopedEnvironment chinese({{"LANG", "zh_CN.UTF-8"}});
  const ProcessResult r = Convert({source, dir_ / "a.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err,
              testing::HasSubstr("info: 源栅格 " + source + " 有 2 个波段：转换的是波段 1\n"));
  EXPECT_THAT(r.err, testing::HasSubstr("100 - 完成。\n"));
  EXPECT_THAT(r.err,
              testing::HasSubstr("info: 下面写出组件的统计按格网文件计数栅格块：收到（总数）、"
                                 "已写出（输出）、未写出（未输出）\ninfo:   "));
  EXPECT_EQ(tableOf(r.err), tableOf(english.err));
}

}  // namespace
