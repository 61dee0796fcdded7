#pragma once
// Turns a finished temporary raster (HFA, the final path followed by ".tmp") into a CNSDTF-DEM grid
// file (GB/T 17798) and then deletes the temporary raster. The DEM writer's WriteFormatFile
// delegates here, one object per file:
//
//   DemGridWriter(params, invalidData, logOutput, progressOn).Write(finalPath, temporaryPath)
//
// The raster's band 1 is read as 32-bit floats (as doubles when its type is wider) in horizontal
// bands of at most 5 242 880 cells (BandHeight rows; a tiled raster such as the HFA temporary is
// read one row of tiles at a time, which is less), so memory stays flat whatever the raster size. The cells are encoded as the
// grid's integers right after reading, formatted without printf, and the text leaves through one
// large buffer: writing a grid costs a small multiple of writing its bytes.
#include <gdal.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridCellEncoder.h"

class GridTextFile;

class DemGridWriter {
 public:
  // invalidData: the source's invalid value per band; cells equal to the first are no data. With
  // none given only NaN and infinite cells are no data.
  DemGridWriter(const DemWriterParameters& params, const std::vector<double>& invalidData,
                bool logOutput, bool progressOn);

  // Paths are GBK. 1 when the grid file was written completely (the temporary raster is then
  // deleted); 0 on any failure, the temporary raster kept. The text goes to a temporary beside the
  // final path that takes its name only when complete, so a failure, a stop the host asked for
  // (GeoCancelRequested, polled between rows) or a kill never leaves part of a grid file there and
  // never costs an earlier one.
  int Write(const std::string& finalPath, const std::string& temporaryPath);

  // Rows read per band for a raster of rows x cols: at most 5 242 880 cells, at least one row.
  static int BandHeight(int rows, int cols);

 private:
  enum class Layout { kEdition2007, kEdition1999, kPositional };

  struct Georeference {
    int rows = 0;
    int cols = 0;
    double x0 = 0, y0 = 0, dx = 0, dy = 0;
    char unit = 'M';
  };

  int WriteGuarded(const std::string& finalPath, const std::string& temporaryPath);
  void WriteHeader(GridTextFile& out, const Georeference& geo) const;
  void WriteKeyedGrid(GridTextFile& out, const Georeference& geo) const;
  static int Decimals(const Georeference& geo);
  // clamped: the cells that did not fit the 32-bit range.
  bool WriteCells(GridTextFile& out, GDALRasterBandH band, int rows, int cols,
                  std::int64_t& clamped) const;
  void WriteRow(GridTextFile& out, const std::int32_t* values, int cols) const;
  void ReportRow(int row, int rows) const;

  Layout m_layout;
  std::int32_t m_zoom;
  GridCellEncoder m_encoder;
  bool m_logOutput;
  bool m_progressOn;
};
