#pragma once
// Rasters for the tests, written with GDAL: a GeoTIFF of one or more bands whose cells a function
// gives, with a geotransform, a coordinate system and optional no-data values.
#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TestRaster {
  int width = 4;
  int height = 3;
  int bands = 1;
  GDALDataType type = GDT_Float32;
  std::array<double, 6> geoTransform{100, 25, 0, 900, 0, -25};
  int epsg = 0;  // 0: no coordinate system
  std::optional<double> noData;
  // Cell value of band b (0-based) at column x, row y.
  std::function<double(int b, int x, int y)> cell = [](int, int x, int y) { return x + 10.0 * y; };

  // The WKT of the coordinate system (empty without one).
  std::string Wkt() const {
    if (!epsg) return {};
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, epsg);
    char* text = nullptr;
    OSRExportToWkt(srs, &text);
    std::string wkt = text ? text : "";
    CPLFree(text);
    OSRDestroySpatialReference(srs);
    return wkt;
  }

  // Writes the raster as a GeoTIFF; true on success.
  bool WriteGTiff(const std::string& path) const {
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    GDALDatasetH ds = GDALCreate(driver, path.c_str(), width, height, bands, type, nullptr);
    if (!ds) return false;
    GDALSetGeoTransform(ds, const_cast<double*>(geoTransform.data()));
    if (std::string wkt = Wkt(); !wkt.empty()) GDALSetProjection(ds, wkt.c_str());
    std::vector<double> row(static_cast<std::size_t>(width));
    bool ok = true;
    for (int b = 0; b < bands; ++b) {
      GDALRasterBandH band = GDALGetRasterBand(ds, b + 1);
      if (noData) GDALSetRasterNoDataValue(band, *noData);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) row[static_cast<std::size_t>(x)] = cell(b, x, y);
        ok = ok && GDALRasterIO(band, GF_Write, 0, y, width, 1, row.data(), width, 1, GDT_Float64,
                                0, 0) == CE_None;
      }
    }
    GDALClose(ds);
    return ok;
  }

  // Band 1 as the GeoTIFF stores it, read back as doubles, row by row.
  static std::vector<double> ReadBand1(const std::string& path, int& width, int& height) {
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    width = GDALGetRasterXSize(ds);
    height = GDALGetRasterYSize(ds);
    std::vector<double> cells(static_cast<std::size_t>(width) * height);
    if (GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, width, height, cells.data(), width,
                     height, GDT_Float64, 0, 0) != CE_None)
      cells.clear();
    GDALClose(ds);
    return cells;
  }
};
