#pragma once
// The driver tests' shared pieces: the plug-in loaded the way GDAL users load it
// (GDAL_DRIVER_PATH), grid files written by the project's own grid writer from temporary rasters,
// and small GDAL helpers.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"
#include "support/TempDir.h"
#include "support/Wkt.h"

namespace geodem_driver_test {

// Loads gdal_GEODEM.so from the build's plug-in folder, once.
inline void LoadPlugin() {
  if (GDALGetDriverByName("GEODEM")) return;
  CPLSetConfigOption("GDAL_DRIVER_PATH", GEODEM_GDAL_PLUGIN_DIR);
  GetGDALDriverManager()->AutoLoadDrivers();
  CPLSetConfigOption("GDAL_DRIVER_PATH", nullptr);
}

// The source's invalid value: what the pipeline puts into the no-data cells of a float raster.
inline constexpr double kInvalid = -FLT_MAX;

struct SourceRaster {
  int rows = 0, cols = 0;
  std::array<double, 6> transform{};
  std::string wkt;
  std::vector<float> cells;  // kInvalid for no data
};

// A DEM-like surface with centimetre detail, negative heights and a no-data cell now and then.
inline SourceRaster Surface(int rows, int cols, std::array<double, 6> transform,
                            std::string wkt = "") {
  SourceRaster r{rows, cols, transform, std::move(wkt), {}};
  std::mt19937 random(static_cast<unsigned>(rows * 131 + cols));
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  r.cells.resize(static_cast<std::size_t>(rows) * cols);
  for (std::size_t i = 0; i < r.cells.size(); ++i) {
    const double x = static_cast<double>(i % cols), y = static_cast<double>(i / cols);
    r.cells[i] = i % 37 == 5
                     ? static_cast<float>(kInvalid)
                     : static_cast<float>(40 * std::sin(x / 9) * std::cos(y / 7) + noise(random));
  }
  return r;
}


// Writes the grid file at path as the writer does: through a temporary HFA raster at path.tmp.
inline testing::AssertionResult WriteGrid(const std::string& path, const SourceRaster& r,
                                          const DemWriterParameters& params) {
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("HFA"), (path + ".tmp").c_str(), r.cols, r.rows,
                               1, GDT_Float32, nullptr);
  if (!ds) return testing::AssertionFailure() << "cannot create " << path << ".tmp";
  std::array<double, 6> transform = r.transform;
  GDALSetGeoTransform(ds, transform.data());
  if (!r.wkt.empty()) GDALSetProjection(ds, r.wkt.c_str());
  CPLErr written =
      GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, r.cols, r.rows,
                   const_cast<float*>(r.cells.data()), r.cols, r.rows, GDT_Float32, 0, 0);
  GDALClose(ds);
  if (written != CE_None) return testing::AssertionFailure() << "cannot write " << path << ".tmp";
  if (DemGridWriter(params, {kInvalid}, false, false).Write(path, path + ".tmp") != 1) {
    return testing::AssertionFailure() << "the grid writer failed on " << path;
  }
  return testing::AssertionSuccess();
}

inline DemWriterParameters Parameters(const char* version, std::int32_t zoom = 100,
                                      double noData = -99999.0) {
  DemWriterParameters p;
  p.version = version;
  p.zoom = zoom;
  p.noDataValue = noData;
  return p;
}

struct DatasetCloser {
  void operator()(void* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

inline Dataset OpenGrid(const std::string& path, std::vector<const char*> options = {}) {
  options.push_back(nullptr);
  const char* drivers[] = {"GEODEM", nullptr};
  return Dataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers,
                            options.data(), nullptr));
}

// Band 1 of a dataset as doubles, read in one request.
inline std::vector<double> ReadBand(GDALDatasetH ds) {
  const int cols = GDALGetRasterXSize(ds), rows = GDALGetRasterYSize(ds);
  std::vector<double> cells(static_cast<std::size_t>(rows) * cols);
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, cols, rows, cells.data(), cols,
                         rows, GDT_Float64, 0, 0),
            CE_None)
      << CPLGetLastErrorMsg();
  return cells;
}

// Keeps GDAL's messages from the console and collects them.
class QuietGdal {
 public:
  QuietGdal() {
    CPLPushErrorHandlerEx(Collect, this);
    CPLErrorReset();
  }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;

  bool Saw(const std::string& message) const {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }
  std::vector<std::string> messages;

 private:
  static void Collect(CPLErr, CPLErrorNum, const char* message) {
    static_cast<QuietGdal*>(CPLGetErrorHandlerUserData())->messages.push_back(message);
  }
};

}  // namespace geodem_driver_test
