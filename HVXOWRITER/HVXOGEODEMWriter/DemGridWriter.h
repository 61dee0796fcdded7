#pragma once
// Turns a finished temporary raster (HFA, the final path followed by ".tmp") into a CNSDTF-DEM grid
// file (GB/T 17798) and then deletes the temporary raster. The DEM writer's WriteFormatFile
// delegates here, one object per file:
//
//   DemGridWriter(params, invalidData, logOutput, progressOn).Write(finalPath, temporaryPath)
//
// The raster's band 1 is read by GridBandReader (as 32-bit floats, as doubles when its type is
// wider) and the text written by GridTextWriter, which the GDAL driver shares.
#include <gdal.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"
#include "gridfile/GridCellEncoder.h"
#include "gridfile/GridTextWriter.h"

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

 private:
  int WriteGuarded(const std::string& finalPath, const std::string& temporaryPath);
  // 0, after noting the operating system's reason when the grid file's own write failed.
  int Failed(const GridTextFile& out, const std::string& finalPath) const;
  // clamped: the cells that did not fit the 32-bit range.
  bool WriteCells(GridTextFile& out, GDALRasterBandH band, const GridTextWriter::Georeference& geo,
                  std::int64_t& clamped) const;
  void ReportRow(int row, int rows) const;

  GridTextWriter m_text;
  GridCellEncoder m_encoder;
  bool m_logOutput;
  bool m_progressOn;
};
