#pragma once
// Puts the pieces of a mosaic on one grid, the first piece's, before the writer sees them: cell
// sizes that differ by no more than float noise (1e-9 relative) are the first piece's, and an
// origin within 1e-6 of a cell of the grid is moved onto it. Pieces off the grid by more, or of
// another cell size, are refused: the writer would shift them by up to half a cell.
#include <string>
#include <vector>

#include "apps/geodem/convert/JobSource.h"

class MosaicGrid {
 public:
  // Aligns pieces[1...] on pieces[0] and gives all of them one cell plan; false and an error text
  // naming the piece that does not fit.
  static bool Align(const std::vector<JobSource*>& pieces, std::string& error);
};
