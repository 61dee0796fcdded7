#pragma once
// The band of a source dataset that the driver writes, read as the grid's integers by the rules
// geodem convert reads its sources by, from the same code (rastersource/): the band chosen, its
// no-data value as the band stores it, NaN and masked cells, scale, offset and feet, and the type
// and no-data marker its cells travel in. The cells are encoded by the writer's cell encoder, and a
// height that the zoom pushes past the 32-bit integers fails the read instead of being clamped.
#include <gdal_priv.h>

#include <memory>
#include <optional>
#include <vector>

#include "gdal/GeodemCreationOptions.h"
#include "gridfile/GridCellEncoder.h"
#include "gridfile/GridRowSource.h"
#include "rastersource/CellPlan.h"
#include "rastersource/RasterSource.h"
#include "rastersource/SourceReader.h"

class GeodemSourceBand final : public GridRowSource {
 public:
  // The band options.band of the dataset; nothing after a CE_Failure saying why it cannot be
  // written (no band, no geotransform, rotated or south-up). Notes about the source (other bands,
  // feet, scale) are warnings.
  static std::unique_ptr<GeodemSourceBand> Open(GDALDataset& dataset,
                                                const GeodemCreationOptions& options);

  int RowsPerRead() const override { return m_rowsPerRead; }
  int RowsDecodedAtOnce() const override { return m_byBlockRows ? m_blockRows : m_rowsPerGdalRead; }
  // False after a CE_Failure: GDAL failed to read, or a height does not fit the zoom.
  bool Read(int row, int count, std::int32_t* out) override;
  // The CE_Failure for a height that the zoom pushes past the grid's integers, naming its cell
  // (counted from 1) and the largest zoom that fits it, or what to do when no zoom does.
  static void Overflow(std::int32_t zoom, double height, long long row, long long col,
                       const char* name);

 private:
  GeodemSourceBand(GDALDataset& dataset, RasterSource source, std::int32_t zoom, double noData);
  // Encodes the n cells of the last read as Cells of cellType, converted when the plan's type
  // differs.
  template <class Cell>
  bool Encode(GDALDataType cellType, std::vector<Cell>& converted, int row, std::size_t n,
              std::int32_t* out);
  template <class Cell>
  bool Fits(const Cell* cells, const std::int32_t* out, std::size_t n, int row);
  // Rows [row, row + count) into m_cells through GDAL's RasterIO and block cache, or from the
  // source's rows of blocks read past the cache.
  bool ReadThroughCache(int row, int count);
  bool CopyBlockRows(int row, int count);
  bool HoldsMarker(int firstRow) const;

  GDALDataset& m_dataset;
  const RasterSource m_source;
  const SourceReader m_reader;  // reads m_source, declared before it
  const CellPlan m_plan;
  const std::int32_t m_zoom;
  const GridCellEncoder m_encoder;
  const int m_rowsPerGdalRead;  // rows GDAL reads and caches at a time
  const int m_rowsPerRead;      // rows handed to the grid text at a time, whole GDAL reads
  const bool m_byBlockRows;     // the source's rows of blocks are read past GDAL's cache
  int m_blockRows = 0;          // rows of the source's blocks
  int m_loadedBlockRow = -1;    // the row of blocks in m_blockRow
  std::vector<unsigned char> m_blockRow;  // one row of the source's blocks, when m_byBlockRows
  std::vector<unsigned char> m_scratch;   // one block
  std::vector<unsigned char> m_cells;     // one read in the plan's type
  std::vector<float> m_floats;            // the same as the encoder takes them
  std::vector<double> m_doubles;
};
