#include "apps/geodem/gridcheck/SheetCoverage.h"

#include <gdal.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <tuple>

#include "apps/geodem/mapsheet/SheetNumber.h"
#include "host/UserPath.h"
#include "messages/MessageText.h"

namespace {

constexpr int kPointsPerEdge = 64;  // a sheet's edges are curves in a projected system

// The file's coordinate system as the GEODEM driver reads it from the .prj; null without one.
std::unique_ptr<OGRSpatialReference> FileSystem(const std::string& path) {
  if (std::string refusal; !UserPath::MayRead(path, "grid file", refusal)) return nullptr;
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

// Half a unit of the last decimal a header number is written with ("0.0008333333": 5e-11): the
// most by which the true value may differ from the one stated. 0 for a number not written there.
double HalfUnit(const std::string* text) {
  if (!text) return 0;
  const std::string_view number(*text);
  const std::size_t exponentAt = std::min(number.find_first_of("eE"), number.size());
  const int exponent = exponentAt < number.size() ? std::atoi(text->c_str() + exponentAt + 1) : 0;
  const std::size_t point = number.substr(0, exponentAt).find('.');
  const int decimals = point == std::string_view::npos ? 0 : static_cast<int>(exponentAt - point - 1);
  return 0.5 * std::pow(10.0, exponent - decimals);
}

// How far each edge of the grid may lie from where the header's numbers put it: the corner's
// rounding, and the cell size's rounding taken Col (Row) times, or a thousandth of a cell where
// that is more. A grid short of an edge by no more than this covers it as far as the file can say.
std::array<double, 4> Tolerance(const GridHeader& header) {
  const double x0 = HalfUnit(header.Value("X0")), y0 = HalfUnit(header.Value("Y0"));
  const double dx = HalfUnit(header.Value("DX")), dy = HalfUnit(header.Value("DY"));
  const double least = SheetCoverage::kCellFraction * std::min(header.dx, header.dy);
  return {std::max(x0, least), std::max(x0 + header.cols * dx, least), std::max(y0, least),
          std::max(y0 + header.rows * dy, least)};
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
  m.tolerance = Tolerance(header);
  placement->margins = m;
  std::string shortOf;
  for (auto [side, margin, tolerance] :
       {std::tuple{MessageText::Tr("west"), m.west, m.tolerance[0]},
        {MessageText::Tr("east"), m.east, m.tolerance[1]},
        {MessageText::Tr("north"), m.north, m.tolerance[2]},
        {MessageText::Tr("south"), m.south, m.tolerance[3]}}) {
    if (margin < -tolerance) shortOf += (shortOf.empty() ? "" : ", ") + side;
  }
  if (!shortOf.empty()) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("the grid does not cover sheet %s, short of its %s edge: margins %s",
                        placement->number.c_str(), shortOf.c_str(), m.Text().c_str())));
  }
  return placement;
}
