#include "apps/geodem/gridcheck/GridSummary.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gridfile/CnsdtfGridReader.h"

bool GridSummary::AddAll(CnsdtfGridReader& reader) {
  const GridHeader& header = reader.Header();
  std::vector<std::int32_t> row(static_cast<std::size_t>(header.cols));
  for (int r = 0; r < header.rows; ++r) {
    if (!reader.ReadRow(r, row.data())) return false;
    Add(row.data(), header.cols);
  }
  return true;
}

GridSummary::Range GridSummary::Add(const std::int32_t* values, int n) {
  Range row;
  for (int i = 0; i < n; ++i) {
    if (values[i] == m_noData) {
      ++m_noDataCells;
      continue;
    }
    row.least = std::min(row.least, values[i]);
    row.greatest = std::max(row.greatest, values[i]);
  }
  m_minimum = std::min(m_minimum, row.least);
  m_maximum = std::max(m_maximum, row.greatest);
  m_cells += n;
  return row;
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
