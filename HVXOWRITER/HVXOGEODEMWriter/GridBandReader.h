#pragma once
// Reads a raster band from top to bottom as the grid's integers, rows stored consecutively. The
// cells reach the encoder as 32-bit floats, or as doubles when the band's type is wider than a
// float holds (GridCellEncoder::ReadsAsDouble); a Byte band marked PIXELTYPE=SIGNEDBYTE is read
// as signed bytes. Any band will do: the grid writer's temporary raster, or a source band.
//
// A read never spans more than the band height the caller allows (at most 5 242 880 cells). When
// the band is tiled in small blocks (a temporary HFA raster has 64 x 64 tiles), a read is one row
// of blocks, and each block is read straight into a small scratch buffer and encoded from there:
// every cell is then touched while it is in the cache, GDAL's block cache (which a single pass
// over the cells cannot profit from) is left alone, and the memory of a conversion is a row of
// blocks whatever cache the host allows GDAL. Other bands (strips, huge blocks, rows so wide that
// a row of blocks exceeds the band height) are read through GDALRasterIO, band by band.
#include <gdal.h>

#include <cstdint>
#include <vector>

#include "gridfile/GridCellEncoder.h"
#include "gridfile/GridRowSource.h"

class GridBandReader final : public GridRowSource {
 public:
  GridBandReader(GDALRasterBandH band, const GridCellEncoder& encoder, int bandHeight);

  // Rows read per band for a raster of rows x cols: at most 5 242 880 cells, at least one row.
  static int BandHeight(int rows, int cols);
  // Whether a band holds signed bytes under the type Byte (GDAL before Int8 marks them so).
  static bool IsSignedByte(GDALRasterBandH band);

  int RowsPerRead() const override { return m_rowsPerRead; }
  // False when GDAL fails.
  bool Read(int row, int count, std::int32_t* out) override;
  // The cells read so far that were clamped into the 32-bit range.
  std::int64_t ClampedCells() const { return m_clamped; }

 private:
  template <class Cell>
  bool ReadBlocks(int row, int count, std::int32_t* out);
  template <class Cell>
  bool ReadRows(int row, int count, std::int32_t* out);
  // n values of the band's type at bytes as cells.
  template <class Cell>
  Cell* Convert(const unsigned char* bytes, int n);

  GDALRasterBandH m_band;
  const GridCellEncoder& m_encoder;
  int m_columns;
  GDALDataType m_type;
  int m_typeSize;
  bool m_wide;
  bool m_signedByte;
  int m_blockWidth = 0;
  int m_blockHeight = 0;
  bool m_byBlocks = false;
  int m_rowsPerRead;
  std::int64_t m_clamped = 0;
  std::vector<double> m_block;  // one block (or a piece of a row) in the band's own type
  std::vector<double> m_cells;  // cells converted to doubles, or to floats in its first half
};
