#include "gdal/GeodemRasterBand.h"

#include "gdal/GeodemDataset.h"
#include "gdal/GeodemGuard.h"
#include "gridfile/AsciiText.h"

GeodemRasterBand::GeodemRasterBand(GeodemDataset* dataset, std::int32_t zoom,
                                   std::optional<double> noData, bool metres)
    : m_zoom(zoom), m_noData(noData), m_metres(metres) {
  poDS = dataset;
  nBand = 1;
  eDataType = metres ? GDT_Float32 : GDT_Int32;
  nBlockXSize = dataset->GetRasterXSize();
  nBlockYSize = 1;
}

CPLErr GeodemRasterBand::IReadBlock(int, int blockY, void* image) {
  return Guarded([&] { return ReadRow(blockY, image); }, CE_Failure);
}

CPLErr GeodemRasterBand::ReadRow(int blockY, void* image) {
  auto* dataset = static_cast<GeodemDataset*>(poDS);
  CnsdtfGridReader& reader = dataset->Reader();
  if (m_metres) m_stored.resize(static_cast<std::size_t>(nBlockXSize));
  std::int32_t* stored = m_metres ? m_stored.data() : static_cast<std::int32_t*>(image);
  if (!reader.ReadRow(blockY, stored)) {
    CPLError(CE_Failure, CPLE_FileIO, "%s: %s", dataset->GetDescription(), reader.Error().c_str());
    return CE_Failure;
  }
  if (blockY == nRasterYSize - 1 && !m_pastEndLooked) {
    m_pastEndLooked = true;
    if (const std::string past = reader.ValuesPastEnd(); !past.empty())
      CPLError(CE_Warning, CPLE_AppDefined, "%s: %s", dataset->GetDescription(), past.c_str());
  }
  if (!m_metres) return CE_None;
  auto* heights = static_cast<float*>(image);
  for (int i = 0; i < nBlockXSize; ++i) {
    heights[i] = m_noData == stored[i]
                     ? static_cast<float>(*m_noData)
                     : static_cast<float>(stored[i] / static_cast<double>(m_zoom));
  }
  return CE_None;
}

double GeodemRasterBand::GetNoDataValue(int* success) {
  if (success) *success = m_noData.has_value();
  // In metres the cells are floats, and so is their no-data value.
  const double value = m_noData.value_or(0.0);
  return m_metres ? static_cast<float>(value) : value;
}

// A cell holds the height times Hzoom; GDAL multiplies by the scale to unscale.
double GeodemRasterBand::GetScale(int* success) {
  const bool scaled = m_zoom != 0 && !m_metres;
  if (success) *success = scaled;
  return scaled ? 1.0 / m_zoom : 1.0;
}

// Heights are in metres ("ZUnit: M", and implied by the layouts without the key).
const char* GeodemRasterBand::GetUnitType() {
  auto* dataset = static_cast<GeodemDataset*>(poDS);
  const std::string* unit = dataset->Reader().Header().Value("ZUnit");
  return !unit || ascii_text::EqualsNoCase(*unit, "M") ? "m" : "";
}
