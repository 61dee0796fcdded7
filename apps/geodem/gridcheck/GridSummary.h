#pragma once
// What `geodem info` tells about a grid's cells, gathered row by row: the count of no-data cells
// and the least and greatest of the others, as the file stores them (heights times Hzoom).
#include <climits>
#include <cstdint>
#include <optional>
#include <utility>

class CnsdtfGridReader;

class GridSummary {
 public:
  explicit GridSummary(std::int64_t noData) : m_noData(noData) {}
  // The cell value that a no-data value stands for, truncated toward zero as the writer truncates
  // it; one that no 32-bit cell can hold stands for none of them.
  static std::int64_t NoDataCell(double value);

  // The least and greatest of some cells other than no data (INT32_MAX, INT32_MIN without any).
  struct Range {
    std::int32_t least = INT32_MAX;
    std::int32_t greatest = INT32_MIN;
  };
  // Counts n cells in; their range, for a caller that looks at rows.
  Range Add(const std::int32_t* values, int n);
  // Counts in every cell of the grid `reader` opened, row by row; false when a row cannot be
  // read (the reader's Error() says why).
  bool AddAll(CnsdtfGridReader& reader);

  std::int64_t noData() const { return m_noData; }
  std::int64_t noDataCells() const { return m_noDataCells; }
  std::int64_t validCells() const { return m_cells - m_noDataCells; }
  // None when every cell is no data.
  std::optional<std::int32_t> minimum() const;
  std::optional<std::int32_t> maximum() const;
  // The least and greatest height in metres (cells / zoom); none when every cell is no data or
  // the zoom is 0.
  std::optional<std::pair<double, double>> Heights(std::int32_t zoom) const;

 private:
  std::int64_t m_noData;  // wider than a cell: a value no cell can hold matches none
  std::int64_t m_noDataCells = 0;
  std::int64_t m_cells = 0;
  std::int32_t m_minimum = INT32_MAX;
  std::int32_t m_maximum = INT32_MIN;
};
