#pragma once
// The no-data value a grid was written with, where every GDAL program finds it: the grid's
// "<name>.aux.xml", GDAL's own companion file, as the band's NoDataValue. None of the three header
// layouts has a key for it (and adding one would change every byte-exact header), so without this
// file a reader can only assume the default -99999. Written only for another value, replaced and
// removed with the grid as one set (GridFileSet); gdalinfo, rasterio, terra, QGIS and GRASS read it
// through GDAL's PAM, the driver, geodem info and check through ReadNoData.
#include <cstdint>
#include <optional>
#include <string>

class GridAuxFile {
 public:
  // The no-data integer that needs no companion: the writer's default.
  static constexpr std::int32_t kDefaultNoData = -99999;

  // The file's text for a grid of no-data cell noData (band 1's NoDataValue).
  static std::string Text(std::int32_t noData);
  // Band 1's NoDataValue in the .aux.xml at auxPath; none when there is no such file (or it is not
  // a small regular file, or says nothing of a no-data value).
  static std::optional<double> ReadNoData(const std::string& auxPath);
};
