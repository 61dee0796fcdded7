#include "apps/geodem/gridcheck/GridSummary.h"

#include <algorithm>
#include <cmath>

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

std::int64_t GridSummary::NoDataCell(double value) {
  if (!(std::fabs(value) < 9.0e18)) return INT64_MIN;
  return static_cast<std::int64_t>(std::trunc(value));
}

std::optional<std::pair<double, double>> GridSummary::Heights(std::int32_t zoom) const {
  if (validCells() == 0 || zoom == 0) return std::nullopt;
  const double a = static_cast<double>(m_minimum) / zoom, b = static_cast<double>(m_maximum) / zoom;
  return std::pair(std::min(a, b), std::max(a, b));
}
