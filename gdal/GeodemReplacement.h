#pragma once
// One write of the driver over a target, and the driver's Delete. The earlier grid file and its
// .prj stay where they are until the new set is complete, and the commit renames over them
// (GridFileSet): a write that fails or is killed leaves the earlier set untouched, and nothing ever
// needs to be put back, by a writer or a reader.
//
// GDAL's Create and CreateCopy delete an existing output first (QuietDelete, through the driver's
// Delete). That delete alone is deferred: the create that follows replaces the set as one. Where
// the create is another driver's (gdal_translate -of GTiff over a grid file), the files that went
// with the earlier grid (its .prj and .aux.xml) go once something else stands at the name, when
// the driver is next called in the thread or the thread ends. Any other Delete, the one a caller
// asks for (gdalmanage, GDALDeleteDataset, rasterio), is done before it returns.
#include <cpl_error.h>

#include <memory>
#include <string>

#include "host/TargetFileLock.h"

class GeodemReplacement {
 public:
  // Open, Delete, Create and CreateCopy of name: a deferred Delete of another name completes.
  static void Settle(const std::string& name = {});
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
