#include "rastersource/CellPlan.h"

#include <algorithm>
#include <cstdio>

#include "rastersource/CellType.h"

namespace {

// The pieces' shared no-data value, when every piece has the same one for raw heights.
std::optional<double> SharedNoData(const std::vector<const RasterSource*>& pieces,
                                   GDALDataType type) {
  std::optional<double> shared;
  for (const RasterSource* p : pieces) {
    // Scaled heights could equal a raw no-data value.
    if (!p->noData() || p->transformsValues()) return std::nullopt;
    if (shared && *shared != *p->noData()) return std::nullopt;
    shared = p->noData();
  }
  if (shared && cell_type::AsStored(*shared, type) != shared) return std::nullopt;
  return shared;
}

// The marker of a type: its lowest value, and for floats the lowest Float32, which GDAL's tools
// take for no height in either width (and a Float32 reading of the cells keeps).
double LowestMarker(GDALDataType type) {
  return cell_type::IsFloating(type) ? cell_type::Lowest(GDT_Float32) : cell_type::Lowest(type);
}

bool IsHeightOf(double value, const RasterSource& piece) {
  return value >= piece.lowestPossible() && value <= piece.highestPossible() &&
         piece.noData() != value;
}

}  // namespace

CellPlan CellPlan::For(const std::vector<const RasterSource*>& pieces, bool mosaic) {
  CellPlan plan;
  bool needsMarker = mosaic;
  for (const RasterSource* p : pieces) {
    plan.type = plan.type == GDT_Unknown ? p->cellType() : cell_type::Common(plan.type, p->cellType());
    needsMarker = needsMarker || p->noData() || p->mayHoldMaskedCells();
  }
  if (!needsMarker) return plan;
  if ((plan.marker = SharedNoData(pieces, plan.type))) return plan;
  auto held = [&](double marker) {
    return std::any_of(pieces.begin(), pieces.end(),
                       [&](const RasterSource* p) { return IsHeightOf(marker, *p); });
  };
  while (!cell_type::IsFloating(plan.type) && held(LowestMarker(plan.type)))
    plan.type = cell_type::Wider(plan.type);
  plan.marker = LowestMarker(plan.type);
  plan.markerChosen = pieces.size() > 1;
  return plan;
}

std::string CellPlan::MarkerText() const {
  if (!marker) return {};
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", *marker);
  return buf;
}
