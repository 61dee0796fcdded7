#include "apps/geodem/edgematch/EdgeStrips.h"

#include <algorithm>

void EdgeStrips::Add(std::size_t edge, const EdgeWindow& window) {
  if (window.empty()) return;
  m_strips.push_back({edge, window, std::vector<std::int32_t>(window.cells())});
}

void EdgeStrips::TakeRow(int row, const std::int32_t* values, int columns) {
  for (Strip& s : m_strips) {
    const EdgeWindow& w = s.window;
    if (!w.holdsRow(row) || w.column + w.columns > columns) continue;
    std::copy_n(values + w.column, w.columns,
                s.cells.begin() + static_cast<std::ptrdiff_t>(row - w.row) * w.columns);
  }
}

int EdgeStrips::LastRow() const {
  int last = -1;
  for (const Strip& s : m_strips) last = std::max(last, s.window.row + s.window.rows - 1);
  return last;
}

const std::vector<std::int32_t>* EdgeStrips::CellsOf(std::size_t edge) const {
  for (const Strip& s : m_strips)
    if (s.edge == edge) return &s.cells;
  return nullptr;
}
