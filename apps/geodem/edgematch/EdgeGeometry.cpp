#include "apps/geodem/edgematch/EdgeGeometry.h"

#include <algorithm>
#include <cmath>

#include "apps/geodem/Translation.h"

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// A fraction of a cell as people read it: rounding in the headers' decimals left out.
std::string Fraction(double cells) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g",
                std::fabs(cells) <= EdgeGeometry::kCellTolerance ? 0.0 : cells);
  return text;
}

// The shared range of [0, n) and [offset, offset + m), in the first grid's terms.
std::pair<int, int> Shared(long long offset, int n, int m) {
  const long long from = std::max<long long>(0, offset);
  const long long to = std::min<long long>(n, offset + m);
  return {static_cast<int>(from), static_cast<int>(std::max(from, to))};
}

}  // namespace

void EdgeGeometry::Place(const GridHeader& a, const GridHeader& b, SheetEdge& edge) {
  const double sizeTolerance = 1e-6;
  if (std::fabs(a.dx - b.dx) > sizeTolerance * a.dx ||
      std::fabs(a.dy - b.dy) > sizeTolerance * a.dy) {
    edge.status = SheetEdge::Status::kNotAligned;
    edge.why = Tr("the cells differ in size: %s x %s against %s x %s", Number(a.dx).c_str(),
                  Number(a.dy).c_str(), Number(b.dx).c_str(), Number(b.dy).c_str());
    return;
  }
  // The second grid's first cell, in cells east and south of the first grid's.
  const double east = (b.x0 - a.x0) / a.dx, south = (a.y0 - b.y0) / a.dy;
  const long long columns = std::llround(east), rows = std::llround(south);
  const double shiftEast = east - static_cast<double>(columns);
  const double shiftSouth = south - static_cast<double>(rows);
  if (std::fabs(shiftEast) > kCellTolerance || std::fabs(shiftSouth) > kCellTolerance) {
    edge.status = SheetEdge::Status::kNotAligned;
    edge.why =
        Tr("the second grid's cells lie %s of a cell east and %s of a cell south of the "
           "first's",
           Fraction(shiftEast).c_str(), Fraction(shiftSouth).c_str());
    return;
  }
  const auto [rowFrom, rowTo] = Shared(rows, a.rows, b.rows);
  const auto [columnFrom, columnTo] = Shared(columns, a.cols, b.cols);
  if (2 * (rowTo - rowFrom) > std::min(a.rows, b.rows) &&
      2 * (columnTo - columnFrom) > std::min(a.cols, b.cols)) {
    edge.status = SheetEdge::Status::kOverlaps;
    edge.why = Tr("the grids share %d rows and %d columns: more than half of a grid, not an edge",
                  rowTo - rowFrom, columnTo - columnFrom);
    return;
  }
  if (rowTo > rowFrom && columnTo > columnFrom) {
    edge.inFirst = {rowFrom, columnFrom, rowTo - rowFrom, columnTo - columnFrom};
    edge.inSecond = {static_cast<int>(rowFrom - rows), static_cast<int>(columnFrom - columns),
                     rowTo - rowFrom, columnTo - columnFrom};
    return;
  }
  // Cells that are areas: grids cut edge to edge share none, and only meet.
  const bool meet = edge.side == SheetEdge::Side::kEast ? columns == a.cols && rowTo > rowFrom
                                                        : rows == a.rows && columnTo > columnFrom;
  if (meet) return;
  edge.status = SheetEdge::Status::kApart;
  edge.why = edge.side == SheetEdge::Side::kEast
                 ? Tr("the second grid starts %lld cells east of the first's west edge, which is "
                      "%d cells wide",
                      columns, a.cols)
                 : Tr("the second grid starts %lld rows south of the first's north edge, which is "
                      "%d rows high",
                      rows, a.rows);
}
