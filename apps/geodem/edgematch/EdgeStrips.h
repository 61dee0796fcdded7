#pragma once
// The cells of one grid file that its edges need, kept as its rows pass by: one window per edge,
// so that a file's memory is its edge strips, never its grid.
#include <cstdint>
#include <vector>

#include "apps/geodem/edgematch/EdgeWindow.h"

class EdgeStrips {
 public:
  // Keeps the cells of `window` for the edge `edge`.
  void Add(std::size_t edge, const EdgeWindow& window);
  // Takes what the windows need of row `row` (from 0), whose first `columns` values are given.
  void TakeRow(int row, const std::int32_t* values, int columns);
  // The last row any window needs, -1 for none: reading may stop after it.
  int LastRow() const;
  // The cells kept for `edge`, row by row; null when it has no window here.
  const std::vector<std::int32_t>* CellsOf(std::size_t edge) const;
  void Release() {
    m_strips.clear();
    m_strips.shrink_to_fit();
  }

 private:
  struct Strip {
    std::size_t edge;
    EdgeWindow window;
    std::vector<std::int32_t> cells;
  };
  std::vector<Strip> m_strips;
};
