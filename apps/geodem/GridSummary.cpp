#include "apps/geodem/GridSummary.h"

#include <algorithm>

void GridSummary::Add(const std::int32_t* values, int n) {
  for (int i = 0; i < n; ++i) {
    if (values[i] == m_noData) {
      ++m_noDataCells;
      continue;
    }
    m_minimum = std::min(m_minimum, values[i]);
    m_maximum = std::max(m_maximum, values[i]);
  }
  m_cells += n;
}

std::optional<std::int32_t> GridSummary::minimum() const {
  return validCells() > 0 ? std::optional(m_minimum) : std::nullopt;
}

std::optional<std::int32_t> GridSummary::maximum() const {
  return validCells() > 0 ? std::optional(m_maximum) : std::nullopt;
}
