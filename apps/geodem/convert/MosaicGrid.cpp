#include "apps/geodem/convert/MosaicGrid.h"

#include <cmath>
#include <cstdio>

#include "apps/geodem/Translation.h"

namespace {

constexpr double kSizeTolerance = 1e-9;    // relative
constexpr double kOriginTolerance = 1e-6;  // of a cell

bool SameSize(double a, double b) { return std::fabs(a - b) <= kSizeTolerance * std::fabs(a); }

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// The coordinate `value` moved onto the grid through `origin` with cells of `size`; false when it
// lies farther from it than the tolerance.
bool OnGrid(double origin, double size, double& value) {
  const double cells = (value - origin) / size;
  const double whole = std::round(cells);
  if (std::fabs(cells - whole) > kOriginTolerance) return false;
  value = origin + whole * size;
  return true;
}

}  // namespace

bool MosaicGrid::Align(const std::vector<JobSource*>& pieces, std::string& error) {
  const JobSource& first = *pieces.front();
  std::vector<const RasterSource*> rasters;
  for (JobSource* p : pieces) {
    rasters.push_back(&p->raster);
    if (p == &first) continue;
    if (!SameSize(first.pixelWidth, p->pixelWidth) ||
        !SameSize(first.pixelHeight, p->pixelHeight)) {
      error =
          Tr("cannot mosaic %s and %s: their cell sizes differ (%s x %s and %s x %s); "
             "resample one onto the other's grid first (gdalwarp -tr -tap)",
             first.raster.path().c_str(), p->raster.path().c_str(),
             Number(first.pixelWidth).c_str(), Number(-first.pixelHeight).c_str(),
             Number(p->pixelWidth).c_str(), Number(-p->pixelHeight).c_str());
      return false;
    }
    p->pixelWidth = first.pixelWidth;
    p->pixelHeight = first.pixelHeight;
    if (!OnGrid(first.originX, first.pixelWidth, p->originX) ||
        !OnGrid(first.originY, first.pixelHeight, p->originY)) {
      error =
          Tr("cannot mosaic %s and %s: the cells of %s do not lie on the grid of %s (its "
             "corner is off by a part of a cell); warp it onto that grid first (gdalwarp -tr "
             "and -te of the first piece)",
             first.raster.path().c_str(), p->raster.path().c_str(), p->raster.path().c_str(),
             first.raster.path().c_str());
      return false;
    }
  }
  const CellPlan plan = CellPlan::For(rasters, true);
  for (JobSource* p : pieces) p->cells = plan;
  return true;
}
