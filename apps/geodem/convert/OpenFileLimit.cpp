#include "apps/geodem/convert/OpenFileLimit.h"

#include <cpl_conv.h>
#include <sys/resource.h>

#include <algorithm>
#include <string>

namespace {

constexpr rlim_t kGdalPool = 100;  // GDAL's default pool size
// geodem's own files beside the pool: standard streams, registry, module, temporary raster, grid
// file, locks, and those a source itself holds open.
constexpr rlim_t kOwnFiles = 32;
constexpr rlim_t kLeastPool = 2;

}  // namespace

void OpenFileLimit::Fit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kGdalPool + kOwnFiles) {
    rlimit raised = limit;
    raised.rlim_cur = std::min(limit.rlim_max, kGdalPool + kOwnFiles);
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (CPLGetConfigOption("GDAL_MAX_DATASET_POOL_SIZE", nullptr)) return;  // the user's choice
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kGdalPool + kOwnFiles) return;
  const rlim_t pool =
      std::max(kLeastPool, limit.rlim_cur > kOwnFiles ? limit.rlim_cur - kOwnFiles : 0);
  CPLSetConfigOption("GDAL_MAX_DATASET_POOL_SIZE", std::to_string(pool).c_str());
}
