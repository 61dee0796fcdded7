#pragma once
// Targets on GDAL's virtual file systems (/vsimem/, and the other writable /vsi ones), which the
// operating system cannot open: the grid file and its .prj are written as any other into a private
// local folder, then copied through GDAL's VSI functions beside the target and renamed over it, so
// that the target is replaced only by a complete file where the file system can rename; where it
// cannot, the copy goes straight to the target. Such targets have no lock and keep no earlier file
// aside: they belong to the running program (/vsimem/) or to a remote store.
#include <string>

class GeodemVirtualFile {
 public:
  static bool Is(const std::string& path);
  // Copies the local file to target; false after a CE_Failure.
  static bool Put(const std::string& local, const std::string& target);
  // A new private local folder for the files of a virtual target; empty after a CE_Failure.
  static std::string MakeLocalFolder();
  static void RemoveLocalFolder(const std::string& folder);
};
