#pragma once
// One source raster as geodem hands it to the writer: its name as the user gave it, its size,
// bands, type, georeferencing and no-data values. Describing a source opens it briefly; the blocks
// are read later through Open(), so that a job of many sources never holds them all open.
#include <gdal.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/GdalDataset.h"

class SourceRaster {
 public:
  // Reads the description of the raster at `path` (UTF-8, as given); an error text when it is
  // missing, not a raster, or not a raster a DEM grid can come from.
  static std::optional<SourceRaster> Describe(const std::string& path, std::string& error);

  GdalDataset Open() const { return GdalDataset::OpenRaster(path_.c_str()); }

  const std::string& path() const { return path_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int bands() const { return bands_; }
  double cells() const { return static_cast<double>(width_) * height_; }
  // The type the blocks carry: band 1's type, with 64-bit integers widened to Float64 (the
  // temporary rasters cannot hold them).
  GDALDataType dataType() const { return dataType_; }
  // Upper-left corner, pixel width, signed pixel height (north-up: negative).
  double originX() const { return geoTransform_[0]; }
  double originY() const { return geoTransform_[3]; }
  double pixelWidth() const { return geoTransform_[1]; }
  double pixelHeight() const { return geoTransform_[5]; }
  const std::string& wkt() const { return wkt_; }
  // GDAL's no-data value of each band, none where a band has none.
  const std::vector<std::optional<double>>& bandNoData() const { return bandNoData_; }

 private:
  std::string path_;
  int width_ = 0;
  int height_ = 0;
  int bands_ = 0;
  GDALDataType dataType_ = GDT_Unknown;
  std::array<double, 6> geoTransform_{};
  std::string wkt_;
  std::vector<std::optional<double>> bandNoData_;
};
