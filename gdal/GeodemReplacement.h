#pragma once
// One write of the driver over a target, and the driver's Delete, each under the target's lock.
//
// Delete keeps GDAL's contract whoever calls it (gdalmanage, GDALDeleteDataset, rasterio, or GDAL's
// own delete before a Create or CreateCopy): the whole set is gone when it returns, so that
// whatever another driver then writes at the name never stands beside the earlier grid's .prj or
// .aux.xml. A create over an existing grid therefore replaces it as every GDAL format does; the
// driver's own commit still never shows a half-written file, and keeping the earlier set through a
// failed write is what geodem's own commands offer.
#include <cpl_error.h>

#include <memory>
#include <string>

#include "host/TargetFileLock.h"

class GeodemReplacement {
 public:
  // The driver's Delete.
  static CPLErr Delete(const std::string& target);
  // For Create and CreateCopy: the target locked, and what a killed writer of it left completed.
  // Nothing after a CE_Failure (another writer holds the target, or its lock cannot be made).
  static std::unique_ptr<GeodemReplacement> Begin(const std::string& target);

 private:
  explicit GeodemReplacement(std::string target) : m_target(std::move(target)) {}
  bool Lock();

  std::string m_target;
  TargetFileLock m_lock;
};
