#include "gdal/GeodemReplacement.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>

#include <cerrno>

#include "gdal/GeodemVirtualFile.h"
#include "gridfile/PrjFile.h"
#include "host/TargetLeftovers.h"

namespace {

// GDAL asks for the driver of a name just before it deletes it on its way to a create; rasterio
// opens it to find its driver.
thread_local std::string t_identified;
thread_local std::unique_ptr<GeodemReplacement> t_pending;
thread_local std::string t_pendingTarget;

}  // namespace

void GeodemReplacement::Identified(const std::string& name) { t_identified = name; }

void GeodemReplacement::Settle(const std::string& name) {
  if (t_identified != name) t_identified.clear();
  if (t_pending && t_pendingTarget != name) {
    t_pending.reset();
    t_pendingTarget.clear();
  }
}

std::vector<std::string> GeodemReplacement::FilesOf(const std::string& target) {
  std::vector<std::string> files;
  const char* drivers[] = {"GEODEM", nullptr};
  GDALDatasetH dataset =
      GDALOpenEx(target.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
  if (!dataset) return {target};
  char** list = GDALGetFileList(dataset);
  GDALClose(dataset);
  for (char** file = list; file && *file; ++file) files.emplace_back(*file);
  CSLDestroy(list);
  if (files.empty() || files.front() != target) files.insert(files.begin(), target);
  return files;
}

CPLErr GeodemReplacement::Delete(const std::string& target) {
  const bool beforeCreate = t_identified == target;
  t_identified.clear();
  Settle();
  const std::vector<std::string> files = FilesOf(target);
  std::unique_ptr<GeodemReplacement> replacement(new GeodemReplacement(target));
  if (!replacement->Lock()) return CE_Failure;
  if (!beforeCreate || GeodemVirtualFile::Is(target)) {
    for (const std::string& file : files) {
      if (VSIUnlink(file.c_str()) != 0 && errno != ENOENT && file == target) {
        CPLError(CE_Failure, CPLE_FileIO, "Cannot delete %s: %s.", file.c_str(),
                 VSIStrerror(errno));
        return CE_Failure;
      }
    }
    return CE_None;
  }
  if (!replacement->m_earlier.Move(files)) {
    CPLError(CE_Failure, CPLE_FileIO, "Cannot delete %s: %s.", target.c_str(), VSIStrerror(errno));
    return CE_Failure;
  }
  replacement->m_deleting = true;
  t_pending = std::move(replacement);
  t_pendingTarget = target;
  return CE_None;
}

std::unique_ptr<GeodemReplacement> GeodemReplacement::Begin(const std::string& target) {
  Settle(target);
  t_identified.clear();
  if (t_pending) {
    t_pendingTarget.clear();
    t_pending->m_deleting = false;
    return std::move(t_pending);
  }
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
      if (m_lock.foundStale()) {
        TargetLeftovers::Clear(PrjFile::FilesOfGrid(m_target), m_lock.staleHolder());
      }
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

void GeodemReplacement::Committed() { m_earlier.Drop(); }

GeodemReplacement::~GeodemReplacement() {
  // A Delete that no create took over is complete; a write that did not commit gives the earlier
  // pair back. Both while the lock is held: the next writer finds the files settled.
  if (m_deleting) {
    m_earlier.Drop();
  } else {
    m_earlier.Restore();
  }
}
