// What a grid file tells the next program: its unit (degrees stay degrees, with or without a
// .prj, with the header's ten decimals), the no-data value it was written with (its .aux.xml,
// read by GDAL with no option), heights no zoom fits refused alike at both ends, and a grid of no
// data alone said as it is made.
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>

#include "GeodemEndToEnd.h"
#include "support/ScopedEnvironment.h"

namespace {

class GeodemGridCarries : public GeodemEndToEnd {
 protected:
  static void SetUpTestSuite() {
    GeodemEndToEnd::SetUpTestSuite();
    LoadGeodemDriver();
  }

  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

// A geographic grid of 2.5' cells (EPSG:4490), written with and without its .prj, converted again
// to each layout through the driver: degrees, and the header's ten decimals, every time. Without
// a .prj, --a_srs gives the grid and .prj that --prj gives from the source.
TEST_F(GeodemGridCarries, DegreesTravelWithOrWithoutPrj) {
  ScopedEnvironment driver({{"GDAL_DRIVER_PATH", GEODEM_GDAL_PLUGIN_DIR}});
  TestRaster r;
  r.width = 12;
  r.height = 8;
  r.epsg = 4490;
  r.geoTransform = {116.0, 2.5 / 60, 0, 40.0, 0, -2.5 / 60};
  r.cell = [](int, int x, int y) { return 800 + 7.25 * x - 3.5 * y; };
  const std::string source = Write(r, "geo.tif");
  const std::string withPrj = dir_ / "with.dem", without = dir_ / "without.dem";
  ASSERT_EQ(Convert({"-q", "--prj", source, withPrj}).status, 0);
  ASSERT_EQ(Convert({"-q", source, without}).status, 0);
  ASSERT_TRUE(std::filesystem::exists(dir_ / "with.prj"));
  ASSERT_FALSE(std::filesystem::exists(dir_ / "without.prj"));

  struct Layout {
    const char* version;
    const char* unitLine;
  };
  for (const Layout& layout :
       {Layout{"GRD_2007", "\r\nXYUnit: D\r\n"}, Layout{"GRD_1999", "\r\nUnit: D\r\n"},
        Layout{"GEODEM", "\r\n1.0\r\nD\r\n"}}) {
    for (const std::string& grid : {withPrj, without}) {
      SCOPED_TRACE(grid + " as " + layout.version);
      const std::string again = dir_ / "again.dem";
      const ProcessResult r2 =
          Convert({"-q", "--overwrite", "--format-version", layout.version, grid, again});
      ASSERT_EQ(r2.status, 0) << r2.err;
      const std::string text = TempDir::ReadFile(again);
      EXPECT_TRUE(Contains(text, layout.unitLine)) << text.substr(0, 300);
      EXPECT_TRUE(Contains(text, "0.0416666667\r\n")) << text.substr(0, 300);
      EXPECT_TRUE(Contains(text, "116.0000000000\r\n")) << text.substr(0, 300);
    }
  }

  // The driver's CreateCopy (gdal_translate -of GEODEM) of the grid without its .prj alike.
  GDALDatasetH grid = GDALOpen(without.c_str(), GA_ReadOnly);
  ASSERT_NE(grid, nullptr);
  const char* const options[] = {"VERSION=GRD_2007", nullptr};
  GDALDatasetH copy = GDALCreateCopy(GDALGetDriverByName("GEODEM"), (dir_ / "copy.dem").c_str(),
                                     grid, FALSE, const_cast<char**>(options), nullptr, nullptr);
  ASSERT_NE(copy, nullptr) << CPLGetLastErrorMsg();
  GDALClose(copy);
  GDALClose(grid);
  const std::string copied = TempDir::ReadFile(dir_ / "copy.dem");
  EXPECT_TRUE(Contains(copied, "\r\nXYUnit: D\r\n")) << copied.substr(0, 300);
  EXPECT_TRUE(Contains(copied, "DX: 0.0416666667\r\n")) << copied.substr(0, 300);

  const std::string assigned = dir_ / "assigned.dem";
  const ProcessResult a = Convert({"-q", "--prj", "--a_srs", "EPSG:4490", without, assigned});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(TempDir::ReadFile(assigned), TempDir::ReadFile(withPrj));
  // The same system (a GeoTIFF keeps the flattening to fewer digits than EPSG's own definition).
  const std::string prj = TempDir::ReadFile(dir_ / "assigned.prj");
  EXPECT_EQ(prj.rfind("GEOGCS[\"GCS_China_Geodetic_Coordinate_System_2000\"", 0), 0u) << prj;
  EXPECT_TRUE(Contains(prj, ",AUTHORITY[\"EPSG\",\"4490\"]]\n")) << prj;
  const ProcessResult unknown = Convert({"--a_srs", "EPSG:0", without, dir_ / "x.dem"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(Contains(unknown.err, "--a_srs: 'EPSG:0' is not a coordinate system")) << unknown.err;

  // A source without a coordinate system whose extent looks like degrees: the advice works.
  r.epsg = 0;
  const std::string bare = Write(r, "bare.tif");
  const ProcessResult warned = Convert({bare, dir_ / "bare.dem"});
  EXPECT_TRUE(Contains(warned.err, "(geodem convert --a_srs EPSG:4490")) << warned.err;
  const ProcessResult advised =
      Convert({"-q", "--prj", "--a_srs", "EPSG:4490", bare, dir_ / "advised.dem"});
  ASSERT_EQ(advised.status, 0) << advised.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "advised.dem"), TempDir::ReadFile(withPrj));
}

// Written with another no-data value than the default, a grid carries it in its .aux.xml, and GDAL
// (and geodem info) read it with no option; written again with the default, the .aux.xml goes.
TEST_F(GeodemGridCarries, NoDataValueReachesEveryGdalReader) {
  TestRaster r;
  r.width = 9;
  r.height = 6;
  r.epsg = 32650;
  r.noData = -32768;
  r.cell = [](int, int x, int y) { return (x + y) % 4 == 0 ? -32768 : 100 + x; };
  const std::string source = Write(r, "s.tif"), grid = dir_ / "g.dem";
  const std::string aux = grid + ".aux.xml";
  struct Case {
    const char* noData;  // nullptr: the default
    double seen;
  };
  for (const Case& c : {Case{"-9999", -9999}, Case{"0", 0}, Case{nullptr, -99999}}) {
    SCOPED_TRACE(c.noData ? c.noData : "default");
    std::vector<std::string> args{"-q", "--overwrite"};
    if (c.noData) args.insert(args.end(), {"--nodata", c.noData});
    args.insert(args.end(), {source, grid});
    ASSERT_EQ(Convert(args).status, 0);
    EXPECT_EQ(std::filesystem::exists(aux), c.noData != nullptr);
    const char* drivers[] = {"GEODEM", nullptr};
    GDALDatasetH ds = GDALOpenEx(grid.c_str(), GDAL_OF_RASTER, drivers, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    int has = 0;
    EXPECT_EQ(GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 1), &has), c.seen);
    EXPECT_TRUE(has);
    GDALClose(ds);
    const ProcessResult info = GeodemProcess::Geodem({"info", "--json", grid});
    EXPECT_TRUE(Contains(info.out, "\"nodata_cells\": 14")) << info.out;
  }
}

// A height that no zoom fits is refused, with its place and the way out, whichever its sign:
// -3.4e38 (the lowest float, which a float source's no-data cells become on their way to the
// writer) as +3.4e38, beside NaN no-data cells, in geodem and in the driver.
TEST_F(GeodemGridCarries, HeightsNoZoomFitsAreRefusedAtBothEnds) {
  for (const double height :
       {-static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX), 1e30, -1e20}) {
    SCOPED_TRACE(height);
    TestRaster r;
    r.width = 5;
    r.height = 4;
    r.epsg = 32650;
    r.cell = [&](int, int x, int y) {
      return x == 2 && y == 1 ? height : x == 0 && y == 0 ? NAN : 10.0 * x;
    };
    const std::string source = Write(r, "s.tif");
    const ProcessResult refused = Convert({"-q", "--overwrite", source, dir_ / "g.dem"});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(Contains(refused.err, "the cell at row 2, column 3 of " + source + " holds "))
        << refused.err;
    EXPECT_TRUE(Contains(refused.err, "a height that the grid's integers cannot hold at any zoom"))
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "g.dem"));

    GDALDatasetH src = GDALOpen(source.c_str(), GA_ReadOnly);
    CPLErrorReset();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetH copy = GDALCreateCopy(GDALGetDriverByName("GEODEM"), (dir_ / "d.dem").c_str(), src,
                                       FALSE, nullptr, nullptr, nullptr);
    CPLPopErrorHandler();
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(Contains(CPLGetLastErrorMsg(), "(row 2, column 3 of")) << CPLGetLastErrorMsg();
    EXPECT_TRUE(Contains(CPLGetLastErrorMsg(), "as any zoom would")) << CPLGetLastErrorMsg();
    if (copy) GDALClose(copy);
    GDALClose(src);
  }
}

TEST_F(GeodemGridCarries, ConvertWarnsOfAGridOfNoDataAlone) {
  TestRaster r;
  r.epsg = 32650;
  r.noData = -9999;
  r.cell = [](int, int, int) { return -9999; };
  const std::string source = Write(r, "s.tif");
  const ProcessResult empty = Convert({source, dir_ / "g.dem"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(Contains(empty.err, "warning: every cell of " + (dir_ / "g.dem") + " is no data"))
      << empty.err;
  r.cell = [](int, int x, int) { return x; };
  const ProcessResult some = Convert({Write(r, "t.tif"), dir_ / "h.dem"});
  EXPECT_FALSE(Contains(some.err, "is no data")) << some.err;
}

}  // namespace
