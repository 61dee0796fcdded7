#include "host/HVXRasterBase.h"

#include <gdal.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/CoordinateUnits.h"

int GetUnitType(const char* wkt, char* unit) {
  if (!wkt || !*wkt || !unit) return 1;
  const char letter = CoordinateUnits::Of(wkt).letter();
  if (!letter) return 1;
  *unit = letter;
  return 0;
}

double GetInvalid(int gdalDataType) {
  switch (static_cast<GDALDataType>(gdalDataType)) {
    case GDT_Byte:
      return 255.0;
    case GDT_UInt16:
      return 65535.0;
    case GDT_Int16:
      return -32768.0;
    case GDT_UInt32:
      return 4294967295.0;
    case GDT_Int32:
      return -2147483648.0;
    default:
      return -static_cast<double>(FLT_MAX);
  }
}

void SRSGetWKT(ISpatialReference* reference, BSTR* wkt) {
  if (!wkt || !reference) return;
  BSTR text = nullptr;
  if (reference->ExportToWkt(&text) == S_OK && text && *text) {
    *wkt = text;
  } else {
    SysFreeString(text);
  }
}

void BlockSetInvalidM(void* buffer, int width, int rows, int gdalDataType, int bands,
                      const double* values) {
  auto type = static_cast<GDALDataType>(gdalDataType);
  int size = GDALGetDataTypeSizeBytes(type);
  if (!buffer || width <= 0 || rows <= 0 || bands <= 0 || size <= 0 || !values) return;
  std::size_t bandValues = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
  auto* out = static_cast<unsigned char*>(buffer);
  for (int b = 0; b < bands; ++b) {
    unsigned char* band = out + static_cast<std::size_t>(b) * bandValues * size;
    // One value converted by GDAL's rules, then repeated by doubling copies.
    GDALCopyWords64(&values[b], GDT_Float64, 0, band, type, 0, 1);
    std::size_t filled = 1;
    while (filled < bandValues) {
      std::size_t n = std::min(filled, bandValues - filled);
      std::memcpy(band + filled * size, band, n * size);
      filled += n;
    }
  }
}
