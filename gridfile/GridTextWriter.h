#pragma once
// The text of a CNSDTF-DEM grid file (GB/T 17798): the header in one of the three layouts, the
// empty line, then the cells row by row from the north, ten values to a line, CR LF line ends.
// The writer component converts its temporary raster through it and the GDAL driver its source
// dataset, so that both write the same bytes for the same cells.
#include <gdal.h>

#include <cstdint>
#include <functional>
#include <string_view>

class GridRowSource;
class GridTextFile;

class GridTextWriter {
 public:
  enum class Layout { kEdition2007, kEdition1999, kPositional };

  struct Georeference {
    int rows = 0;
    int cols = 0;
    double x0 = 0, y0 = 0, dx = 0, dy = 0;
    char unit = 'M';
  };

  // Told after each row is read and handed to the writing (row counted from 0); false stops the
  // writing.
  using RowDone = std::function<bool(int row, int rows)>;

  // VERSION "GRD_2007" and "GRD_1999" (any letter case) select the keyed headers, any other text
  // the positional one.
  static Layout LayoutOf(std::string_view version);
  // A dataset's size, upper-left corner and cell size (its geotransform, DY as a distance), and the
  // unit letter of its coordinate system (metres when it has none GDAL reads); coordinates in a
  // unit without a letter (kilometres...) converted to metres (CoordinateUnits).
  static Georeference GeoreferenceOf(GDALDatasetH dataset);

  GridTextWriter(Layout layout, std::int32_t zoom) : m_layout(layout), m_zoom(zoom) {}

  std::int32_t Zoom() const { return m_zoom; }

  void WriteHeader(GridTextFile& out, const Georeference& geo) const;
  // The data section; false when a read or the file fails, memory runs short or rowDone stops it
  // (the file then holds what was written so far).
  bool WriteRows(GridTextFile& out, GridRowSource& source, const Georeference& geo,
                 const RowDone& rowDone) const;

 private:
  void WriteKeyedGrid(GridTextFile& out, const Georeference& geo) const;
  static int Decimals(const Georeference& geo);

  Layout m_layout;
  std::int32_t m_zoom;
};
