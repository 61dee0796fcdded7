#pragma once
// A rectangle of cells in one grid file, rows and columns from 0.
#include <cstddef>

struct EdgeWindow {
  int row = 0, column = 0, rows = 0, columns = 0;

  bool empty() const { return rows <= 0 || columns <= 0; }
  std::size_t cells() const {
    return empty() ? 0 : static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  }
  bool holdsRow(int r) const { return r >= row && r < row + rows; }
};
