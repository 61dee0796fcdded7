#include "gdal/GeodemRasterBand.h"

#include "gdal/GeodemDataset.h"
#include "gridfile/AsciiText.h"

GeodemRasterBand::GeodemRasterBand(GeodemDataset* dataset, std::int32_t zoom,
                                   std::optional<double> noData)
    : m_zoom(zoom), m_noData(noData) {
  poDS = dataset;
  nBand = 1;
  eDataType = GDT_Int32;
  nBlockXSize = dataset->GetRasterXSize();
  nBlockYSize = 1;
}

CPLErr GeodemRasterBand::IReadBlock(int, int blockY, void* image) {
  auto* dataset = static_cast<GeodemDataset*>(poDS);
  CnsdtfGridReader& reader = dataset->Reader();
  if (!reader.ReadRow(blockY, static_cast<std::int32_t*>(image))) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: %s", dataset->GetDescription(), reader.Error().c_str());
    return CE_Failure;
  }
  return CE_None;
}

double GeodemRasterBand::GetNoDataValue(int* success) {
  if (success) *success = m_noData.has_value();
  return m_noData.value_or(0.0);
}

// A cell holds the height times Hzoom; GDAL multiplies by the scale to unscale.
double GeodemRasterBand::GetScale(int* success) {
  if (success) *success = m_zoom != 0;
  return m_zoom != 0 ? 1.0 / m_zoom : 1.0;
}

// Heights are in metres ("ZUnit: M", and implied by the layouts without the key).
const char* GeodemRasterBand::GetUnitType() {
  auto* dataset = static_cast<GeodemDataset*>(poDS);
  const std::string* unit = dataset->Reader().Header().Value("ZUnit");
  return !unit || ascii_text::EqualsNoCase(*unit, "M") ? "m" : "";
}
