#include "gdal/GeodemReplacement.h"

#include <cpl_vsi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "gdal/GeodemVirtualFile.h"
#include "gridfile/GridFileSet.h"

namespace {

// A file as it stood: another file, or this one rewritten, differs.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  static std::optional<FileState> Of(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }
  bool operator==(const FileState& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

// The delete GDAL made before a create: the earlier set as it stood then.
class DeferredDelete {
 public:
  DeferredDelete(std::string target) : m_target(std::move(target)) {
    m_grid = FileState::Of(m_target);
    for (std::string& companion : GridFileSet(m_target).Companions()) {
      if (auto state = FileState::Of(companion)) m_companions.emplace_back(std::move(companion), *state);
    }
  }
  ~DeferredDelete() { Complete(); }
  DeferredDelete(const DeferredDelete&) = delete;
  DeferredDelete& operator=(const DeferredDelete&) = delete;
  const std::string& target() const { return m_target; }
  // Our own create took the name over: its commit replaces the set.
  void Drop() { m_companions.clear(); }

 private:
  // Something else stands at the name now: the earlier grid's companions, as they were, go.
  void Complete() {
    if (m_companions.empty() || FileState::Of(m_target) == m_grid) return;
    for (const auto& [path, state] : m_companions) {
      if (FileState::Of(path) == state) ::unlink(path.c_str());
    }
  }

  std::string m_target;
  std::optional<FileState> m_grid;
  std::vector<std::pair<std::string, FileState>> m_companions;
};

thread_local std::unique_ptr<DeferredDelete> t_deferred;

// GDAL's QuietDelete, which its Create and CreateCopy call before they create: found among the
// callers by its exported name. Where it cannot be found, the delete is taken as the caller's.
bool CalledFromGdalCreate() {
  void* frames[32];
  const int count = ::backtrace(frames, 32);
  for (int i = 0; i < count; ++i) {
    Dl_info info{};
    if (::dladdr(frames[i], &info) && info.dli_sname &&
        std::string_view(info.dli_sname).starts_with("_ZN10GDALDriver11QuietDelete"))
      return true;
  }
  return false;
}

}  // namespace

void GeodemReplacement::Settle(const std::string& name) {
  if (t_deferred && t_deferred->target() != name) t_deferred.reset();
}

CPLErr GeodemReplacement::Delete(const std::string& target) {
  Settle();
  if (GeodemVirtualFile::Is(target)) {
    // No users' links or locks there; the .prj by the name the driver writes.
    VSIUnlink(GridFileSet(target).prjPath().c_str());
    VSIUnlink((target + ".aux.xml").c_str());
    if (VSIUnlink(target.c_str()) == 0 || errno == ENOENT) return CE_None;
    CPLError(CE_Failure, CPLE_FileIO, "Cannot delete %s: %s.", target.c_str(), VSIStrerror(errno));
    return CE_Failure;
  }
  if (CalledFromGdalCreate()) {
    t_deferred = std::make_unique<DeferredDelete>(target);
    return CE_None;
  }
  std::unique_ptr<GeodemReplacement> replacement(new GeodemReplacement(target));
  if (!replacement->Lock()) return CE_Failure;
  std::string error;
  if (GridFileSet(target).Remove(error)) return CE_None;
  CPLError(CE_Failure, CPLE_FileIO, "%s.", error.c_str());
  return CE_Failure;
}

std::unique_ptr<GeodemReplacement> GeodemReplacement::Begin(const std::string& target) {
  if (t_deferred && t_deferred->target() == target) t_deferred->Drop();
  Settle();
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
      if (m_lock.foundStale()) GridFileSet(m_target).ClearLeftovers(m_lock.staleHolder());
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
