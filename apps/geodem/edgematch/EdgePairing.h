#pragma once
// Which files of a set are neighbours: by the sheet numbers of their names (the sheets east and
// south of each at the same scale), else by their grids' extents (two grids that meet or overlap
// along most of one side). Also the sheets missing inside the set (holes: sheets of the set lie
// east and west of it in its row, and north and south in its column), the files with no
// neighbour, and the files of one sheet (or, unnamed, of one extent) given more than once; only
// the first of those is matched.
#include <vector>

#include "apps/geodem/edgematch/EdgeSetResult.h"

class EdgePairing {
 public:
  // Fills the set's edges (their files and sides), holes, lone files and duplicates.
  static void Run(EdgeSetResult& set);
  // The files in the order that frees edge strips soonest: north to south, each row west to east.
  static std::vector<std::size_t> ReadingOrder(const std::vector<EdgeGrid>& grids);

 private:
  static void PairSheets(EdgeSetResult& set, std::vector<bool>& duplicate);
  static void PairExtents(EdgeSetResult& set, std::vector<bool>& duplicate);
  static void PairByExtent(EdgeSetResult& set, std::size_t i, std::size_t j);
  static void FindAlone(EdgeSetResult& set, const std::vector<bool>& duplicate);
};
