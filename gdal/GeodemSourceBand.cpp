#include "gdal/GeodemSourceBand.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "host/HVXRasterBase.h"

namespace {

bool IsFloating(GDALDataType type) { return type == GDT_Float32 || type == GDT_Float64; }

// The range of an integer type's values.
bool HoldsInteger(GDALDataType type, double value) {
  double low = 0, high = 0;
  switch (type) {
    case GDT_Byte:
      high = 255;
      break;
    case GDT_UInt16:
      high = 65535;
      break;
    case GDT_Int16:
      low = -32768, high = 32767;
      break;
    case GDT_UInt32:
      high = 4294967295.0;
      break;
    case GDT_Int32:
      low = -2147483648.0, high = 2147483647.0;
      break;
    default:
      return true;  // 64-bit integers travel as Float64
  }
  return value >= low && value <= high && std::trunc(value) == value;
}

}  // namespace

std::optional<double> GeodemSourceBand::InvalidValue(GDALRasterBand& band) {
  GDALDataType type = band.GetRasterDataType();
  if (type == GDT_Int64 || type == GDT_UInt64) type = GDT_Float64;
  int has = 0;
  const double declared = band.GetNoDataValue(&has);
  const bool finite = has && std::isfinite(declared);
  if (IsFloating(type)) {
    if (finite && type == GDT_Float32 && std::fabs(declared) <= FLT_MAX) {
      return static_cast<float>(declared);
    }
    if (finite && type == GDT_Float64) return declared;
    return GetInvalid(type);
  }
  if (finite && HoldsInteger(type, declared)) return declared;
  return std::nullopt;
}

GeodemSourceBand::GeodemSourceBand(GDALRasterBand& band, const GeodemCreationOptions& options)
    : m_encoder(options.zoom, options.noData, InvalidValue(band)),
      m_reader(GDALRasterBand::ToHandle(&band), m_encoder,
               GridBandReader::BandHeight(band.GetYSize(), band.GetXSize())) {}
