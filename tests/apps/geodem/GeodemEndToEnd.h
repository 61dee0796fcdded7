#pragma once
// The fixture of the tests that run the built geodem program end to end: a registry of their own
// with the writer registered as the build registers it, a folder for the files, and the grid file
// a source must give.
#include <cpl_conv.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ExpectedGrid.h"
#include "GeodemProcess.h"
#include "TestRasters.h"
#include "support/TempDir.h"

class GeodemEndToEnd : public testing::Test {
 protected:
  // The tests' own registry, with the writer registered the way the build registers it.
  static void SetUpTestSuite() {
    registry_ = new TempDir;
    if (const char* previous = std::getenv("GEODEM_REGISTRY")) previousRegistry_ = previous;
    ::setenv("GEODEM_REGISTRY", (*registry_ / "registry").c_str(), 1);
    registration_ = new ProcessResult(GeodemProcess::Geodem({"register"}));
  }
  static void TearDownTestSuite() {
    ::setenv("GEODEM_REGISTRY", previousRegistry_.c_str(), 1);
    delete registration_;
    delete registry_;
  }
  void SetUp() override {
    ASSERT_EQ(registration_->status, 0) << "geodem register failed; is the writer module built?\n"
                                        << registration_->err;
  }

  std::string Write(const TestRaster& r, const std::string& name) {
    std::string path = dir_ / name;
    EXPECT_TRUE(r.WriteGTiff(path));
    return path;
  }

  // The grid file of a source written as `path`, for a job with these parameters.
  static ExpectedGrid Expect(const TestRaster& r, const std::string& path,
                             const std::string& version = "GEODEM") {
    ExpectedGrid g;
    g.version = version;
    g.unit = r.epsg == 4326 ? 'D' : 'M';
    g.x0 = r.geoTransform[0];
    g.y0 = r.geoTransform[3];
    g.dx = r.geoTransform[1];
    g.dy = -r.geoTransform[5];
    g.cells = TestRaster::ReadBand1(path, g.cols, g.rows);
    if (r.noData)
      g.sourceNoData = r.type == GDT_Float32 ? static_cast<float>(*r.noData) : *r.noData;
    return g;
  }

  // The build's GDAL plug-in, loaded the way users load it (GDAL_DRIVER_PATH), for reading grid
  // files back.
  static void LoadGeodemDriver() {
    if (GDALGetDriverByName("GEODEM")) return;
    CPLSetConfigOption("GDAL_DRIVER_PATH", GEODEM_GDAL_PLUGIN_DIR);
    GetGDALDriverManager()->AutoLoadDrivers();
    CPLSetConfigOption("GDAL_DRIVER_PATH", nullptr);
  }

  static ProcessResult Convert(std::vector<std::string> args) {
    args.insert(args.begin(), "convert");
    return GeodemProcess::Geodem(args);
  }

  static inline TempDir* registry_ = nullptr;
  static inline std::string previousRegistry_;
  static inline ProcessResult* registration_ = nullptr;
  TempDir dir_;
};
