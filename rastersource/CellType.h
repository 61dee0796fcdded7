#pragma once
// The GDAL data types a source's cells travel in, and which of them holds which. Blocks carry
// Byte, Int16, UInt16, Int32, UInt32, Float32 or Float64 (the temporary rasters hold nothing
// else); values that need more (64-bit integers, scaled values) travel as Float64.
#include <gdal.h>

#include <cstdint>
#include <optional>

namespace cell_type {

bool IsFloating(GDALDataType type);
// Every value of `inner` is a value of `outer`, exactly.
bool Holds(GDALDataType outer, GDALDataType inner);
// The narrowest type that holds every value of both.
GDALDataType Common(GDALDataType a, GDALDataType b);
// The next wider type, whose lowest value lies below every value of `type`; Float64 for floats.
GDALDataType Wider(GDALDataType type);
// The lowest finite value of the type.
double Lowest(GDALDataType type);
double Highest(GDALDataType type);
// The finite value as a cell of the type stores it (a Float32 keeps -9999.9 as -9999.900390625);
// nothing when no cell of the type can hold it (a fraction or an out-of-range integer, NaN).
std::optional<double> AsStored(double value, GDALDataType type);

// Calls f with a value of the C++ type of a cell of type t; false for other types.
template <class F>
bool Visit(GDALDataType t, F&& f) {
  switch (t) {
    case GDT_Byte:
      f(std::uint8_t{});
      return true;
    case GDT_UInt16:
      f(std::uint16_t{});
      return true;
    case GDT_Int16:
      f(std::int16_t{});
      return true;
    case GDT_UInt32:
      f(std::uint32_t{});
      return true;
    case GDT_Int32:
      f(std::int32_t{});
      return true;
    case GDT_Float32:
      f(float{});
      return true;
    case GDT_Float64:
      f(double{});
      return true;
    default:
      return false;
  }
}

}  // namespace cell_type
