#pragma once
// Where two grids of a set stand against each other: whether their cells line up (the same cell
// size, origins a whole number of cells apart) and, when they do, the cells they share or
// whether they only meet along the edge.
#include "apps/geodem/edgematch/SheetEdge.h"
#include "gridfile/GridHeader.h"

class EdgeGeometry {
 public:
  // Sets the edge's windows, or its status (not aligned, apart) and why.
  static void Place(const GridHeader& first, const GridHeader& second, SheetEdge& edge);

  // Shifts of less than this share of a cell are rounding in the headers' decimals.
  static constexpr double kCellTolerance = 1e-3;
};
