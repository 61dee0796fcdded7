#include "gdal/GeodemReplacement.h"

#include <cpl_vsi.h>

#include <cerrno>

#include "gdal/GeodemVirtualFile.h"
#include "gridfile/GridFileSet.h"
#include "host/UserPath.h"

CPLErr GeodemReplacement::Delete(const std::string& target) {
  if (GeodemVirtualFile::Is(target)) {
    // No users' links or locks there; the .prj by the name the driver writes.
    VSIUnlink(GridFileSet(target).prjPath().c_str());
    VSIUnlink((target + ".aux.xml").c_str());
    if (VSIUnlink(target.c_str()) == 0 || errno == ENOENT) return CE_None;
    CPLError(CE_Failure, CPLE_FileIO, "Cannot delete %s: %s.", target.c_str(), VSIStrerror(errno));
    return CE_Failure;
  }
  // Another user's grid in a shared folder is not ours to delete, as it is not ours to replace.
  std::string error;
  if (!UserPath::MayWrite(target, error) && !error.empty()) {
    CPLError(CE_Failure, CPLE_NoWriteAccess, "%s.", error.c_str());
    return CE_Failure;
  }
  std::unique_ptr<GeodemReplacement> replacement = Begin(target);
  if (!replacement) return CE_Failure;
  if (GridFileSet(target).Remove(error)) return CE_None;
  CPLError(CE_Failure, CPLE_FileIO, "%s.", error.c_str());
  return CE_Failure;
}

std::unique_ptr<GeodemReplacement> GeodemReplacement::Begin(const std::string& target) {
  std::unique_ptr<GeodemReplacement> replacement(new GeodemReplacement(target));
  if (!replacement->Lock()) return nullptr;
  return replacement;
}

// One writer of a target at a time, as with geodem convert; a writer that died left its lock,
// which marks what it left behind.
bool GeodemReplacement::Lock() {
  if (GeodemVirtualFile::Is(m_target)) return true;
  switch (m_lock.Acquire(m_target)) {
    case TargetFileLock::Result::kLocked:
      if (m_lock.foundStale()) GridFileSet(m_target).ClearLeftovers();
      return true;
    case TargetFileLock::Result::kBusy:
      CPLError(CE_Failure, CPLE_AppDefined,
               "%s is being written by another conversion (process %ld); try again when it has "
               "finished.",
               m_target.c_str(), m_lock.holder());
      return false;
    case TargetFileLock::Result::kFailed:
      if (!m_lock.refusal().empty()) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s.", m_lock.refusal().c_str());
      } else {
        CPLError(CE_Failure, CPLE_OpenFailed, "Cannot create %s: %s.", m_target.c_str(),
                 VSIStrerror(errno));
      }
      return false;
  }
  return false;
}
