#include "apps/geodem/convert/BlockCacheSize.h"

#include <cpl_conv.h>
#include <gdal.h>

#include <algorithm>
#include <cmath>

#include "apps/geodem/Translation.h"
#include "rastersource/SourceBlockCache.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kWorkingLeast = 16 * kMiB;
constexpr double kWorkingMost = 128 * kMiB;

std::string MiB(double bytes) { return std::to_string(std::llround(bytes / kMiB)) + " MiB"; }

}  // namespace

BlockCacheSize::BlockCacheSize(const std::vector<JobSource>& sources, int blockSize, int overlap,
                               double widestOutput)
    : usersChoice_(CPLGetConfigOption("GDAL_CACHEMAX", nullptr) != nullptr) {
  double cellBytes = 0;
  for (const JobSource& s : sources) {
    cellBytes = std::max<double>(cellBytes, GDALGetDataTypeSizeBytes(s.cells.type));
    const int windowRows = std::min(s.raster.height(), blockSize + overlap);
    const double row = SourceBlockCache::RowBytes(s.raster, windowRows);
    if (row > sourceRow_) {
      sourceRow_ = row;
      coarsest_ = &s.raster;
    }
  }
  // A row of the blocks handed over, across the widest temporary raster; the grid file is read
  // back from it in rows of its tiles, which are not as tall.
  const double handedRow = static_cast<double>(blockSize + overlap) * widestOutput * cellBytes;
  working_ = std::clamp(1.25 * handedRow, kWorkingLeast, kWorkingMost);
  reading_ = std::max(working_, 1.25 * handedRow + sourceRow_);
}

std::string BlockCacheSize::Shape() const {
  const RasterSource::BlockShape& b = coarsest_->blockShapes().front();
  return std::to_string(b.columns) + " x " + std::to_string(b.rows);
}

std::string BlockCacheSize::Refusal() const {
  const double ceiling = SourceBlockCache::Ceiling();
  if (usersChoice_ || reading_ <= ceiling) return {};
  return Tr("reading %s needs %s of GDAL's block cache to hold a row of its blocks of %s cells "
            "(%s), more than the %s (a quarter of the memory available) that geodem gives it; "
            "store it in tiles first (gdal_translate -co TILED=YES %s tiled.tif), or set "
            "GDAL_CACHEMAX to read it anyway, decoding each block many times",
            coarsest_->path().c_str(), MiB(reading_).c_str(), Shape().c_str(),
            MiB(sourceRow_).c_str(), MiB(ceiling).c_str(), coarsest_->path().c_str());
}

std::string BlockCacheSize::RaisedNote() const {
  if (usersChoice_ || reading_ <= kWorkingMost) return {};
  return Tr("GDAL's block cache is raised to %s to hold a row of the %s-cell blocks of %s, so "
            "that each is decoded once",
            MiB(reading_).c_str(), Shape().c_str(), coarsest_->path().c_str());
}

void BlockCacheSize::Set(double bytes) const {
  if (!usersChoice_) GDALSetCacheMax64(static_cast<GIntBig>(bytes));
}
