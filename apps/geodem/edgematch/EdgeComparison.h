#pragma once
// Compares the cells two grid files share along one edge, in metres (stored value / Hzoom):
// counts the cells further apart than the tolerance and those with no data on one side only,
// and keeps the largest difference with its place in both files.
#include <cstdint>
#include <vector>

#include "apps/geodem/edgematch/EdgeGrid.h"
#include "apps/geodem/edgematch/SheetEdge.h"

class EdgeComparison {
 public:
  EdgeComparison(const EdgeGrid& first, const EdgeGrid& second, double tolerance)
      : m_first(first), m_second(second), m_tolerance(tolerance) {}

  // `a` and `b`: the edge's windows in the first and the second file, row by row.
  void Run(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b,
           SheetEdge& edge) const;

 private:
  static double Metres(std::int32_t value, std::int32_t zoom) {
    return static_cast<double>(value) / (zoom > 0 ? zoom : 1);
  }

  const EdgeGrid& m_first;
  const EdgeGrid& m_second;
  double m_tolerance;
};
