#include "rastersource/ZoomedCellScan.h"

#include <cmath>
#include <type_traits>

#include "gridfile/CellRounding.h"
#include "rastersource/CellType.h"

namespace {

// The integer a height becomes at the zoom, as the cell encoder rounds it (NaN past the range).
double Zoomed(double zoom, double height) {
  const double rounded = cell_rounding::Rounded(zoom, height);
  return cell_rounding::Fits(rounded) ? std::trunc(rounded) : NAN;
}

// Calls f(column, row, height) for each height of the area, row by row, until it answers false.
template <class F>
void ForEachHeight(const ZoomedCellScan::Area& a, F&& f) {
  cell_type::Visit(a.type, [&](auto typed) {
    using T = decltype(typed);
    const T* cells = static_cast<const T*>(a.cells);
    for (int row = a.y; row < a.y + a.rows; ++row) {
      const T* line = cells + static_cast<std::size_t>(row) * static_cast<std::size_t>(a.stride);
      for (int column = a.x; column < a.x + a.columns; ++column) {
        const double height = static_cast<double>(line[column]);
        if ((a.marker && height == *a.marker) || !std::isfinite(height)) continue;
        if (!f(column, row, height)) return;
      }
    }
  });
}

}  // namespace

std::optional<ZoomedCellScan::Cell> ZoomedCellScan::FirstUnfit(const Area& area) {
  std::optional<Cell> found;
  ForEachHeight(area, [&](int column, int row, double height) {
    if (!std::isnan(Zoomed(1, height))) return true;
    found = Cell{column, row, height};
    return false;
  });
  return found;
}

bool ZoomedCellScan::MayCollide(const SourceReader::HeightRange& heights, double zoom,
                                double noData) {
  if (!heights.any) return false;
  // Rounding keeps the order of heights: the ends of the range bound every zoomed cell. An end
  // past the grid's integers bounds nothing (that block is refused anyway).
  const double low = Zoomed(zoom, heights.lowest);
  const double high = Zoomed(zoom, heights.highest);
  return (std::isnan(low) || low <= noData) && (std::isnan(high) || noData <= high);
}

ZoomedCellScan::Collisions ZoomedCellScan::Colliding(const Area& area, double zoom, double noData) {
  Collisions found;
  ForEachHeight(area, [&](int column, int row, double height) {
    if (Zoomed(zoom, height) == noData && found.count++ == 0) found.first = {column, row, height};
    return true;
  });
  return found;
}
