#pragma once
// Rows of a raster as the grid's integers, from the north, a read of several rows at a time: what
// the grid text is written from. The writer component reads its temporary raster through
// GridBandReader; the GDAL driver reads its source dataset through its own reader.
#include <cstdint>

class GridRowSource {
 public:
  virtual ~GridRowSource() = default;

  // The rows of one read (the last read may hold fewer).
  virtual int RowsPerRead() const = 0;
  // The rows the source decodes at once (a row of its tiles, say), which the writing reads ahead.
  virtual int RowsDecodedAtOnce() const { return RowsPerRead(); }
  // Rows [row, row + count) into out (count x columns integers), row a multiple of RowsPerRead()
  // and count at most RowsPerRead(); false when reading fails.
  virtual bool Read(int row, int count, std::int32_t* out) = 0;
};
