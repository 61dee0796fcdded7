// The checks of a grid file: a good file of each layout gives no finding; each damage, made by
// editing a good file, gives exactly its finding at its place.
#include <gtest/gtest.h>

#include <functional>

#include "apps/geodem/gridcheck/GridFileCheck.h"
#include "support/TempDir.h"

namespace {

constexpr int kRows = 2, kCols = 12;  // lines of 10 and 2 values

// Unit D: a grid in degrees at 100 E, 40 N.
std::string Header(const std::string& layout, const std::string& unit = "M") {
  if (layout == "GRD_2007" && unit == "D")
    return "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
           "X0: 100.0000000000\r\nY0: 40.0000000000\r\nDX: 0.0010000000\r\nDY: 0.0010000000\r\n"
           "Row: 2\r\nCol: 12\r\nValueType: Integer\r\nHzoom: 100\r\nXYUnit: D\r\nZUnit: M\r\n\r\n";
  if (layout == "GRD_2007")
    return "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
           "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\n"
           "Col: 12\r\nValueType: Integer\r\nHzoom: 100\r\nXYUnit: M\r\nZUnit: M\r\n\r\n";
  if (layout == "GRD_1999")
    return "DataMark: CNSDTF-DEM\r\nVersion: 1.0\r\nUnit: M\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
           "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\n"
           "Col: 12\r\nValueType: Integer\r\nHzoom: 100\r\n\r\n";
  return "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n100.000000\r\n900.000000\r\n25.000000\r\n"
         "25.000000\r\n2\r\n12\r\n100\r\n\r\n";
}

// Row r, column c holds 1000 + 100 r + c (10 m and more); cell (2, 12) is no data.
std::string Data() {
  std::string text;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      const bool last = r == kRows - 1 && c == kCols - 1;
      text += "   " + (last ? std::string("-99999") : std::to_string(1000 + 100 * r + c)) + " ";
      if (c == 9 || c == kCols - 1) text += "\r\n";
    }
  }
  return text;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

std::vector<GridFinding> Check(const std::string& text, const GridCheckOptions& options = {}) {
  TempDir dir;
  const std::string path = dir / "a.dem";
  TempDir::WriteFile(path, text);
  return GridFileCheck(options).Run(path).findings;
}

std::string Describe(const std::vector<GridFinding>& findings) {
  std::string text;
  for (const GridFinding& f : findings)
    text += (f.level == GridFinding::Level::kError ? "error " : "warning ") + f.Place() + ": " +
            f.text + "\n";
  return text;
}

TEST(GridCheck, GoodFileOfEachLayoutHasNoFinding) {
  for (const char* layout : {"GRD_2007", "GRD_1999", "GEODEM"}) {
    EXPECT_EQ(Describe(Check(Header(layout) + Data())), "") << layout;
  }
  EXPECT_EQ(Describe(Check(Header("GRD_2007", "D") + Data())), "");
  // Ten columns or fewer: every row is followed by an empty line.
  std::string narrow = Header("GRD_2007") + "   1000    1001 \r\n\r\n   1002    1003 \r\n\r\n";
  ReplaceAll(narrow, "Col: 12", "Col: 2");
  EXPECT_EQ(Describe(Check(narrow)), "");
  // Heights at both ends of Earth's range, -500 m and 9000 m, are within it.
  std::string extremes = Header("GRD_2007") + Data();
  ReplaceAll(extremes, "   1006 ", "   -50000 ");
  ReplaceAll(extremes, "   1106 ", "   900000 ");
  EXPECT_EQ(Describe(Check(extremes)), "");
}

TEST(GridCheck, EachDamageGivesItsFindingAtItsPlace) {
  struct Case {
    const char* name;
    std::function<std::string()> text;
    GridFinding::Level level;
    std::string place;
    std::string says;
    GridCheckOptions options = {};
  };
  using L = GridFinding::Level;
  auto edited = [](std::string from, std::string to, std::string layout = "GRD_2007",
                   std::string unit = "M") {
    return [=] {
      std::string text = Header(layout, unit) + Data();
      ReplaceAll(text, from, to);
      return text;
    };
  };
  const Case cases[] = {
      {"line missing", edited("DX: 25.000000\r\n", ""), L::kError, "line 7", "lacks its DX line"},
      {"lines out of order", edited("X0: 100.000000\r\nY0: 900.000000", "Y0: 900.000000\r\nX0: 100.000000"),
       L::kError, "line 6", "X0 is out of order"},
      {"1999 line missing", edited("Unit: M\r\n", "", "GRD_1999"), L::kError, "line 3",
       "lacks its Unit line"},
      {"positional line of two values", edited("100.000000\r\n900.000000\r\n", "100.000000 900.000000\r\n", "GEODEM"),
       L::kError, "line 6", "one value a line"},
      {"header value not a number", edited("X0: 100.000000", "X0: 1OO"), L::kError, "line 5",
       "not a number"},
      {"cell not a number", edited("   1003 ", "   10x3 "), L::kError, "row 1, column 4",
       "not a whole number"},
      {"fewer values than Row x Col", edited("Row: 2", "Row: 3"), L::kError, "row 3, column 1",
       "ends early"},
      {"cut short within a line",
       [] {
         const std::string text = Header("GRD_2007", "M") + Data();
         return text.substr(0, text.find("   1105 "));
       },
       L::kError, "row 2, column 6", "ends early"},
      {"more values than Row x Col", edited("Row: 2", "Row: 1"), L::kError, "line 18",
       "more than Row x Col"},
      {"a value past Row x Col on the last line", edited("   -99999 \r\n", "   -99999    7 \r\n"),
       L::kError, "line 19", "more than Row x Col"},
      {"value outside 32 bits", edited("   1005 ", "   2147483648 "), L::kError, "row 1, column 6",
       "32-bit"},
      {"DX not positive", edited("DX: 25.000000", "DX: -25.000000"), L::kError, "line 7",
       "not positive"},
      {"DY zero", edited("DY: 25.000000", "DY: 0"), L::kError, "line 8", "not positive"},
      {"Hzoom not positive", edited("Hzoom: 100", "Hzoom: 0"), L::kError, "line 12",
       "not a positive whole number"},
      {"LF line ends", edited("\r\n", "\n"), L::kWarning, "line 1", "LF alone"},
      {"CR line ends", edited("\r\n", "\r"), L::kWarning, "line 1", "19 of 19 lines end in CR alone"},
      {"CR line ends, positional", edited("\r\n", "\r", "GEODEM"), L::kWarning, "line 1",
       "CR alone"},
      {"Alpha not a number", edited("Alpha: 0.000000", "Alpha: nan"), L::kError, "line 3",
       "not a finite number"},
      {"Alpha infinite", edited("Alpha: 0.000000", "Alpha: -inf"), L::kError, "line 3",
       "not a finite number"},
      {"X0 infinite", edited("X0: 100.000000", "X0: inf"), L::kError, "line 5",
       "not a finite number"},
      {"Y0 not a number", edited("Y0: 900.000000", "Y0: nan"), L::kError, "line 6",
       "not a finite number"},
      {"DX infinite", edited("DX: 25.000000", "DX: infinity"), L::kError, "line 7",
       "not a finite number"},
      {"positional Y0 not a number", edited("900.000000", "NaN", "GEODEM"), L::kError, "line 7",
       "not a finite number"},
      {"key spelling", edited("DX: ", "dx: "), L::kWarning, "line 7", "spelt \"DX\""},
      {"line width", edited("   1104    1105 ", "   1104 \r\n   1105 "), L::kWarning, "line 18",
       "broken otherwise"},
      {"longitude outside -180..180", edited("X0: 100.0000000000", "X0: 179.9999000000", "GRD_2007", "D"),
       L::kWarning, "line 5", "longitudes"},
      {"latitude outside -90..90", edited("Y0: 40.0000000000", "Y0: 90.5000000000", "GRD_2007", "D"),
       L::kWarning, "line 6", "latitudes"},
      {"height below -500 m", edited("   1006 ", "   -50001 "), L::kWarning, "row 1, column 7",
       "outside -500 m to 9000 m"},
      {"height above 9000 m", edited("   1106 ", "   900001 "), L::kWarning, "row 2, column 7",
       "outside -500 m to 9000 m"},
  };
  for (const Case& c : cases) {
    const std::vector<GridFinding> findings = Check(c.text(), c.options);
    ASSERT_EQ(findings.size(), 1u) << c.name << ":\n" << Describe(findings);
    EXPECT_EQ(findings[0].level, c.level) << c.name;
    EXPECT_EQ(findings[0].Place(), c.place) << c.name;
    EXPECT_NE(findings[0].text.find(c.says), std::string::npos) << c.name << ": " << findings[0].text;
  }
  // Another writer's no-data key, off the layout, is read all the same: it too must be finite.
  EXPECT_EQ(Describe(Check(edited("ZUnit: M\r\n", "ZUnit: M\r\nNODATA_value: inf\r\n")())),
            "warning line 15: \"NODATA_value\" is not a key of the GRD_2007 layout\n"
            "error line 15: NoData is \"inf\", not a finite number\n");
}

// The no-data share: 1 of 24 cells (4.17 %); the threshold's two ends, and a file of no data.
TEST(GridCheck, NoDataShareAboveTheChosenThreshold) {
  const std::string text = Header("GRD_2007") + Data();
  for (auto [percent, warned] : {std::pair{0, true}, {4, true}, {5, false}, {100, false}}) {
    GridCheckOptions options;
    options.maxNoDataPercent = percent;
    const std::vector<GridFinding> findings = Check(text, options);
    EXPECT_EQ(findings.size(), warned ? 1u : 0u) << percent << "%:\n" << Describe(findings);
  }
  std::string empty = Header("GRD_2007") + Data();
  for (int v = 1000; v < 1200; ++v) ReplaceAll(empty, " " + std::to_string(v) + " ", " -99999 ");
  const std::vector<GridFinding> findings = Check(empty);
  ASSERT_EQ(findings.size(), 1u) << Describe(findings);
  EXPECT_EQ(findings[0].text, "every cell is no data");
  EXPECT_EQ(findings[0].Place(), "");
}

}  // namespace
