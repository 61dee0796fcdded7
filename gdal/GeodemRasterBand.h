#pragma once
// The grid's one band: Int32 cells in blocks of one row, each read by the shared grid reader, so
// that GDAL reading rows in order passes over the file once.
#include <gdal_pam.h>

#include <optional>

class GeodemDataset;

class GeodemRasterBand final : public GDALPamRasterBand {
 public:
  // zoom 0 leaves the band unscaled: its heights cannot be recovered.
  GeodemRasterBand(GeodemDataset* dataset, std::int32_t zoom, std::optional<double> noData);

  CPLErr IReadBlock(int blockX, int blockY, void* image) override;
  double GetNoDataValue(int* success = nullptr) override;
  double GetScale(int* success = nullptr) override;
  const char* GetUnitType() override;

 private:
  std::int32_t m_zoom;
  std::optional<double> m_noData;
};
