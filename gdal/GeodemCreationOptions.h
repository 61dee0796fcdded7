#pragma once
// The driver's creation options, as geodem convert's options name them: VERSION (the header
// layout), ZOOM (DEM_ZOOM), NODATA (RASTER_NODATA), PRJ (write the .prj beside the grid) and BAND
// (the band written). GDAL only warns about values outside an option list, so every value is
// checked here, and a bad one fails the creation before anything is written.
#include <cpl_string.h>

#include <cstdint>
#include <optional>
#include <string>

struct GeodemCreationOptions {
  std::string version = "GEODEM";
  std::int32_t zoom = 100;
  double noData = -99999.0;
  bool prj = true;
  int band = 1;

  // The DMD_CREATIONOPTIONLIST of the driver.
  static const char* OptionList();
  // The options for a source of `bands` bands; nothing after a CE_Failure naming the option and
  // its value.
  static std::optional<GeodemCreationOptions> Read(CSLConstList options, int bands);
};
