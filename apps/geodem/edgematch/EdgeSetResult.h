#pragma once
// What edge matching found in a set of grid files: every shared edge, the sheets missing inside
// the set, the sheets with no neighbour in it and the sheets given more than once.
#include <string>
#include <vector>

#include "apps/geodem/edgematch/EdgeGrid.h"
#include "apps/geodem/edgematch/SheetEdge.h"

struct EdgeSetResult {
  double tolerance = 0;  // metres
  std::vector<EdgeGrid> grids;
  std::vector<SheetEdge> edges;
  std::vector<std::string> holes;  // sheet numbers
  std::vector<std::size_t> alone;  // grids without a neighbour in a set of several
  std::vector<std::vector<std::size_t>> duplicates;  // grids of one sheet or one extent

  int failedEdges() const {
    int n = 0;
    for (const SheetEdge& e : edges) n += e.failed();
    return n;
  }
  // Edges that pass only because the grids meet, cut edge to edge: no cell was compared.
  int onlyMeeting() const {
    int n = 0;
    for (const SheetEdge& e : edges) n += !e.failed() && e.compared == 0;
    return n;
  }
  bool passed() const {
    return failedEdges() == 0 && holes.empty() && alone.empty() && duplicates.empty();
  }
};
