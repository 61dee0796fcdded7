#include "HVXOWRITER/HVXORasterWriterBase/TargetClaims.h"

#include <gdal.h>

#include "host/AtomicFile.h"
#include "host/CodePage.h"
#include "host/GeoCancel.h"
#include "host/HVXBaseLib.h"

namespace {

void DeleteTemporaryRaster(const std::string& temporaryPath) {
  if (IsFileExisting(temporaryPath) != 1) return;
  if (GDALDriverH hfa = GDALGetDriverByName("HFA"))
    GDALDeleteDataset(hfa, OsPath(temporaryPath).c_str());
}

}  // namespace

TargetFileLock::Result TargetClaims::Claim(const std::string& finalPath,
                                           const std::string& temporaryPath, long* holder) {
  if (holder) *holder = 0;
  if (m_held.count(finalPath)) return TargetFileLock::Result::kLocked;
  auto lock = std::make_unique<TargetFileLock>();
  const TargetFileLock::Result result = lock->Acquire(OsPath(finalPath));
  if (result != TargetFileLock::Result::kLocked) {
    if (holder) *holder = lock->holder();
    return result;
  }
  if (lock->foundStale()) {
    if (temporaryPath != finalPath) DeleteTemporaryRaster(temporaryPath);
    if (lock->staleHolder() != 0)
      AtomicFile::RemoveTemporaryOf(OsPath(finalPath), lock->staleHolder());
  }
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
