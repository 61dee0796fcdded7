// Grid files written by `geodem convert` read back through the GDAL plug-in, loaded the way users
// load it (GDAL_DRIVER_PATH): every cell, the no-data cells, the geotransform and, with --prj, the
// coordinate system come back.
#include <cpl_conv.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <filesystem>

#include "GeodemEndToEnd.h"

namespace {

class GeodemReadBack : public GeodemEndToEnd {
 protected:
  static void SetUpTestSuite() {
    GeodemEndToEnd::SetUpTestSuite();
    LoadGeodemDriver();
  }

  struct ReadBack {
    std::vector<double> source;  // band 1 of the source
    std::vector<double> grid;    // the grid's band, unscaled
    double noData = 0;
    double transform[6] = {};
    OGRSpatialReferenceH srs = nullptr;  // the grid's, owned by its dataset
    GDALDatasetH dataset = nullptr;
    ~ReadBack() { GDALClose(dataset); }
  };

  // Converts the raster with these options, then reads the grid file back through the driver.
  void ConvertAndRead(const TestRaster& raster, std::vector<std::string> options, ReadBack& back,
                      std::vector<const char*> openOptions = {}) {
    const std::string source = Write(raster, "source.tif"), grid = dir_ / "grid.dem";
    options.insert(options.begin(), {"convert", "--overwrite", "-q"});
    options.insert(options.end(), {source, grid});
    ProcessResult r = GeodemProcess::Geodem(options);
    ASSERT_EQ(r.status, 0) << r.err;
    int width = 0, height = 0;
    back.source = TestRaster::ReadBand1(source, width, height);

    openOptions.push_back(nullptr);
    const char* drivers[] = {"GEODEM", nullptr};
    back.dataset = GDALOpenEx(grid.c_str(), GDAL_OF_RASTER, drivers, openOptions.data(), nullptr);
    ASSERT_NE(back.dataset, nullptr) << CPLGetLastErrorMsg();
    ASSERT_EQ(GDALGetRasterXSize(back.dataset), width);
    ASSERT_EQ(GDALGetRasterYSize(back.dataset), height);
    GDALRasterBandH band = GDALGetRasterBand(back.dataset, 1);
    int hasNoData = 0;
    back.noData = GDALGetRasterNoDataValue(band, &hasNoData);
    ASSERT_TRUE(hasNoData);
    back.grid.resize(back.source.size());
    ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, 0, width, height, back.grid.data(), width, height,
                           GDT_Float64, 0, 0),
              CE_None);
    const double scale = GDALGetRasterScale(band, nullptr);
    for (double& v : back.grid) {
      if (v != back.noData) v *= scale;
    }
    GDALGetGeoTransform(back.dataset, back.transform);
    back.srs = GDALGetSpatialRef(back.dataset);
  }

  static void ExpectCells(const ReadBack& back, double sourceNoData, double zoom) {
    int noDataCells = 0;
    for (std::size_t i = 0; i < back.source.size(); ++i) {
      if (back.source[i] == sourceNoData) {
        EXPECT_EQ(back.grid[i], back.noData) << "cell " << i;
        ++noDataCells;
      } else {
        EXPECT_NEAR(back.grid[i], back.source[i], 0.5 / zoom + 1e-9) << "cell " << i;
      }
    }
    EXPECT_GT(noDataCells, 0);
  }

  static bool SameSystem(OGRSpatialReferenceH srs, int epsg) {
    OGRSpatialReferenceH expected = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(expected, epsg);
    // A dataset's system maps its axes in GIS order (longitude first), whatever the code says.
    const char* const criteria[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    const bool same = srs && OSRIsSameEx(srs, expected, criteria);
    OSRDestroySpatialReference(expected);
    return same;
  }
};

// Fractional heights in metres, negative ones, and no-data cells.
TestRaster Terrain(int epsg, std::array<double, 6> transform) {
  TestRaster r;
  r.width = 41;
  r.height = 29;
  r.epsg = epsg;
  r.geoTransform = transform;
  r.noData = -9999;
  r.cell = [](int, int x, int y) {
    return (x + 2 * y) % 13 == 3 ? -9999 : 250 * std::sin(x / 7.0) * std::cos(y / 5.0) + y * 0.777;
  };
  return r;
}

TEST_F(GeodemReadBack, ProjectedGridInEveryLayout) {
  const TestRaster raster = Terrain(32650, {500012.5, 30, 0, 4400007.25, 0, -30});
  for (const char* version : {"GRD_2007", "GRD_1999", "GEODEM"}) {
    SCOPED_TRACE(version);
    ReadBack back;
    ConvertAndRead(raster, {"--prj", "--format-version", version}, back);
    if (HasFatalFailure()) return;
    ExpectCells(back, -9999, 100);
    EXPECT_EQ(back.noData, -99999);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(back.transform[i], raster.geoTransform[i], 1e-6);
    EXPECT_TRUE(SameSystem(back.srs, 32650));
  }
}

TEST_F(GeodemReadBack, GeographicGridWithTenDecimals) {
  const TestRaster raster =
      Terrain(4326, {116.123456789, 1.0 / 1200, 0, 40.987654321, 0, -1.0 / 1200});
  ReadBack back;
  ConvertAndRead(raster, {"--prj", "--format-version", "GRD_2007"}, back);
  if (HasFatalFailure()) return;
  ExpectCells(back, -9999, 100);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(back.transform[i], raster.geoTransform[i], 1e-10);
  EXPECT_TRUE(SameSystem(back.srs, 4326));
}

// The file does not say which value stands for no data: the user names it when opening.
TEST_F(GeodemReadBack, OtherZoomAndNoDataValue) {
  const TestRaster raster = Terrain(32650, {500000, 5, 0, 4400000, 0, -5});
  ReadBack back;
  ConvertAndRead(raster, {"--zoom", "10", "--nodata", "-32768"}, back, {"NODATA=-32768"});
  if (HasFatalFailure()) return;
  EXPECT_EQ(back.noData, -32768);
  ExpectCells(back, -9999, 10);
  EXPECT_EQ(back.srs, nullptr);  // no --prj
}

// A .prj of no other dataset's (the source's stem differs from the grid's).
TEST_F(GeodemReadBack, PrjIsAnOutputLikeTheGridFile) {
  const std::string source = Write(Terrain(32650, {0, 1, 0, 29, 0, -1}), "src.tif");
  const std::string grid = dir_ / "dem.dem", prj = dir_ / "dem.prj";
  TempDir::WriteFile(prj, "kept");
  ProcessResult r = GeodemProcess::Geodem({"convert", "-q", "--prj", source, grid});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(prj + " exists"), std::string::npos) << r.err;
  EXPECT_EQ(TempDir::ReadFile(prj), "kept");
  EXPECT_FALSE(std::filesystem::exists(grid));

  r = GeodemProcess::Geodem({"convert", "-q", "--prj", "--overwrite", source, grid});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(prj).rfind("PROJCS[\"WGS_1984_UTM_Zone_50N\"", 0), 0u);

  // A source without a coordinate system gives a grid file and a warning, no .prj.
  TestRaster bare = Terrain(0, {0, 1, 0, 29, 0, -1});
  r = GeodemProcess::Geodem({"convert", "-q", "--prj", Write(bare, "bare.tif"), dir_ / "bare.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: " + (dir_ / "bare.tif") + " has no coordinate system"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "bare.dem"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "bare.prj"));

  // A grid file named .prj would be overwritten by its own coordinate system.
  r = GeodemProcess::Geodem({"convert", "-q", "--prj", source, dir_ / "odd.prj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "odd.prj"));
}

}  // namespace
