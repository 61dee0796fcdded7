#pragma once
// Writes a grid file from any GDAL dataset, which is what the driver's CreateCopy does and what its
// writable datasets do when they are closed: the chosen band read by geodem convert's rules
// (GeodemSourceBand), the text written by the writer component's grid text code, then the .prj
// beside it, and only then both put in place of the earlier set (GridFileSet). GDAL's progress
// callback follows the rows and may cancel. Any failure is a CE_Failure with a message, and leaves
// the target's names as they were. The caller holds the target's lock (GeodemReplacement).
#include <gdal_priv.h>

#include <string>

#include "gdal/GeodemCreationOptions.h"

class GridRowSource;
class GridFileSet;
class GridTextFile;

class GeodemGridCopy {
 public:
  GeodemGridCopy(std::string target, const GeodemCreationOptions& options)
      : m_target(std::move(target)), m_options(options) {}

  // true when the grid file (and its .prj, when asked for and the source has a coordinate system)
  // was written completely.
  bool Write(GDALDataset& source, GDALProgressFunc progress, void* progressData) const;
  // Refuses (CE_Failure) a name without a GBK form, and a grid file or .prj name behind a link the
  // user may not follow or held by another user in a shared folder (UserPath).
  static bool MayWrite(const std::string& target, const GeodemCreationOptions& options);

 private:
  static bool MayFollow(const std::string& path);
  bool MayStandBesidePrj(GDALDataset& source) const;
  static std::string WktOf(GDALDataset& source);
  bool WriteLocal(GDALDataset& source, GDALProgressFunc progress, void* progressData) const;
  bool WriteVirtual(GDALDataset& source, GDALProgressFunc progress, void* progressData) const;
  // The grid text, flushed to the disk but not yet under the target's name.
  bool WriteGrid(GDALDataset& source, GridRowSource& cells, GridTextFile& out,
                 GDALProgressFunc progress, void* progressData) const;
  bool WritePrj(GDALDataset& source, GridFileSet& files) const;

  std::string m_target;
  GeodemCreationOptions m_options;
};
