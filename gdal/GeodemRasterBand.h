#pragma once
// The grid's one band: Int32 cells in blocks of one row, each read by the shared grid reader, so
// that GDAL reading rows in order passes over the file once. In metres (the open option
// HEIGHTS=METRES) the band is Float32 heights, stored / Hzoom, unscaled, for programs that drop a
// band's scale (GRASS's r.in.gdal); no-data cells keep the no-data value.
#include <gdal_pam.h>

#include <cstdint>
#include <optional>
#include <vector>

class GeodemDataset;

class GeodemRasterBand final : public GDALPamRasterBand {
 public:
  // zoom 0 leaves the band unscaled: its heights cannot be recovered (and metres need a zoom).
  GeodemRasterBand(GeodemDataset* dataset, std::int32_t zoom, std::optional<double> noData,
                   bool metres);

  CPLErr IReadBlock(int blockX, int blockY, void* image) override;
  double GetNoDataValue(int* success = nullptr) override;
  double GetScale(int* success = nullptr) override;
  const char* GetUnitType() override;

 private:
  CPLErr ReadRow(int row, void* image);

  std::int32_t m_zoom;
  std::optional<double> m_noData;  // as stored: an integer
  bool m_metres;
  std::vector<std::int32_t> m_stored;  // a row as stored, when the band is in metres
  bool m_pastEndLooked = false;  // whether values past Row x Col were looked for (once)
};
