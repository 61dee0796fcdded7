#pragma once
// Checks one grid file completely, as a receiver of a delivery would: its header against the
// layout it declares (HeaderLineCheck), its line structure (DataLineScan), every cell through the
// grid reader (a value that is not a number, outside 32 bits, Row x Col values missing), the
// cells' figures (no-data share, heights outside what Earth holds, coordinates outside the globe
// for unit D) and, when asked, every cell against the source DEM (SourceComparison).
//
// Memory is flat whatever the file size: the reader's chunk and a row, the line scan's chunk, and
// a band of source rows.
#include <cstdint>
#include <functional>
#include <string>

#include "apps/geodem/gridcheck/GridCheckOptions.h"
#include "apps/geodem/gridcheck/GridCheckResult.h"

class CnsdtfGridReader;
class HeaderLineCheck;
class SourceComparison;

class GridFileCheck {
 public:
  explicit GridFileCheck(const GridCheckOptions& options) : m_options(options) {}

  // Each row read (from 0), for a caller that needs some of the cells too (edge matching):
  // the file is read once for both.
  using RowSink = std::function<void(int row, const std::int32_t* values)>;

  GridCheckResult Run(const std::string& path, const RowSink& sink = {}) const;

 private:
  void CheckCells(CnsdtfGridReader& reader, const HeaderLineCheck& lines, const RowSink& sink,
                  GridCheckResult& result) const;
  void CheckCoordinates(const GridHeader& header, const HeaderLineCheck& lines,
                        GridCheckResult& result) const;
  void CheckNoData(GridCheckResult& result) const;
  std::int64_t NoDataValue(const GridHeader& header) const;

  const GridCheckOptions& m_options;
};
