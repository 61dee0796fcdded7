// geodem on sources that need the reading rules: masks and alpha, scale and feet, --band, mosaics
// of pieces that differ, and the requests it refuses before writing (zooms, no-data values, a
// source that reads the output). Grid files are compared with what the format gives for heights
// worked out here, in double, from the cells written.
#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <cpl_string.h>

#include <filesystem>

#include "ExpectedGrid.h"
#include "GeodemEndToEnd.h"

namespace {

constexpr double kNone = -9999;  // a height no case uses: the expected grid's no-data cells

// A projected surface with negative, zero and fractional heights.
TestRaster Surface() {
  TestRaster r;
  r.width = 29;
  r.height = 17;
  r.epsg = 32650;
  r.geoTransform = {500000, 30, 0, 4000000, 0, -30};
  r.cell = [](int, int x, int y) { return (x - 9) * 2.75 + (y - 5) * 0.5; };
  return r;
}

bool Masked(int x, int y) { return (x * 3 + y) % 7 == 0; }

class GeodemSourceRules : public GeodemEndToEnd {
 protected:
  // The grid of heights(x, y) (kNone for no data) on r's grid.
  static ExpectedGrid Grid(const TestRaster& r, const std::function<double(int, int)>& heights,
                           bool wide = false) {
    ExpectedGrid g;
    g.x0 = r.geoTransform[0];
    g.y0 = r.geoTransform[3];
    g.dx = r.geoTransform[1];
    g.dy = -r.geoTransform[5];
    g.cols = r.width;
    g.rows = r.height;
    g.wide = wide;
    g.sourceNoData = kNone;
    for (int y = 0; y < r.height; ++y)
      for (int x = 0; x < r.width; ++x) g.cells.push_back(heights(x, y));
    return g;
  }

  // Opens a written raster for an edit the test raster cannot express.
  static void Edit(const std::string& path, const std::function<void(GDALDatasetH)>& edit) {
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_Update);
    ASSERT_TRUE(ds);
    edit(ds);
    GDALClose(ds);
  }

  void ExpectConverted(const std::vector<std::string>& args, const ExpectedGrid& expected,
                       const std::string& output) {
    ProcessResult r = Convert(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TempDir::ReadFile(output), expected.Text());
    last_ = r;
  }

  ProcessResult last_;
};

TEST_F(GeodemSourceRules, MaskedAndTransparentCellsAreNoData) {
  // An alpha band, as gdalwarp -dstalpha writes it.
  TestRaster alpha = Surface();
  alpha.bands = 2;
  alpha.cell = [](int b, int x, int y) {
    return b == 1 ? (Masked(x, y) ? 0.0 : 255.0) : Surface().cell(0, x, y);
  };
  const std::string alphaPath = Write(alpha, "alpha.tif");
  Edit(alphaPath, [](GDALDatasetH ds) {
    GDALSetRasterColorInterpretation(GDALGetRasterBand(ds, 2), GCI_AlphaBand);
  });
  const auto masked = [](int x, int y) { return Masked(x, y) ? kNone : Surface().cell(0, x, y); };
  ExpectConverted({alphaPath, dir_ / "alpha.dem"}, Grid(alpha, masked), dir_ / "alpha.dem");

  // An internal mask over an integer band without a no-data value.
  TestRaster integer = Surface();
  integer.type = GDT_Int16;
  integer.cell = [](int, int x, int y) { return x * 11 - y * 7.0; };
  const std::string maskPath = Write(integer, "mask.tif");
  CPLSetConfigOption("GDAL_TIFF_INTERNAL_MASK", "YES");
  Edit(maskPath, [](GDALDatasetH ds) {
    ASSERT_EQ(GDALCreateDatasetMaskBand(ds, GMF_PER_DATASET), CE_None);
    GDALRasterBandH mask = GDALGetMaskBand(GDALGetRasterBand(ds, 1));
    for (int y = 0; y < Surface().height; ++y) {
      for (int x = 0; x < Surface().width; ++x) {
        unsigned char v = Masked(x, y) ? 0 : 255;
        ASSERT_EQ(GDALRasterIO(mask, GF_Write, x, y, 1, 1, &v, 1, 1, GDT_Byte, 0, 0), CE_None);
      }
    }
  });
  CPLSetConfigOption("GDAL_TIFF_INTERNAL_MASK", nullptr);
  ExpectConverted({"--block-size", "8", maskPath, dir_ / "mask.dem"},
                  Grid(integer, [](int x, int y) { return Masked(x, y) ? kNone : x * 11 - y * 7.0; }),
                  dir_ / "mask.dem");
}

TEST_F(GeodemSourceRules, ScaleOffsetAndFeetGiveMetres) {
  TestRaster raw = Surface();
  raw.type = GDT_Int16;
  raw.noData = -32768;
  raw.cell = [](int, int x, int y) { return x == y ? -32768 : 14130.0 + x * 37 - y * 11; };
  const std::string scaled = Write(raw, "scaled.tif");
  Edit(scaled, [](GDALDatasetH ds) {
    GDALSetRasterScale(GDALGetRasterBand(ds, 1), 0.1);
    GDALSetRasterOffset(GDALGetRasterBand(ds, 1), -2.5);
  });
  ExpectConverted({scaled, dir_ / "scaled.dem"},
                  Grid(raw,
                       [&](int x, int y) {
                         return x == y ? kNone : (14130.0 + x * 37 - y * 11) * 0.1 - 2.5;
                       },
                       true),
                  dir_ / "scaled.dem");

  TestRaster feet = Surface();
  feet.noData = -1;
  feet.cell = [](int, int x, int y) { return x == 3 ? -1 : 5000.25 + x * 3 - y; };
  const std::string feetPath = Write(feet, "feet.tif");
  Edit(feetPath,
       [](GDALDatasetH ds) { GDALSetRasterUnitType(GDALGetRasterBand(ds, 1), "ft"); });
  ExpectConverted({feetPath, dir_ / "feet.dem"},
                  Grid(feet,
                       [](int x, int y) { return x == 3 ? kNone : (5000.25 + x * 3 - y) * 0.3048; },
                       true),
                  dir_ / "feet.dem");
  EXPECT_NE(last_.err.find("info: band 1 of " + feetPath + " is in ft: heights are converted to "
                           "metres (x 0.3048)"),
            std::string::npos)
      << last_.err;
}

// Coordinates in a unit the header has no letter for are said to be converted; a source without a
// coordinate system is warned about, and one that looks like longitude and latitude says so.
TEST_F(GeodemSourceRules, CoordinateUnitsAreSaidOrWarnedAbout) {
  struct Case {
    const char* name;
    const char* srs;  // nullptr: none
    std::array<double, 6> transform;
    const char* said;
    bool degrees;  // the longitude and latitude hint
  };
  const Case cases[] = {
      {"kilometres", "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=40 +lon_0=105 +datum=WGS84 +units=km",
       {-778.75, 1, 0, 500, 0, -1}, "info: the coordinates of ", false},
      {"no system, metres", nullptr, {500000, 30, 0, 4000000, 0, -30}, "warning: ", false},
      {"no system, degrees", nullptr, {110, 0.001, 0, 40, 0, -0.001}, "warning: ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRaster r = Surface();
    r.epsg = 0;
    r.geoTransform = c.transform;
    const std::string path = Write(r, "units.tif");
    if (c.srs) Edit(path, [&](GDALDatasetH ds) {
      OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
      OSRSetFromUserInput(srs, c.srs);
      GDALSetSpatialRef(ds, srs);
      OSRDestroySpatialReference(srs);
    });
    const ProcessResult result = Convert({"--overwrite", path, dir_ / "units.dem"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(c.said + path), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("longitude and latitude") != std::string::npos, c.degrees)
        << result.err;
  }
}

TEST_F(GeodemSourceRules, BandChosenByNumber) {
  TestRaster r = Surface();
  r.bands = 3;
  r.cell = [](int b, int x, int y) { return b * 1000 + x - y * 0.25; };
  const std::string path = Write(r, "three.tif");
  ExpectConverted({"--band", "2", path, dir_ / "band2.dem"},
                  Grid(r, [&](int x, int y) { return r.cell(1, x, y); }), dir_ / "band2.dem");
  EXPECT_NE(last_.err.find("has 3 bands: band 2 is converted"), std::string::npos) << last_.err;
  ProcessResult missing = Convert({"--band", "4", path, dir_ / "band4.dem"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("has no band 4 (it has 3)"), std::string::npos) << missing.err;
}

// Two pieces of one surface: the west part, and the east part warped onto the whole extent with
// a no-data collar where the west part lies. Either order gives the whole.
TEST_F(GeodemSourceRules, PieceAndCollaredPieceMakeTheWhole) {
  TestRaster whole = Surface();
  whole.noData = kNone;
  whole.cell = [](int, int x, int y) { return x == y ? kNone : x * 0.75 - y * 1.5 + 0.125; };
  TestRaster west = whole, collared = whole;
  west.width = 12;
  collared.cell = [&](int b, int x, int y) { return x < 10 ? kNone : whole.cell(b, x, y); };
  const std::string westPath = Write(west, "west.tif"), collaredPath = Write(collared, "east.tif");
  const ExpectedGrid expected = Grid(whole, [&](int x, int y) { return whole.cell(0, x, y); });
  ExpectConverted({"--block-size", "8", westPath, collaredPath, dir_ / "a.dem"}, expected,
                  dir_ / "a.dem");
  ExpectConverted({"--block-size", "8", collaredPath, westPath, dir_ / "b.dem"}, expected,
                  dir_ / "b.dem");
}

TEST_F(GeodemSourceRules, PiecesWithOtherNoDataValues) {
  // The west piece marks no data with 0; the east one holds valid heights of 0 m.
  TestRaster west = Surface(), east = Surface();
  west.type = east.type = GDT_Int16;
  west.width = 10;
  west.noData = 0;
  west.cell = [](int, int x, int y) { return (x + y) % 4 == 0 ? 0 : x * 10 + y; };
  east.noData = -9999;
  east.geoTransform[0] += 10 * east.geoTransform[1];
  east.width = Surface().width - 10;
  east.cell = [](int, int x, int y) { return (x + y) % 3 == 0 ? 0 : -x * 10 - y; };
  const std::string westPath = Write(west, "west.tif"), eastPath = Write(east, "east.tif");
  TestRaster whole = Surface();
  ExpectConverted({westPath, eastPath, dir_ / "area.dem"},
                  Grid(whole,
                       [&](int x, int y) {
                         if (x < 10) return (x + y) % 4 == 0 ? kNone : x * 10.0 + y;
                         return east.cell(0, x - 10, y);
                       }),
                  dir_ / "area.dem");
  EXPECT_NE(last_.err.find("marks no-data cells with -2147483648 (Int32)"), std::string::npos)
      << last_.err;
}

// Pieces of other types, band counts, and cell sizes and corners that differ by float noise make
// one mosaic of the heights.
TEST_F(GeodemSourceRules, PiecesThatDifferInTypeBandsAndFloatNoise) {
  TestRaster whole = Surface();
  TestRaster west = whole, east = whole;
  west.type = GDT_Int16;
  west.width = 10;
  west.cell = [](int, int x, int y) { return x * 10.0 - y; };
  east.bands = 2;
  east.width = whole.width - 10;
  east.geoTransform[0] += 10 * whole.geoTransform[1] * (1 + 1e-12);
  east.geoTransform[1] *= 1 + 1e-15;
  east.geoTransform[5] *= 1 - 1e-15;
  east.cell = [&](int b, int x, int y) { return b == 1 ? 0.0 : whole.cell(0, x + 10, y); };
  ExpectConverted({Write(west, "west.tif"), Write(east, "east.tif"), dir_ / "area.dem"},
                  Grid(whole,
                       [&](int x, int y) {
                         return x < 10 ? x * 10.0 - y : static_cast<double>(static_cast<float>(
                                                            whole.cell(0, x, y)));
                       }),
                  dir_ / "area.dem");
}

TEST_F(GeodemSourceRules, PieceOffTheGridIsRefused) {
  TestRaster west = Surface(), east = Surface();
  east.geoTransform[0] += (west.width + 0.25) * west.geoTransform[1];
  ProcessResult r = Convert({Write(west, "west.tif"), Write(east, "east.tif"), dir_ / "area.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("do not lie on the grid of"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gdalwarp"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "area.dem"));
}

TEST_F(GeodemSourceRules, ZoomsAndNoDataValuesThatDestroyHeightsAreRefused) {
  TestRaster r = Surface();
  r.cell = [](int, int x, int y) { return x == 2 && y == 2 ? 1736 : x - y * 0.5; };
  const std::string source = Write(r, "dem.tif");
  const std::string output = dir_ / "dem.dem";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--zoom", "0"}, "--zoom must be from 1 to 2147483647, not 0"},
      {{"--zoom", "-1"}, "--zoom must be from 1 to 2147483647, not -1"},
      {{"-p", "DEM_ZOOM=0.5"},
       "-p DEM_ZOOM must be a whole number from 1 to 2147483647, not '0.5'"},
      {{"-p", "DEM_ZOOM="}, "-p DEM_ZOOM must be a whole number from 1 to 2147483647, not ''"},
      {{"--nodata", "abc"}, "--nodata must be a whole number from -2147483648 to 2147483647"},
      {{"-p", "RASTER_NODATA=abc"}, "-p RASTER_NODATA must be a whole number from -2147483648"},
      {{"-p", "VERSION=GRD2007"}, "-p VERSION must be GRD_2007, GRD_1999 or GEODEM"},
      {{"--zoom", "10000000"},
       "the zoom 10000000 pushes heights of " + source +
           " past the 32-bit integers of the grid; the largest zoom that fits is 1237029"},
  };
  for (const auto& [options, message] : cases) {
    SCOPED_TRACE(options.back());
    std::vector<std::string> args = options;
    args.insert(args.end(), {source, output});
    ProcessResult result = Convert(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("error: " + message), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(output));
  }
  ExpectedGrid largest = Grid(r, [&](int x, int y) { return r.cell(0, x, y); });
  largest.zoom = 1237029;
  ExpectConverted({"--zoom", "1237029", "-p", "DEM_ZOM=10", source, output}, largest, output);
  EXPECT_NE(last_.err.find("warning: -p DEM_ZOM is not a parameter the GEODEM writer knows"),
            std::string::npos)
      << last_.err;
}

// Heights that the zoom makes the no-data integer are written as asked, with a warning that counts
// them (each once, whatever the blocks' overlap) and names the first; a no-data value that no
// height of the type can reach is not looked for.
TEST_F(GeodemSourceRules, HeightsThatBecomeTheNoDataValueAreCounted) {
  TestRaster r = Surface();
  r.width = 6;
  r.height = 5;
  r.cell = [](int, int x, int y) { return (x + y) % 4 == 2 ? 100 : x + y; };
  const struct {
    GDALDataType type;
    std::vector<std::string> options;
    const char* warning;  // none: no warning of the kind
  } cases[] = {
      {GDT_Float32, {"--nodata", "10000"}, "7 cells of {src} hold heights that zoom 100 makes"},
      {GDT_Float32,
       {"--nodata", "10000", "--block-size", "2", "--overlap", "2"},
       "7 cells of {src} hold heights that zoom 100 makes"},
      {GDT_Int16, {"--nodata", "500", "--zoom", "5"}, "7 cells of {src} hold heights that zoom 5 "},
      {GDT_Int16, {"--nodata", "10001"}, nullptr},
      {GDT_Float32, {}, nullptr},
  };
  for (const auto& c : cases) {
    r.type = c.type;
    const std::string source = Write(r, "dem.tif"), output = dir_ / "dem.dem";
    std::filesystem::remove(output);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {source, output});
    ProcessResult result = Convert(args);
    SCOPED_TRACE(result.err);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(std::filesystem::exists(output));
    if (!c.warning) {
      EXPECT_EQ(result.err.find("no-data value"), std::string::npos);
      continue;
    }
    std::string expected = c.warning;
    expected.replace(expected.find("{src}"), 5, source);
    EXPECT_NE(result.err.find("warning: " + expected), std::string::npos);
    EXPECT_NE(result.err.find("(the first at row 1, column 3)"), std::string::npos);
  }
}

TEST_F(GeodemSourceRules, SourceThatReadsTheOutputIsRefused) {
  // out.dem is a GeoTIFF here, and the VRT reads it: converting the VRT to out.dem would write
  // over the cells being read.
  const std::string data = Write(Surface(), "out.dem");
  const std::string vrt = dir_ / "view.vrt";
  GDALDatasetH src = GDALOpen(data.c_str(), GA_ReadOnly);
  GDALClose(GDALCreateCopy(GDALGetDriverByName("VRT"), vrt.c_str(), src, FALSE, nullptr, nullptr,
                           nullptr));
  GDALClose(src);
  const std::string before = TempDir::ReadFile(data);
  ProcessResult r = Convert({"--overwrite", vrt, data});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("the source " + vrt + " reads " + data), std::string::npos) << r.err;
  EXPECT_EQ(TempDir::ReadFile(data), before);
}

}  // namespace
