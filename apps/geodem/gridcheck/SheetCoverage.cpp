#include "apps/geodem/gridcheck/SheetCoverage.h"

#include <gdal.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "apps/geodem/mapsheet/SheetNumber.h"
#include "messages/MessageText.h"

namespace {

constexpr int kPointsPerEdge = 64;  // a sheet's edges are curves in a projected system

// The file's coordinate system as the GEODEM driver reads it from the .prj; null without one.
std::unique_ptr<OGRSpatialReference> FileSystem(const std::string& path) {
  const char* const drivers[] = {"GEODEM", nullptr};
  GDALDatasetH dataset = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers,
                                    nullptr, nullptr);
  if (!dataset) return nullptr;
  std::unique_ptr<OGRSpatialReference> srs;
  if (OGRSpatialReferenceH found = GDALGetSpatialRef(dataset))
    srs.reset(OGRSpatialReference::FromHandle(found)->Clone());
  GDALClose(dataset);
  return srs;
}

// The sheet's bounding box in the file's system: its edges densified and transformed from the
// system's own geographic coordinates. False when PROJ cannot transform them.
bool SheetBox(const SheetExtent& e, const OGRSpatialReference& target, double box[4]) {
  std::unique_ptr<OGRSpatialReference> geographic(target.CloneGeogCS());
  if (!geographic) return false;
  geographic->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  OGRSpatialReference projected(target);
  projected.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> transform(
      OGRCreateCoordinateTransformation(geographic.get(), &projected));
  if (!transform) return false;
  std::vector<double> x, y;
  for (int i = 0; i <= kPointsPerEdge; ++i) {
    const double t = static_cast<double>(i) / kPointsPerEdge;
    const double lon = e.west + t * (e.east - e.west), lat = e.south + t * (e.north - e.south);
    for (auto [px, py] : {std::pair{lon, e.south}, {lon, e.north}, {e.west, lat}, {e.east, lat}}) {
      x.push_back(px);
      y.push_back(py);
    }
  }
  if (!transform->Transform(x.size(), x.data(), y.data())) return false;
  box[0] = *std::min_element(x.begin(), x.end());
  box[1] = *std::min_element(y.begin(), y.end());
  box[2] = *std::max_element(x.begin(), x.end());
  box[3] = *std::max_element(y.begin(), y.end());
  return true;
}

}  // namespace

std::optional<SheetPlacement> SheetCoverage::Named(const std::string& path, std::string& error) {
  const std::string name = std::filesystem::path(path).stem().string();
  const std::optional<SheetNumber> sheet = SheetNumber::Parse(name, error);
  if (!sheet) return std::nullopt;
  return SheetPlacement{sheet->text(), sheet->extent(), std::nullopt};
}

std::optional<SheetPlacement> SheetCoverage::Check(const std::string& path,
                                                   const GridHeader& header,
                                                   std::optional<long> scale,
                                                   std::vector<GridFinding>& findings) {
  std::string error;
  std::optional<SheetPlacement> placement = Named(path, error);
  if (!placement) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("the file's name is not a map sheet number: %s", error.c_str())));
    return std::nullopt;
  }
  const std::optional<SheetNumber> sheet = SheetNumber::Parse(placement->number, error);
  if (scale && sheet->scale().denominator != *scale) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("sheet %s is a sheet of %s, not of 1:%s", placement->number.c_str(),
                        sheet->scale().name().c_str(), std::to_string(*scale).c_str())));
    return placement;
  }
  const SheetExtent& e = placement->extent;
  double box[4] = {e.west, e.south, e.east, e.north};
  const std::unique_ptr<OGRSpatialReference> srs = FileSystem(path);
  const bool degrees = srs ? srs->IsGeographic() != 0 : header.unit == 'D';
  if (!srs && !degrees) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("the grid's coordinate system is unknown (no .prj beside it, XYUnit %c): "
                        "sheet %s cannot be placed",
                        header.unit, placement->number.c_str())));
    return placement;
  }
  if (srs && !degrees && !SheetBox(e, *srs, box)) {
    findings.push_back(GridFinding::Error(MessageText::Tr(
        "PROJ cannot take sheet %s into the grid's coordinate system", placement->number.c_str())));
    return placement;
  }
  SheetPlacement::Margins m;
  m.degrees = degrees;
  m.west = box[0] - header.x0;
  m.east = (header.x0 + header.cols * header.dx) - box[2];
  m.north = header.y0 - box[3];
  m.south = box[1] - (header.y0 - header.rows * header.dy);
  placement->margins = m;
  const double tolerance = 1e-6 * std::min(header.dx, header.dy);
  if (std::min({m.west, m.east, m.north, m.south}) < -tolerance) {
    findings.push_back(
        GridFinding::Error(MessageText::Tr("the grid does not cover sheet %s: margins %s",
                                           placement->number.c_str(), m.Text().c_str())));
  }
  return placement;
}
