#include "host/CoordinateUnits.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <memory>
#include <type_traits>

namespace {

constexpr double kDegree = 0.017453292519943295;

bool Near(double a, double b, double relative) { return std::fabs(a - b) <= relative * b; }

using Srs = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>,
                            decltype(&OSRDestroySpatialReference)>;

// GDAL's reading of the text; empty when it reads none.
Srs Parse(const std::string& wkt) {
  Srs srs(OSRNewSpatialReference(nullptr), &OSRDestroySpatialReference);
  if (OSRSetFromUserInput(srs.get(), wkt.c_str()) != OGRERR_NONE) srs.reset();
  return srs;
}

}  // namespace

CoordinateUnits CoordinateUnits::Of(const std::string& wkt) {
  CoordinateUnits units;
  if (wkt.empty()) return units;
  units.m_kind = Kind::kUnsound;
  const Srs srs = Parse(wkt);
  if (!srs) {
    units.m_reason = "GDAL cannot read its coordinate system";
    return units;
  }
  if (OSRIsGeocentric(srs.get())) {
    units.m_reason = "its coordinate system is geocentric (no plane coordinates)";
    return units;
  }
  char* name = nullptr;
  if (OSRIsGeographic(srs.get())) {
    const double radians = OSRGetAngularUnits(srs.get(), &name);
    units.m_unitName = name ? name : "";
    if (Near(radians, kDegree, 1e-9)) {
      units.m_kind = Kind::kDegrees;
    } else {
      units.m_reason = "its longitudes and latitudes are in " + units.m_unitName + ", not degrees";
    }
    return units;
  }
  const double metres = OSRGetLinearUnits(srs.get(), &name);
  units.m_unitName = name ? name : "";
  if (!(metres > 0) || !std::isfinite(metres)) {
    units.m_reason = "its linear unit '" + units.m_unitName + "' has no length in metres";
  } else if (Near(metres, 1.0, 1e-12)) {
    units.m_kind = Kind::kMetres;
  } else if (Near(metres, 0.3048, 1e-9) || Near(metres, 1200.0 / 3937.0, 1e-9)) {
    units.m_kind = Kind::kFeet;
  } else {
    units.m_kind = Kind::kConverted;
    units.m_factor = metres;
  }
  return units;
}

char CoordinateUnits::letter() const {
  switch (m_kind) {
    case Kind::kDegrees:
      return 'D';
    case Kind::kFeet:
      return 'F';
    case Kind::kUnsound:
      return '\0';
    default:
      return 'M';
  }
}

std::string CoordinateUnits::HeaderWkt(const std::string& wkt) const {
  if (m_kind != Kind::kConverted) return wkt;
  const Srs srs = Parse(wkt);
  char* text = nullptr;
  std::string result;
  const char* const options[] = {"FORMAT=WKT2_2019", nullptr};
  if (srs && OSRSetLinearUnitsAndUpdateParameters(srs.get(), SRS_UL_METER, 1.0) == OGRERR_NONE &&
      OSRExportToWktEx(srs.get(), &text, options) == OGRERR_NONE && text)
    result = text;
  CPLFree(text);
  return result;
}
