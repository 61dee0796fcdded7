#pragma once
// One write of the driver over a target, from the moment GDAL deletes what stands there to the
// moment the new grid file is in place. GDAL's Create and CreateCopy delete an existing output
// first (QuietDelete, through the driver's Delete): done plainly, a write that then fails, or is
// killed, would cost the user the earlier grid file and its .prj. So a Delete that GDAL makes on
// its way to a create (it has just identified the name as a grid file, in this thread) keeps the
// pair aside (SetAside) under the target's lock; so does a Delete of the name the thread has just
// opened (rasterio opens an output to find its driver, then deletes it, then creates it). The
// create of that name takes it over, removes it
// once the new grid file stands, and puts it back when the write fails. A run that is killed
// leaves its lock, by which the next writer of the target, the driver or geodem, puts the pair
// back. A Delete that no create follows completes at the thread's next call of the driver on
// another name, or when the thread or the program ends; any other Delete removes at once.
#include <cpl_error.h>

#include <memory>
#include <string>
#include <vector>

#include "host/SetAside.h"
#include "host/TargetFileLock.h"

class GeodemReplacement {
 public:
  // Identify found a grid file at name (Open too calls it). GDAL looks up the driver of a name in
  // many places, so this settles nothing.
  static void Identified(const std::string& name);
  // Open, Delete, Create and CreateCopy of name: a pending Delete of another name completes.
  static void Settle(const std::string& name = {});
  // The driver's Delete.
  static CPLErr Delete(const std::string& target);
  // For Create and CreateCopy: the target locked, a killed writer's leftovers cleared, and the
  // earlier pair that the Delete before kept aside. Nothing after a CE_Failure (another writer
  // holds the target, or its lock cannot be made).
  static std::unique_ptr<GeodemReplacement> Begin(const std::string& target);

  ~GeodemReplacement();
  GeodemReplacement(const GeodemReplacement&) = delete;
  GeodemReplacement& operator=(const GeodemReplacement&) = delete;

  // The new grid file stands: the earlier pair goes.
  void Committed();

 private:
  explicit GeodemReplacement(std::string target) : m_target(std::move(target)) {}
  bool Lock();
  static std::vector<std::string> FilesOf(const std::string& target);

  std::string m_target;
  TargetFileLock m_lock;
  SetAside m_earlier;
  bool m_deleting = false;  // kept aside by a Delete that no create has taken over yet
};
