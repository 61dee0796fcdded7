#pragma once
// One source dataset of the current target and the temporary raster it is written into.
#include <gdal.h>

#include <cstdint>
#include <string>

struct SourceRecord {
  std::string outputPath;          // temporary raster: the final path followed by ".tmp"
  GDALDatasetH dataset = nullptr;  // open while blocks arrive; shared by every record of a mosaic
  std::int32_t dataType = 0;       // GDAL data type of the target raster
  double originX = 0;              // upper-left corner
  double originY = 0;
  double pixelWidth = 0;
  double pixelHeight = 0;  // always positive; the raster is north-up
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bandCount = 0;
  // Where the source's own raster lies in the target: a mosaic target is larger than each of its
  // sources. Sizes of 0 mean the whole target.
  std::int32_t sourceColumn = 0;
  std::int32_t sourceRow = 0;
  std::int32_t sourceWidth = 0;
  std::int32_t sourceHeight = 0;
};
