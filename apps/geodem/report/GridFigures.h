#pragma once
// The figures of a grid file that `geodem info --json` and `geodem check --json` both give, under
// the same names in the same units, so that a script reading either reads them alike:
//
//   file          the path as given
//   rows, columns the grid's size
//   zoom          Hzoom: a cell holds the height in metres times zoom
//   nodata        the cell value that stands for no data
//   cells         cells read; nodata_cells of them no data; nodata_share = nodata_cells / cells
//   min_m, max_m  the least and greatest height in metres (null when every cell is no data)
//
// The names are snake_case, as the batch report's (cells, bytes, seconds) are.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct GridFigures {
  std::string file;
  int rows = 0, columns = 0;
  std::int32_t zoom = 0;
  std::int64_t noData = 0;
  std::int64_t cells = 0, noDataCells = 0;
  std::optional<double> lowest, highest;  // metres

  // Name and JSON value of each figure, in the order above.
  std::vector<std::pair<std::string, std::string>> JsonMembers() const;
};
