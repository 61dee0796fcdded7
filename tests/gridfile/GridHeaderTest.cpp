#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "GridFileText.h"
#include "gridfile/GridHeaderParser.h"

using namespace grid_file_text;

namespace {

struct LayoutCase {
  const char* name;
  const std::string* text;
  GridLayout layout;
  const char* version;
};

class GridLayouts : public testing::TestWithParam<LayoutCase> {};

TEST_P(GridLayouts, HeaderAndCellsAsWritten) {
  const LayoutCase& c = GetParam();
  GridOnDisk grid(*c.text);
  ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
  const GridHeader& h = grid.Reader().Header();
  EXPECT_EQ(h.layout, c.layout);
  EXPECT_EQ(h.version, c.version);
  EXPECT_EQ(h.unit, 'M');
  EXPECT_EQ(h.rows, 2);
  EXPECT_EQ(h.cols, 3);
  EXPECT_EQ(h.zoom, 100);
  EXPECT_FALSE(h.noData.has_value());
  EXPECT_EQ(h.NoDataOrDefault(), -99999.0);
  double transform[6];
  h.GeoTransform(transform);
  EXPECT_EQ(std::vector<double>(transform, transform + 6),
            (std::vector<double>{100, 25, 0, 900, 0, -25}));
  std::vector<std::int32_t> cells;
  ASSERT_TRUE(grid.ReadAll(cells));
  EXPECT_EQ(cells, kCells);
}

INSTANTIATE_TEST_SUITE_P(
    , GridLayouts,
    testing::Values(LayoutCase{"Edition2007", &kEdition2007, GridLayout::kEdition2007,
                               "GB/T17798-2007"},
                    LayoutCase{"Edition1999", &kEdition1999, GridLayout::kEdition1999, "1.0"},
                    LayoutCase{"Positional", &kPositional, GridLayout::kPositional, "1.0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridHeader, EntriesKeepTheFileOrderAndThePositionalLinesGetTheKeyedNames) {
  GridOnDisk keyed(kEdition1999);
  ASSERT_TRUE(keyed.Open());
  const auto& entries = keyed.Reader().Header().entries;
  ASSERT_EQ(entries.size(), 13u);
  EXPECT_EQ(entries[2], (std::pair<std::string, std::string>{"Unit", "M"}));
  EXPECT_EQ(entries[12], (std::pair<std::string, std::string>{"Hzoom", "100"}));

  GridOnDisk positional(kPositional);
  ASSERT_TRUE(positional.Open());
  const GridHeader& h = positional.Reader().Header();
  ASSERT_EQ(h.entries.size(), 12u);
  EXPECT_EQ(h.entries[0], (std::pair<std::string, std::string>{"DataMark", "NSDTF-DEM"}));
  EXPECT_EQ(*h.Value("col"), "3");
  EXPECT_EQ(*h.Value("Compress"), "0.0");
}

// What other writers of the format produce.
TEST(GridHeader, ToleratesOtherWritersSpelling) {
  struct Case {
    const char* what;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"LF line ends", Replace(kEdition2007, "\r\n", "\n")},
      {"CR line ends", Replace(kEdition2007, "\r\n", "\r")},
      {"CR CR LF line ends", Replace(kEdition2007, "\r\n", "\r\r\n")},
      {"no blank after the colon", Replace(kEdition2007, ": ", ":")},
      {"blanks and tabs around keys", Replace(kEdition2007, ": ", " :\t ")},
      {"keys in other letter cases",
       Replace(Replace(kEdition2007, "Row:", "ROW:"), "Hzoom", "HZOOM")},
      {"a byte order mark and blank lines first", "\xEF\xBB\xBF\r\n\r\n" + kEdition2007},
      {"no empty line before the data", Replace(kEdition2007, "ZUnit: M\r\n\r\n", "ZUnit: M\r\n")},
      {"extra keys", Replace(kEdition2007, "ZUnit: M\r\n",
                             "ZUnit: M\r\nMin: -300\r\nMax: 1000\r\nRemark: made elsewhere\r\n")},
      {"keys in another order", Replace(Replace(kEdition2007, "Row: 2\r\n", ""), "Hzoom: 100\r\n",
                                        "Hzoom: 100\r\nRow: 2\r\n")},
      {"positional values on fewer lines",
       Replace(kPositional, "100.000000\r\n900.000000\r\n", "100.000000 900.000000\t")},
      {"a positional file with LF and no empty line",
       Replace(Replace(kPositional, "\r\n", "\n"), "100\n\n", "100\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GridOnDisk grid(c.text);
    ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
    const GridHeader& h = grid.Reader().Header();
    EXPECT_EQ(h.rows, 2);
    EXPECT_EQ(h.cols, 3);
    EXPECT_EQ(h.zoom, 100);
    EXPECT_EQ(h.x0, 100);
    EXPECT_EQ(h.dy, 25);
    std::vector<std::int32_t> cells;
    ASSERT_TRUE(grid.ReadAll(cells));
    EXPECT_EQ(cells, kCells);
  }
}

TEST(GridHeader, OptionalValuesAreTaken) {
  // A grid in degrees, with ten decimals, a no-data key and no Version key.
  std::string text = Replace(kEdition2007, "X0: 100.000000", "X0: 116.1234567891");
  text = Replace(text, "XYUnit: M", "xyunit: d\r\nNODATA_value: -9999");
  text = Replace(text, "Version: GB/T17798-2007\r\n", "");
  GridOnDisk grid(text);
  ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
  const GridHeader& h = grid.Reader().Header();
  EXPECT_EQ(h.x0, 116.1234567891);
  EXPECT_EQ(h.unit, 'D');
  EXPECT_EQ(h.noData, -9999.0);
  EXPECT_EQ(h.layout, GridLayout::kEdition2007);  // told by its XYUnit key
}

// Values another writer may have meant otherwise are read, with a warning each.
TEST(GridHeader, ZoomBelowOneAndNegativeCellSizesAreReadWithWarnings) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {kEdition2007, {}},
      {Replace(kEdition2007, "Hzoom: 100", "Hzoom: 0"),
       {"the header's Hzoom is 0, below 1: the heights are stored as 0 and cannot be recovered"}},
      {Replace(Replace(kEdition2007, "Hzoom: 100", "Hzoom: -100"), "DX: 25.000000", "DX: -25"),
       {"the header's DX is -25; its magnitude is taken, the grid is read north-up",
        "the header's Hzoom is -100, below 1: the heights are stored negated"}},
  };
  for (const auto& [text, warnings] : cases) {
    GridOnDisk grid(text);
    ASSERT_TRUE(grid.Open()) << grid.Reader().Error();
    EXPECT_EQ(grid.Reader().Header().warnings, warnings);
    EXPECT_EQ(grid.Reader().Header().dx, 25.0);
  }
}

class MissingKey : public testing::TestWithParam<const char*> {};

TEST_P(MissingKey, IsRefusedByName) {
  const std::string key = GetParam();
  std::string text = kEdition2007;
  const std::size_t at = text.find("\n" + key + ":") + 1;
  text.erase(at, text.find('\n', at) + 1 - at);
  GridOnDisk grid(text);
  EXPECT_FALSE(grid.Open());
  EXPECT_EQ(grid.Reader().Error(), "the header lacks the key \"" + key + "\"");
}

INSTANTIATE_TEST_SUITE_P(, MissingKey,
                         testing::Values("X0", "Y0", "DX", "DY", "Row", "Col", "Hzoom"));

TEST(GridHeader, ShortPositionalHeaderNamesTheMissingValue) {
  GridOnDisk grid("NSDTF-DEM\n1.0\nM\n0.0\n0.0\n100.0\n900.0\n25.0\n25.0\n2\n");
  EXPECT_FALSE(grid.Open());
  EXPECT_EQ(grid.Reader().Error(),
            "the header ends before its Col value (line 11 of the positional layout)");
}

TEST(GridHeader, RefusesValuesItCannotRead) {
  struct Case {
    std::string from, to, error;
  };
  const std::vector<Case> cases = {
      {"Row: 2", "Row: two",
       "the header's Row is \"two\", not a whole number from 1 to 2147483647"},
      {"Row: 2", "Row: 0", "the header's Row is \"0\", not a whole number from 1 to 2147483647"},
      {"Col: 3", "Col: 2147483648",
       "the header's Col is \"2147483648\", not a whole number from 1 to 2147483647"},
      {"Hzoom: 100", "Hzoom: 1e2", "the header's Hzoom is \"1e2\", not a 32-bit whole number"},
      {"Hzoom: 100", "Hzoom: -2147483649",
       "the header's Hzoom is \"-2147483649\", not a 32-bit whole number"},
      {"X0: 100.000000", "X0: 100,5", "the header's X0 is \"100,5\", not a number"},
      {"X0: 100.000000", "X0: nan", "the header's X0 is \"nan\", not a number"},
      {"DX: 25.000000", "DX: 0", "the header's DX is \"0\", not a non-zero number"},
      {"Compress: 0", "Compress: 1",
       "the header's Compress is \"1\": only uncompressed grids (0) are read"},
      {"ValueType: Integer", "ValueType: Float",
       "the header's ValueType is \"Float\": only Integer grids are read"},
      {"ZUnit: M", "ZUnit: M\r\nThis line has no colon",
       "header line 15, \"This line has no colon\", is not \"Key: value\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    GridOnDisk grid(Replace(kEdition2007, c.from, c.to));
    EXPECT_FALSE(grid.Open());
    EXPECT_EQ(grid.Reader().Error(), c.error);
  }
}

TEST(GridHeader, OtherFilesAreNotGrids) {
  for (const std::string& text :
       {std::string("ncols 3\nnrows 2\n"), std::string(""), std::string("DataMark: SOMETHING\n"),
        std::string("NSDTF-DEMX\n1.0\n"), std::string("Version: 1.0\nDataMark: CNSDTF-DEM\n")}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(GridHeaderParser::Identify(text));
    GridOnDisk grid(text);
    EXPECT_FALSE(grid.Open());
    EXPECT_EQ(grid.Reader().Error(),
              "not a CNSDTF-DEM grid: it begins neither with \"DataMark: CNSDTF-DEM\" nor with "
              "\"NSDTF-DEM\"");
  }
  for (const std::string* text : {&kEdition2007, &kEdition1999, &kPositional}) {
    EXPECT_TRUE(GridHeaderParser::Identify(text->substr(0, 24)));
  }
  EXPECT_TRUE(GridHeaderParser::Identify("datamark:nsdtf-dem"));
}

TEST(GridHeader, MissingFileOrFolderIsReported) {
  CnsdtfGridReader reader;
  EXPECT_FALSE(reader.Open("/nonexistent/grid.dem"));
  EXPECT_EQ(reader.Error(), "cannot be opened: No such file or directory");
  TempDir dir;
  EXPECT_FALSE(reader.Open(dir.Path().string()));
  EXPECT_EQ(reader.Error(), "is a folder, not a grid file");
}

}  // namespace
