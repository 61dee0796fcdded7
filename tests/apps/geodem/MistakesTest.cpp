// The commonest mistakes of a first run, through the built geodem program: each gets, as its
// first error line, what is wrong in the system's or geodem's words and what to do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  std::string firstError;         // the first error line, "{dir}" standing for the folder
  int status;
};

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
  // No plug-in at all, not even one installed in GDAL's own folder, so that the driver is missing.
  std::filesystem::create_directory(dir_ / "no-plugins");
  ScopedEnvironment noDriver({{"GDAL_DRIVER_PATH", dir_ / "no-plugins"}});
  for (const Mistake& m : Mistakes()) {
    std::vector<std::string> args;
    for (const std::string& a : m.args) args.push_back(Expand(a, dir_.Path(), source));
    check(m, Expand(m.firstError, dir_.Path(), source), GeodemProcess::Geodem(args));
  }
  EXPECT_EQ(TempDir::ReadFile(dir_ / "x.dem"), "an earlier grid");
}

TEST_F(GeodemMistakes, FirstErrorLineSaysWhatIsWrongAndWhatToDo) {
  RunMistakes([](const Mistake& m, const std::string& expected, const ProcessResult& r) {
    EXPECT_EQ(FirstError(r.err), expected) << m.what;
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
