#pragma once
// What a writer of a target that was killed left beside it, found by its dead lock
// (TargetFileLock::foundStale) and cleared by the next writer of either kind, geodem's or the GDAL
// driver's: its unfinished file (AtomicFile's temporary), the driver's temporary GeoTIFF, and the
// earlier files it had kept aside (SetAside), which go back when the new ones never took their
// place. Paths are the operating system's (UTF-8).
#include <string>
#include <vector>

class TargetLeftovers {
 public:
  // The GeoTIFF that holds a raster the GDAL driver's Create path writes until it is closed.
  static std::string DriverRasterOf(const std::string& target);
  // files: the target first, then the files written with it (its .prj). pid: the dead writer's
  // process id, 0 when it had not written it. Called by the holder of the target's lock.
  static void Clear(const std::vector<std::string>& files, long pid);
  // Only what bears the dead writer's process id, which is safe without the lock: a writer that
  // has started since has names of its own.
  static void ClearNamedBy(const std::vector<std::string>& files, long pid);
};
