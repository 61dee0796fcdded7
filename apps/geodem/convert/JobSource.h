#pragma once
// One source of the job as geodem hands it to the writer: the band read by the shared rules, where
// its blocks lie, and the type and no-data marker its cells travel in (a mosaic's pieces share
// the grid of the first piece and one type and marker).
#include <cstdint>
#include <optional>

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
  // Bounds of its heights when its type alone settles the zoom check.
  std::optional<SourceReader::HeightRange> heights;
  // The job's zoom when its type does not: its cells are checked as they go to the writer.
  std::optional<std::int64_t> zoomToCheck;
  // The job's zoom and no-data integer when some height of its type would become that integer:
  // its cells are counted as they pass, to warn of heights that would read as no data.
  struct NoDataCheck {
    std::int64_t zoom = 0;
    std::int64_t noData = 0;
  };
  std::optional<NoDataCheck> noDataToCheck;
};
