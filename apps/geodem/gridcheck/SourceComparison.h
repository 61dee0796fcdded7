#pragma once
// Compares a grid file's cells with the DEM it was made from: every cell must be the integer
// geodem convert writes for the source's height at that place, the source read by the same rules
// (rastersource/: band, no-data value, masks, scale, offset, feet) and encoded by the writer's own
// cell encoder at the file's Hzoom, no-data cells as the file's no-data value. The grid may be a
// window of the source (a map sheet cut from it, with its buffer): same cell size, its corner on
// the source's lattice; its cells past the source's edge are no data. The first differing cells
// are reported with the count and their place in the source too; when they all fit another zoom,
// that zoom is named, and when they are all no-data cells of another value, that value.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gridfile/GridCellEncoder.h"
#include "apps/geodem/gridcheck/GridFinding.h"
#include "gridfile/GridHeader.h"
#include "rastersource/CellPlan.h"
#include "rastersource/RasterSource.h"
#include "rastersource/SourceReader.h"

class SourceComparison {
 public:
  // Opens band `band` of the source for a grid of this header; nothing, with an error finding,
  // when it cannot be read or does not cover the grid cell for cell.
  static std::unique_ptr<SourceComparison> Open(const std::string& path, int band,
                                                const GridHeader& header, std::int32_t noData,
                                                std::vector<GridFinding>& findings);

  // Compares row `row` (from 0) of the file, rows in order. False once the source cannot be read.
  bool CompareRow(int row, const std::int32_t* values);
  // The differences found, the first of them cell by cell; zoomLine places a zoom finding.
  void Report(long zoomLine, std::vector<GridFinding>& findings) const;

 private:
  // Where the grid lies on the source: the source's row and column of the grid's first cell.
  struct Window {
    int rows = 0, cols = 0;
    long long row = 0, column = 0;
  };
  SourceComparison(RasterSource source, Window window, std::int32_t zoom, std::int32_t noData);
  static std::optional<Window> WindowOf(const RasterSource& source, const GridHeader& header);
  bool ReadWindow(int row);
  std::optional<std::int32_t> SharedNoData() const;
  bool Whole() const;
  bool ReadRows(int row);
  std::optional<std::int32_t> FittingZoom() const;

  struct Difference {
    int row, column;
    std::int32_t expected, found;
    double height;  // the source's, in metres; NaN for no data
  };

  const RasterSource m_source;
  const Window m_window;
  std::optional<SourceReader> m_reader;  // reads m_source
  const CellPlan m_plan;
  const std::int32_t m_zoom;
  const std::int32_t m_noData;
  const GridCellEncoder m_encoder;
  int m_rowsPerRead;
  int m_firstRow = 0, m_rowCount = 0;  // the rows in m_expected
  std::vector<unsigned char> m_raw;    // one read in the plan's type, the source's part
  std::vector<float> m_floats;         // the cells as the encoder takes them
  std::vector<double> m_doubles;
  std::vector<std::int32_t> m_expected;
  std::int64_t m_differing = 0;
  std::vector<Difference> m_differences;  // the first of them
  bool m_failed = false;
};
