#include "HVXOWRITER/HVXORasterWriterBase/TargetClaims.h"

#include <gdal.h>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "gridfile/GridFileSet.h"
#include "host/CodePage.h"
#include "host/GeoCancel.h"
#include "host/HVXBaseLib.h"
#include "host/UserPath.h"

namespace {

// Only a raster of the user's own: a stranger's file under that name may be anything.
void DeleteTemporaryRaster(const std::string& temporaryPath) {
  const std::string file = HVXORasterWriterBase::RasterFileOf(temporaryPath);
  if (!UserPath::IsOwnFile(file)) return;
  if (GDALDriverH hfa = GDALGetDriverByName("HFA")) GDALDeleteDataset(hfa, file.c_str());
}

}  // namespace

TargetFileLock::Result TargetClaims::Claim(const std::string& finalPath,
                                           const std::string& temporaryPath, long* holder,
                                           std::string* refusal) {
  if (holder) *holder = 0;
  if (m_held.count(finalPath)) return TargetFileLock::Result::kLocked;
  auto lock = std::make_unique<TargetFileLock>();
  const TargetFileLock::Result result = lock->Acquire(OsPath(finalPath));
  if (result != TargetFileLock::Result::kLocked) {
    if (holder) *holder = lock->holder();
    if (refusal) *refusal = lock->refusal();
    return result;
  }
  // Every dead writer's side files go, this component's raster among them.
  if (lock->foundStale()) GridFileSet(OsPath(finalPath)).ClearLeftovers();
  m_held[finalPath] = Held{std::move(lock), temporaryPath};
  return result;
}

void TargetClaims::Release(const std::string& finalPath) {
  auto held = m_held.find(finalPath);
  if (held == m_held.end()) return;
  Release(finalPath, held->second);
  m_held.erase(held);
}

void TargetClaims::ReleaseAll() {
  for (auto& [path, held] : m_held) Release(path, held);
  m_held.clear();
}

void TargetClaims::Release(const std::string& finalPath, Held& held) {
  // The raster must go while the lock is still held: a writer that comes next may make its own.
  if (GeoCancelRequested() && held.temporaryPath != finalPath)
    DeleteTemporaryRaster(held.temporaryPath);
  held.lock->Release();
}
