#pragma once
// One source of the job as geodem hands it to the writer: the band read by the shared rules, where
// its blocks lie, and the type and no-data marker its cells travel in (a mosaic's pieces share
// the grid of the first piece and one type and marker).
#include "rastersource/CellPlan.h"
#include "rastersource/RasterSource.h"
#include "rastersource/SourceReader.h"

struct JobSource {
  explicit JobSource(RasterSource r)
      : raster(std::move(r)),
        originX(raster.originX()),
        originY(raster.originY()),
        pixelWidth(raster.pixelWidth()),
        pixelHeight(raster.pixelHeight()),
        cells(CellPlan::For({&raster}, false)) {}

  RasterSource raster;
  double originX, originY;
  double pixelWidth, pixelHeight;  // signed, negative for north-up
  CellPlan cells;
  // Bounds of its heights once the zoom check has found them (its type's range, or scanned).
  std::optional<SourceReader::HeightRange> heights;
};
