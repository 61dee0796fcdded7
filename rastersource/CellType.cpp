#include "rastersource/CellType.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace cell_type {

bool IsFloating(GDALDataType type) { return type == GDT_Float32 || type == GDT_Float64; }

double Lowest(GDALDataType type) {
  switch (type) {
    case GDT_Byte:
    case GDT_UInt16:
    case GDT_UInt32:
      return 0;
    case GDT_Int16:
      return std::numeric_limits<std::int16_t>::min();
    case GDT_Int32:
      return std::numeric_limits<std::int32_t>::min();
    case GDT_Float32:
      return -FLT_MAX;
    default:
      return -DBL_MAX;
  }
}

double Highest(GDALDataType type) {
  switch (type) {
    case GDT_Byte:
      return 255;
    case GDT_UInt16:
      return 65535;
    case GDT_UInt32:
      return 4294967295.0;
    case GDT_Int16:
      return 32767;
    case GDT_Int32:
      return 2147483647.0;
    case GDT_Float32:
      return FLT_MAX;
    default:
      return DBL_MAX;
  }
}

bool Holds(GDALDataType outer, GDALDataType inner) {
  if (outer == inner || outer == GDT_Float64) return true;
  if (IsFloating(inner)) return false;
  // Float32 holds every integer of up to 24 bits; the integer types hold by range.
  if (outer == GDT_Float32) return GDALGetDataTypeSizeBits(inner) <= 16;
  return Lowest(outer) <= Lowest(inner) && Highest(inner) <= Highest(outer);
}

GDALDataType Common(GDALDataType a, GDALDataType b) {
  if (Holds(a, b)) return a;
  if (Holds(b, a)) return b;
  for (GDALDataType t : {GDT_Int16, GDT_Int32, GDT_Float32})
    if (Holds(t, a) && Holds(t, b)) return t;
  return GDT_Float64;
}

GDALDataType Wider(GDALDataType type) {
  switch (type) {
    case GDT_Byte:
      return GDT_Int16;
    case GDT_Int16:
    case GDT_UInt16:
      return GDT_Int32;
    default:
      return GDT_Float64;
  }
}

std::optional<double> AsStored(double value, GDALDataType type) {
  if (!std::isfinite(value)) return std::nullopt;
  if (type == GDT_Float64) return value;
  if (type == GDT_Float32) {
    if (std::fabs(value) > FLT_MAX) return std::nullopt;
    return static_cast<double>(static_cast<float>(value));
  }
  if (value < Lowest(type) || value > Highest(type) || std::trunc(value) != value)
    return std::nullopt;
  return value;
}

}  // namespace cell_type
