#include "apps/geodem/sheets/SheetGrid.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "apps/geodem/convert/JobSource.h"
#include "apps/geodem/convert/MosaicGrid.h"
#include "apps/geodem/Translation.h"

namespace {

// Points on each edge of a transformed rectangle: enough to follow a sheet's curved outline in a
// Gauss-Kruger zone to well under a centimetre.
constexpr int kEdgePoints = 21;
// A sheet edge within a millionth of a cell of a cell edge lies on it (float noise, as in
// MosaicGrid): it gains no cell.
constexpr double kOnEdge = 1e-6;

using SrsHandle = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>,
                                  decltype(&OSRDestroySpatialReference)>;

SrsHandle Srs(OGRSpatialReferenceH srs) {
  if (srs) OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
  return SrsHandle(srs, &OSRDestroySpatialReference);
}

// Whether every source is in the first one's coordinate system; else `error` names two that differ.
bool OneSystem(const std::vector<JobSource>& sources, std::string& error) {
  const JobSource& first = sources.front();
  SrsHandle firstSrs = Srs(OSRNewSpatialReference(first.raster.wkt().c_str()));
  for (const JobSource& s : sources) {
    SrsHandle srs = Srs(OSRNewSpatialReference(s.raster.wkt().c_str()));
    if (!srs || !firstSrs || !OSRIsSame(srs.get(), firstSrs.get())) {
      error = Tr("cannot cut %s and %s into one sheet set: their coordinate systems differ; warp "
                 "one onto the other's first (gdalwarp -t_srs)",
                 first.raster.path().c_str(), s.raster.path().c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<SheetGrid> SheetGrid::Open(const std::vector<std::string>& sources, int band,
                                         std::string& error) {
  std::vector<JobSource> described;
  for (const std::string& path : sources) {
    std::optional<RasterSource> source = RasterSource::Describe(path, band, error);
    if (!source) return std::nullopt;
    if (source->wkt().empty()) {
      // A VRT assigns one to any source, a grid file (which GDAL opens read-only) included.
      error = Tr("%s has no coordinate system, so where the sheets lie on it is unknown; assign "
                 "one first (gdal_translate -of VRT -a_srs EPSG:4490 %s with_srs.vrt)",
                 path.c_str(), path.c_str());
      return std::nullopt;
    }
    described.emplace_back(std::move(*source));
  }
  std::vector<JobSource*> pieces;
  for (JobSource& s : described) pieces.push_back(&s);
  if (!MosaicGrid::Align(pieces, error)) return std::nullopt;

  if (!OneSystem(described, error)) return std::nullopt;

  SheetGrid grid;
  const JobSource& first = described.front();
  grid.sources_ = sources;
  grid.band_ = band;
  grid.originX_ = first.originX;
  grid.originY_ = first.originY;
  grid.cellWidth_ = first.pixelWidth;
  grid.cellHeight_ = -first.pixelHeight;
  grid.Span(described);
  if (described.size() == 1) grid.loneNoData_ = first.raster.noData();
  if (!grid.MakeTransforms(first.raster.wkt(), error)) return std::nullopt;
  return grid;
}

void SheetGrid::Span(const std::vector<JobSource>& sources) {
  long lastColumn = 0, lastRow = 0;
  for (const JobSource& s : sources) {
    const long column = std::lround((s.originX - originX_) / cellWidth_);
    const long row = std::lround((originY_ - s.originY) / cellHeight_);
    firstColumn_ = std::min(firstColumn_, column);
    firstRow_ = std::min(firstRow_, row);
    lastColumn = std::max(lastColumn, column + s.raster.width());
    lastRow = std::max(lastRow, row + s.raster.height());
  }
  columns_ = lastColumn - firstColumn_;
  rows_ = lastRow - firstRow_;
}

bool SheetGrid::MakeTransforms(const std::string& wkt, std::string& error) {
  SrsHandle srs = Srs(OSRNewSpatialReference(wkt.c_str()));
  if (!srs) {
    error = Tr("GDAL cannot read the coordinate system of %s", sources_.front().c_str());
    return false;
  }
  if (OSRIsGeographic(srs.get())) {
    geographic_ = true;
    if (std::fabs(OSRGetAngularUnits(srs.get(), nullptr) - std::numbers::pi / 180) > 1e-12) {
      error = Tr("%s is in geographic coordinates that are not degrees; warp it to degrees first "
                 "(gdalwarp -t_srs EPSG:4490)",
                 sources_.front().c_str());
      return false;
    }
    return true;
  }
  if (!OSRIsProjected(srs.get())) {
    error = Tr("%s is neither in geographic nor in projected coordinates",
               sources_.front().c_str());
    return false;
  }
  SrsHandle degrees = Srs(OSRCloneGeogCS(srs.get()));
  toDegrees_ = Transform(OCTNewCoordinateTransformation(srs.get(), degrees.get()),
                         &OCTDestroyCoordinateTransformation);
  fromDegrees_ = Transform(OCTNewCoordinateTransformation(degrees.get(), srs.get()),
                           &OCTDestroyCoordinateTransformation);
  if (!toDegrees_ || !fromDegrees_) {
    error = Tr("cannot transform between the coordinates of %s and their geographic coordinates",
               sources_.front().c_str());
    return false;
  }
  return true;
}

SheetExtent SheetGrid::Bounds(const SheetWindow& w) const {
  return {originX_ + static_cast<double>(w.column) * cellWidth_,
          originY_ - static_cast<double>(w.row + w.rows) * cellHeight_,
          originX_ + static_cast<double>(w.column + w.columns) * cellWidth_,
          originY_ - static_cast<double>(w.row) * cellHeight_};
}

SheetWindow SheetGrid::Covered(const SheetWindow& w) const {
  const long west = std::max(w.column, firstColumn_);
  const long east = std::min(w.column + w.columns, firstColumn_ + columns_);
  const long north = std::max(w.row, firstRow_);
  const long south = std::min(w.row + w.rows, firstRow_ + rows_);
  if (east <= west || south <= north) return {};
  return {west - w.column, north - w.row, east - west, south - north};
}

std::optional<SheetExtent> SheetGrid::Area(std::string& error) const {
  SheetExtent area = Bounds({firstColumn_, firstRow_, columns_, rows_});
  if (geographic_) return area;
  SheetExtent degrees;
  if (!OCTTransformBounds(toDegrees_.get(), area.west, area.south, area.east, area.north,
                          &degrees.west, &degrees.south, &degrees.east, &degrees.north,
                          kEdgePoints)) {
    error = Tr("cannot transform the extent of %s to geographic coordinates",
               sources_.front().c_str());
    return std::nullopt;
  }
  return degrees;
}

std::optional<SheetWindow> SheetGrid::WindowOf(const SheetExtent& sheet, long buffer,
                                               std::string& error) const {
  SheetExtent edges = sheet;
  if (!geographic_ &&
      !OCTTransformBounds(fromDegrees_.get(), sheet.west, sheet.south, sheet.east, sheet.north,
                          &edges.west, &edges.south, &edges.east, &edges.north, kEdgePoints)) {
    error = Tr("cannot transform a sheet's edges into the coordinates of %s",
               sources_.front().c_str());
    return std::nullopt;
  }
  long west = static_cast<long>(std::floor((edges.west - originX_) / cellWidth_ + kOnEdge));
  long east = static_cast<long>(std::ceil((edges.east - originX_) / cellWidth_ - kOnEdge));
  long north = static_cast<long>(std::floor((originY_ - edges.north) / cellHeight_ + kOnEdge));
  long south = static_cast<long>(std::ceil((originY_ - edges.south) / cellHeight_ - kOnEdge));
  return SheetWindow{west - buffer, north - buffer, east - west + 2 * buffer,
                     south - north + 2 * buffer};
}
