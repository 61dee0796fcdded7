// `geodem check` run as a user runs it: exit statuses, JSON (and its agreement with info's), -q,
// several files at once, the comparison with the source a file was made from, the quick-look
// pictures, and the sheet check of every sheet geodem sheets cuts.
#include <cpl_json.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "GeodemEndToEnd.h"

namespace {

ProcessResult Check(std::vector<std::string> args) {
  args.insert(args.begin(), "check");
  return GeodemProcess::Geodem(args);
}

// The file with the value at (row, column), counted from 1, replaced through `change`: rows of
// `columns` values in lines of 10 (and an empty line after a row of a multiple of 10), after a
// header of 15 lines (GRD_2007).
std::string EditCell(const std::string& text, int row, int column,
                     const std::function<std::string(long)>& change, int columns = 40) {
  std::istringstream in(text);
  std::string out, line;
  const int linesPerRow = (columns + 9) / 10 + (columns % 10 == 0 ? 1 : 0);
  const int target = 15 + (row - 1) * linesPerRow + (column - 1) / 10 + 1;
  for (int n = 1; std::getline(in, line); ++n) {
    if (n == target) {
      std::istringstream values(line);
      std::string edited;
      long v;
      for (int k = 0; values >> v; ++k)
        edited += "   " + (k == (column - 1) % 10 ? change(v) : std::to_string(v)) + " ";
      line = edited + "\r";
    }
    out += line + "\n";
  }
  return out;
}

TEST(GeodemCheck, CommandLinesThatCannotWorkExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"--max-nodata", "-1", "a.dem"},
                                             {"--max-nodata", "101", "a.dem"},
                                             {"-j", "0", "a.dem"},
                                             {"--band", "2", "a.dem"},
                                             {"--quicklook", "looks", "x/a.dem", "y/a.dem"}}) {
    const ProcessResult r = Check(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args) << r.err;
    EXPECT_NE(r.err.find("error: "), std::string::npos) << r.err;
  }
  // Both ends of the share's range work.
  for (const char* percent : {"0", "100"})
    EXPECT_EQ(Check({"--max-nodata", percent, "/nonexistent.dem"}).status, 1) << percent;
}

TEST_F(GeodemEndToEnd, CheckManyFilesAtOnceAsTextAndJson) {
  TestRaster r;
  r.width = 40;
  r.height = 30;
  r.epsg = 32650;
  const std::string source = Write(r, "s.tif");
  std::vector<std::string> files;
  for (const char* version : {"GRD_2007", "GRD_1999", "GEODEM"}) {
    files.push_back(dir_ / (std::string(version) + ".dem"));
    ASSERT_EQ(Convert({"-q", "--format-version", version, source, files.back()}).status, 0);
  }
  ProcessResult ok = Check({"-j", "2", files[0], files[1], files[2]});
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_NE(ok.out.find("3 files checked: 0 with errors, 0 with warnings only, 3 ok"),
            std::string::npos) << ok.out;

  const std::string broken = dir_ / "broken.dem";
  std::string text = TempDir::ReadFile(files[0]);
  text.replace(text.find("Row: 30"), 7, "Row: 31");
  TempDir::WriteFile(broken, text);
  ProcessResult bad = Check({"--json", files[1], broken});
  EXPECT_EQ(bad.status, 1) << bad.err;
  CPLJSONDocument json;
  ASSERT_TRUE(json.LoadMemory(bad.out)) << bad.out;
  const CPLJSONArray array = json.GetRoot().ToArray();
  ASSERT_EQ(array.Size(), 2);
  EXPECT_EQ(array[0].GetString("status"), "ok");
  EXPECT_EQ(array[1].GetString("file"), broken);
  EXPECT_EQ(array[1].GetString("status"), "errors");
  EXPECT_EQ(array[1].GetArray("errors")[0].GetInteger("row"), 31);
}

TEST_F(GeodemEndToEnd, CheckAgainstTheSourceFindsChangedCellsAndAnotherZoom) {
  TestRaster r;
  r.width = 40;
  r.height = 30;
  r.epsg = 32650;
  r.noData = -9999;
  r.cell = [](int, int x, int y) { return x == 5 && y == 7 ? -9999 : 1200 + 3.7 * x - 1.3 * y; };
  const std::string source = Write(r, "s.tif");
  const std::string file = dir_ / "a.dem";
  ASSERT_EQ(Convert({"-q", "--format-version", "GRD_2007", source, file}).status, 0);
  ProcessResult same = Check({"--source", source, file});
  EXPECT_EQ(same.status, 0) << same.out << same.err;

  TempDir::WriteFile(file, EditCell(TempDir::ReadFile(file), 2, 3, [](long v) { return std::to_string(v + 1); }));
  ProcessResult changed = Check({"--source", source, file});
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.out.find("1 of 1200 cells differ from the source"), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("row 2, column 3  expected 120610 (the source's height 1206.1 m), "
                             "found 120611"),
            std::string::npos) << changed.out;

  // Made at zoom 10 the file is right; under a header that says 100 its cells are named for zoom 10.
  const std::string zoomed = dir_ / "z.dem";
  ASSERT_EQ(Convert({"-q", "--zoom", "10", "--format-version", "GRD_2007", source, zoomed}).status, 0);
  EXPECT_EQ(Check({"--source", source, zoomed}).status, 0);
  std::string text = TempDir::ReadFile(zoomed);
  text.replace(text.find("Hzoom: 10\r"), 9, "Hzoom: 100");
  TempDir::WriteFile(zoomed, text);
  ProcessResult wrongZoom = Check({"--source", source, zoomed});
  EXPECT_EQ(wrongZoom.status, 1);
  EXPECT_NE(wrongZoom.out.find("line 12           the cells are the source's heights at zoom 10, "
                               "but the header's Hzoom is 100\n"),
            std::string::npos) << wrongZoom.out;

  // Written with --nodata -5, the file says so in its .aux.xml; without it, the check says why
  // the no-data cells differ.
  const std::string other = dir_ / "n.dem";
  ASSERT_EQ(Convert({"-q", "--nodata", "-5", source, other}).status, 0);
  EXPECT_EQ(Check({"--source", source, other}).status, 0);
  std::filesystem::remove(other + ".aux.xml");
  ProcessResult noData = Check({"--source", source, other});
  EXPECT_EQ(noData.status, 1);
  EXPECT_NE(noData.out.find("the differing cells are the source's no data, held as -5 where "
                            "-99999 was expected: the file was written with --nodata -5"),
            std::string::npos) << noData.out;
}

// Sheets of 1:10 000 cut from a DEM of 3" cells, with and without a buffer, are windows of it:
// the whole set passes against the source in one command, and an edited cell is named in the
// sheet and in the source. The DEM starts 10 cells east and 7 south of a sheet corner.
TEST_F(GeodemEndToEnd, CheckSheetsAgainstTheirSourceWindowByWindow) {
  TestRaster r;
  r.width = 120;
  r.height = 80;
  r.epsg = 4490;
  const double cell = 3.0 / 3600;
  r.geoTransform = {116.25 + 10 * cell, cell, 0, 40.0 - 7 * cell, 0, -cell};
  r.cell = [](int, int x, int y) { return 300 + 1.25 * x - 0.75 * y; };
  const std::string source = Write(r, "dem.tif");
  for (const char* buffer : {"0", "3"}) {
    SCOPED_TRACE(std::string("--buffer ") + buffer);
    const std::string out = dir_ / (std::string("sheets") + buffer);
    ProcessResult cut = GeodemProcess::Geodem({"sheets", "-q", "--scale", "10000", "--buffer",
                                               buffer, "--format-version", "GRD_2007",
                                               "--out-dir", out, source});
    ASSERT_EQ(cut.status, 0) << cut.err;
    std::vector<std::string> args{"--source", source};
    for (const auto& e : std::filesystem::directory_iterator(out))
      if (e.path().extension() == ".dem") args.push_back(e.path());
    ASSERT_EQ(args.size(), 6u);  // the DEM lies on four sheets
    ProcessResult checked = Check(args);
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
  }
  // The north-west sheet (75 x 50 cells): its cell at row 20, column 30 is the source's at row
  // 13, column 20.
  std::string sheet;
  for (const auto& e : std::filesystem::directory_iterator(dir_ / "sheets0"))
    if (e.path().extension() == ".dem" &&
        TempDir::ReadFile(e.path()).find("X0: 116.2500000000\r\nY0: 40.0000000000") !=
            std::string::npos)
      sheet = e.path();
  ASSERT_FALSE(sheet.empty());
  TempDir::WriteFile(sheet, EditCell(TempDir::ReadFile(sheet), 20, 30,
                                     [](long v) { return std::to_string(v + 1); }, 75));
  ProcessResult edited = Check({"--source", source, sheet});
  EXPECT_EQ(edited.status, 1);
  EXPECT_NE(edited.out.find("1 of 3750 cells differ from the source"), std::string::npos)
      << edited.out;
  EXPECT_NE(edited.out.find("row 20, column 30  expected 31475 (the source's height 314.75 m at "
                            "row 13, column 20 of the source), found 31476"),
            std::string::npos)
      << edited.out;
}

// A roof whose ridge runs from the north-east corner to the south-west one: GDAL's hillshade, lit
// from the north-west, makes the north-west face bright and the south-east face dark, whatever the
// colours (the two faces hold the same heights). A no-data block on the ridge's north-east end.
TEST_F(GeodemEndToEnd, QuickLookIsShadedSizedAndTransparentWhereNoData) {
  TestRaster r;
  r.width = r.height = 1200;
  r.geoTransform = {500000, 10, 0, 4000000, 0, -10};
  r.epsg = 32650;
  r.noData = -9999;
  r.cell = [](int, int x, int y) {
    return x > 1100 && y < 100 ? -9999 : 2000 - 0.5 * std::abs(x + y - 1199);
  };
  const std::string source = Write(r, "roof.tif"), file = dir_ / "roof.dem";
  ASSERT_EQ(Convert({"-q", source, file}).status, 0);
  const std::string looks = dir_ / "looks";
  ProcessResult run = Check({"--quicklook", looks, file});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // -q: the picture alone, no description.
  ProcessResult info = GeodemProcess::Geodem({"info", "-q", "--quicklook", dir_ / "info.png", file});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out, "");
  EXPECT_EQ(TempDir::ReadFile(dir_ / "info.png"), TempDir::ReadFile(looks + "/roof.png"));

  GDALDatasetH png = GDALOpen((looks + "/roof.png").c_str(), GA_ReadOnly);
  ASSERT_NE(png, nullptr);
  const int w = GDALGetRasterXSize(png), h = GDALGetRasterYSize(png);
  ASSERT_EQ(w, 1024);
  ASSERT_EQ(h, 1024);
  ASSERT_EQ(GDALGetRasterCount(png), 4);
  EXPECT_STREQ(GDALGetMetadataItem(png, "legend_min_m", nullptr), "1400.5");
  EXPECT_STREQ(GDALGetMetadataItem(png, "legend_max_m", nullptr), "2000");
  std::vector<unsigned char> rgba(static_cast<std::size_t>(4 * w * h));
  ASSERT_EQ(GDALDatasetRasterIO(png, GF_Read, 0, 0, w, h, rgba.data(), w, h, GDT_Byte, 4, nullptr,
                                0, 0, 0),
            CE_None);
  GDALClose(png);
  const std::size_t n = static_cast<std::size_t>(w) * h;
  auto at = [&](int x, int y, int band) { return rgba[band * n + static_cast<std::size_t>(y) * w + x]; };
  // The no-data block (x > 1100, y < 100 of 1200) and the cells around it.
  EXPECT_EQ(at(1000, 20, 3), 0);
  EXPECT_EQ(at(900, 200, 3), 255);
  int brightest = -1, darkest = 1000, bx = 0, by = 0, dx = 0, dy = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (at(x, y, 3) == 0) continue;
      const int light = at(x, y, 0) + at(x, y, 1) + at(x, y, 2);
      if (light > brightest) brightest = light, bx = x, by = y;
      if (light < darkest) darkest = light, dx = x, dy = y;
    }
  }
  EXPECT_LT(bx + by, w - 1) << "brightest at " << bx << ", " << by;
  EXPECT_GT(dx + dy, w - 1) << "darkest at " << dx << ", " << dy;
}

}  // namespace

namespace {

// Sheet J50E001010 of 1:50 000 is 116.25-116.5 E, 39 50'-40 N. The grid converted straight
// from the source reaches 36" past it on three sides and 12" on the south; the sheet geodem
// sheets cuts covers it exactly; under its east neighbour's number it falls 15' short on the east.
TEST_F(GeodemEndToEnd, CheckSheetCoverageWithTheMargins) {
  TestRaster r;
  r.width = 270;
  r.height = 180;
  r.epsg = 4326;
  r.geoTransform = {116.24, 0.001, 0, 40.01, 0, -0.001};
  r.cell = [](int, int x, int y) { return 500 + x - y; };
  const std::string source = Write(r, "sheet.tif"), file = dir_ / "J50E001010.dem";
  ASSERT_EQ(Convert({"-q", "--prj", source, file}).status, 0);
  ProcessResult covered = Check({"--sheet", "--scale", "50000", file});
  EXPECT_EQ(covered.status, 0) << covered.out << covered.err;
  EXPECT_NE(covered.out.find("sheet J50E001010: margins west +36.000\", east +36.000\", north "
                             "+36.000\", south +12.000\""),
            std::string::npos) << covered.out;

  const std::string cut = dir_ / "cut";
  ASSERT_EQ(GeodemProcess::Geodem({"sheets", "-q", "--scale", "50000", "--prj", "--out-dir", cut, source})
                .status,
            0);
  ProcessResult exact = Check({"--sheet", cut + "/J50E001010.dem"});
  EXPECT_EQ(exact.status, 0) << exact.out << exact.err;
  EXPECT_NE(exact.out.find("margins west +0.000\", east +0.000\", north +0.000\""),
            std::string::npos) << exact.out;

  const std::string moved = dir_ / "moved";
  std::filesystem::create_directory(moved);
  std::filesystem::rename(cut + "/J50E001010.dem", moved + "/J50E001011.dem");
  std::filesystem::rename(cut + "/J50E001010.prj", moved + "/J50E001011.prj");
  ProcessResult neighbour = Check({"--sheet", moved + "/J50E001011.dem"});
  EXPECT_EQ(neighbour.status, 1);
  EXPECT_NE(neighbour.out.find("the grid does not cover sheet J50E001011, short of its east edge: "
                               "margins west +900.000\", east -900.000\""),
            std::string::npos) << neighbour.out;
  EXPECT_EQ(Check({"--sheet", "--scale", "25000", file}).status, 1);
  EXPECT_EQ(Check({"--sheet", "--scale", "30000", file}).status, 2);
}

// At the edge of what a header of few decimals can state: X0 116.25 and DX of five decimals let
// the east edge of 25 columns lie 0.005 + 25 x 0.000005 degrees from where they put it. A grid
// short of J50E001010's east edge by a quarter of that passes; one short by a little more fails,
// naming the edge.
TEST_F(GeodemEndToEnd, CheckSheetAtTheToleranceOfTheHeadersDecimals) {
  auto grid = [](const char* dx) {
    std::string text = std::string("DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\n") +
                       "Alpha: 0.000000\r\nCompress: 0\r\nX0: 116.25\r\nY0: 40.00\r\nDX: " + dx +
                       "\r\nDY: 0.01\r\nRow: 17\r\nCol: 25\r\nValueType: Integer\r\n" +
                       "Hzoom: 100\r\nXYUnit: D\r\nZUnit: M\r\n\r\n";
    for (int r = 0; r < 17; ++r)
      for (int c = 0; c < 25; ++c)
        text += "   " + std::to_string(1000 + r + c) + " " + (c % 10 == 9 || c == 24 ? "\r\n" : "");
    return text;
  };
  for (auto [dx, covered] : {std::pair{"0.00995", true}, {"0.00974", false}}) {
    SCOPED_TRACE(dx);
    const std::string file = dir_ / (std::string(covered ? "a/" : "b/") + "J50E001010.dem");
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    TempDir::WriteFile(file, grid(dx));
    ProcessResult r = Check({"--sheet", file});
    EXPECT_EQ(r.status, covered ? 0 : 1) << r.out;
    EXPECT_EQ(r.out.find("short of its east edge") != std::string::npos, !covered) << r.out;
  }
}

// Every sheet geodem sheets cuts passes check --sheet, whatever the cell size: the header rounds
// the cell size to its decimals, and a grid cut exactly at the sheet's edges falls short of them
// by that rounding times the cells. A 2 x 2 patch of heights one cell inside the north-west corner
// of J50E001010 (1:50 000) and of J50G001037 (1:10 000) gives one sheet at each scale.
TEST_F(GeodemEndToEnd, EverySheetCutPassesTheSheetCheck) {
  struct Cut {
    int epsg;
    double cell;  // arc-seconds or metres
    std::vector<const char*> scales;
  };
  std::vector<Cut> cuts;
  for (double seconds : {0.5, 1.0, 3.0, 5.0, 7.5, 15.0, 30.0})
    cuts.push_back({4490, seconds, {"50000", "10000"}});
  for (double metres : {2.0, 5.0, 10.0, 25.0}) cuts.push_back({32650, metres, {"10000"}});
  // The patch's corner in UTM zone 50N: 116.26 E, 39.99 N, inside J50G001037.
  double x = 116.26, y = 39.99;
  OGRSpatialReferenceH geographic = OSRNewSpatialReference(nullptr), utm = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(geographic, 4490);
  OSRImportFromEPSG(utm, 32650);
  OSRSetAxisMappingStrategy(geographic, OAMS_TRADITIONAL_GIS_ORDER);
  OGRCoordinateTransformationH toUtm = OCTNewCoordinateTransformation(geographic, utm);
  ASSERT_TRUE(OCTTransform(toUtm, 1, &x, &y, nullptr));
  OCTDestroyCoordinateTransformation(toUtm);
  OSRDestroySpatialReference(geographic);
  OSRDestroySpatialReference(utm);

  for (const Cut& cut : cuts) {
    TestRaster r;
    r.width = r.height = 2;
    r.epsg = cut.epsg;
    const double size = cut.epsg == 4490 ? cut.cell / 3600 : cut.cell;
    r.geoTransform = cut.epsg == 4490
                         ? std::array<double, 6>{116.25 + size, size, 0, 40.0 - size, 0, -size}
                         : std::array<double, 6>{std::floor(x / size) * size, size, 0,
                                                 std::floor(y / size) * size, 0, -size};
    const std::string name = std::to_string(cut.epsg) + "-" + std::to_string(cut.cell);
    const std::string source = Write(r, name + ".tif");
    for (const char* scale : cut.scales) {
      const std::string out = dir_ / (name + "-" + scale);
      ProcessResult made = GeodemProcess::Geodem({"sheets", "-q", "--scale", scale, "--prj",
                                                  "--format-version", "GRD_2007", "--out-dir", out,
                                                  source});
      ASSERT_EQ(made.status, 0) << name << " 1:" << scale << "\n" << made.err;
      std::vector<std::string> files;
      for (const auto& e : std::filesystem::directory_iterator(out))
        if (e.path().extension() == ".dem") files.push_back(e.path());
      ASSERT_EQ(files.size(), 1u) << name << " 1:" << scale;
      files.insert(files.begin(), {"--sheet", "--scale", scale});
      ProcessResult checked = Check(files);
      EXPECT_EQ(checked.status, 0) << name << " 1:" << scale << "\n" << checked.out << checked.err;
    }
  }

  // The 3" sheet of 1:50 000 (300 columns: rows of 30 lines and an empty one) without its last row.
  const std::string file = dir_ / "4490-3.000000-50000/J50E001010.dem";
  std::string text = TempDir::ReadFile(file);
  text.replace(text.find("Row: 200\r"), 9, "Row: 199");
  std::size_t end = text.size();
  for (int line = 0; line < 32; ++line) end = text.rfind("\r\n", end - 1);
  TempDir::WriteFile(file, text.substr(0, end + 2));
  ProcessResult shortOne = Check({"--sheet", file});
  EXPECT_EQ(shortOne.status, 1) << shortOne.out;
  EXPECT_NE(shortOne.out.find("short of its south edge: margins west +0.000\", east +0.000\", "
                              "north +0.000\", south -3.000\""),
            std::string::npos)
      << shortOne.out;
}

// info --json and check --json of one file give every figure they share alike.
TEST_F(GeodemEndToEnd, InfoAndCheckAgreeOnTheFiguresTheyShare) {
  TestRaster r;
  r.width = 30;
  r.height = 20;
  r.epsg = 32650;
  r.noData = -9999;
  r.cell = [](int, int x, int y) { return x == 3 && y < 4 ? -9999 : 250.25 + 3.7 * x - 1.3 * y; };
  const std::string file = dir_ / "a.dem";
  ASSERT_EQ(Convert({"-q", Write(r, "a.tif"), file}).status, 0);
  ProcessResult info = GeodemProcess::Geodem({"info", "--json", file});
  ProcessResult check = Check({"--json", file});
  ASSERT_EQ(info.status, 0) << info.err;
  ASSERT_EQ(check.status, 0) << check.out << check.err;
  CPLJSONDocument infoJson, checkJson;
  ASSERT_TRUE(infoJson.LoadMemory(info.out)) << info.out;
  ASSERT_TRUE(checkJson.LoadMemory(check.out)) << check.out;
  const CPLJSONObject checked = checkJson.GetRoot().ToArray()[0];
  std::vector<std::string> shared;
  for (const CPLJSONObject& field : infoJson.GetRoot().GetChildren()) {
    const CPLJSONObject other = checked.GetObj(field.GetName());
    if (!other.IsValid()) continue;
    shared.push_back(field.GetName());
    EXPECT_EQ(field.Format(CPLJSONObject::PrettyFormat::Plain),
              other.Format(CPLJSONObject::PrettyFormat::Plain))
        << field.GetName();
  }
  EXPECT_EQ(shared, (std::vector<std::string>{"file", "rows", "columns", "zoom", "nodata", "cells",
                                              "nodata_cells", "nodata_share", "min_m", "max_m"}));
  EXPECT_EQ(checked.GetLong("nodata_cells"), 4);
}

// -q leaves out the files without findings and a summary with nothing to say; the status stays.
// --verbose adds each file's figures.
TEST_F(GeodemEndToEnd, CheckQuietPrintsOnlyFindingsAndVerboseTheFigures) {
  TestRaster r;
  r.width = 12;
  r.height = 3;
  r.epsg = 32650;
  const std::string good = dir_ / "good.dem", bad = dir_ / "bad.dem";
  ASSERT_EQ(Convert({"-q", "--format-version", "GRD_2007", Write(r, "s.tif"), good}).status, 0);
  std::string text = TempDir::ReadFile(good);
  text.replace(text.find("Row: 3"), 6, "Row: 4");
  TempDir::WriteFile(bad, text);
  ProcessResult quiet = Check({"-q", good});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  quiet = Check({"--quiet", good, bad});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out.find(good + ":"), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find(bad + ": 1 error, 0 warnings\n"), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find("2 files checked: 1 with errors"), std::string::npos) << quiet.out;
  ProcessResult verbose = Check({"--verbose", good});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_NE(verbose.out.find(good + ": ok\n  36 cells, 0 no data (0.00%), heights "),
            std::string::npos)
      << verbose.out;
  EXPECT_EQ(Check({"-q", "--verbose", good}).status, 2);
  // A folder given as a file is named a folder, as info names it, not an empty file.
  ProcessResult folder = Check({dir_.Path().string()});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.out.find("is a folder"), std::string::npos) << folder.out;
  EXPECT_EQ(folder.out.find("empty"), std::string::npos) << folder.out;
}

}  // namespace
