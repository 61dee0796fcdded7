#pragma once
// The grid that sheets are cut from: the sources of one mosaic (one coordinate system, one cell
// size, corners on the first source's grid, as geodem convert requires), and where a sheet lies
// on it. A sheet's edges are meridians and parallels of the sources' own geographic coordinate
// system (CGCS2000 for a CGCS2000 Gauss-Kruger zone, WGS 84 for UTM): for a geographic source they
// are its window's edges; for a projected one they are transformed with points along every edge,
// so that the window holds the whole curved outline. The window is widened by the buffer and
// snapped outward to whole cells: cells are cut, never resampled.
#include <ogr_srs_api.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "apps/geodem/mapsheet/SheetExtent.h"
#include "apps/geodem/sheets/SheetWindow.h"

struct JobSource;

class SheetGrid {
 public:
  // Describes the sources (band `band` of each) and checks they form one mosaic; none, with
  // `error` set, when they do not or have no coordinate system.
  static std::optional<SheetGrid> Open(const std::vector<std::string>& sources, int band,
                                       std::string& error);

  // The area the sources cover, in degrees of their geographic coordinate system.
  std::optional<SheetExtent> Area(std::string& error) const;
  // The window of the sheet with the corners `sheet` (degrees), `buffer` cells wider each side.
  std::optional<SheetWindow> WindowOf(const SheetExtent& sheet, long buffer,
                                      std::string& error) const;
  // The window's corners in the sources' coordinates: west, south, east, north.
  SheetExtent Bounds(const SheetWindow& window) const;
  // The part of `window` within the sources' extent, in cells from the window's corner; no
  // columns when it lies outside them.
  SheetWindow Covered(const SheetWindow& window) const;

  const std::vector<std::string>& sources() const { return sources_; }
  int band() const { return band_; }  // the band of each source that holds the heights
  double cellWidth() const { return cellWidth_; }
  double cellHeight() const { return cellHeight_; }  // positive
  // The band's no-data value when the grid is one source that has one: the cut then copies the
  // cells as they are, no-data cells included, which GDAL does at the speed of reading a file.
  const std::optional<double>& loneNoData() const { return loneNoData_; }

 private:
  using Transform = std::shared_ptr<std::remove_pointer_t<OGRCoordinateTransformationH>>;

  SheetGrid() = default;
  // The mosaic's extent in cells of the first source's grid.
  void Span(const std::vector<JobSource>& sources);
  bool MakeTransforms(const std::string& wkt, std::string& error);

  std::vector<std::string> sources_;
  int band_ = 1;
  double originX_ = 0, originY_ = 0;  // upper-left corner of the first source
  double cellWidth_ = 0, cellHeight_ = 0;
  long columns_ = 0, rows_ = 0;  // the mosaic's extent from that corner
  long firstColumn_ = 0, firstRow_ = 0;
  std::optional<double> loneNoData_;
  bool geographic_ = false;
  Transform toDegrees_, fromDegrees_;  // empty for a geographic source
};
