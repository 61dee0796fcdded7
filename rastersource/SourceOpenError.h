#pragma once
// Why a source could not be read as a raster, in words a user can act on: the system's reason for
// a missing or unreadable file, a folder named where a raster was meant, a grid file that needs
// the GEODEM driver, a container whose rasters are its subdatasets; GDAL's own words otherwise.
#include <gdal.h>

#include <string>

class SourceOpenError {
 public:
  // Opens path read-only as GDAL would for a source, GDAL's messages held back; on failure the
  // dataset is empty and `error` says why in one line.
  static GDALDatasetH Open(const std::string& path, std::string& error);
  // For a dataset without raster bands: its subdatasets, in the form a source is named by.
  static std::string NoBands(GDALDatasetH ds, const std::string& path);
};
