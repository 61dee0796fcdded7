#pragma once
// What the driver's Create gives: a writable dataset that GDAL programs fill band by band (rasterio,
// gdal_calc.py, QGIS's "Save as", gdalwarp), kept in a temporary GeoTIFF beside the target
// (<target>.tmp.tif) and written as the grid file when it is closed, by the same code as
// CreateCopy. The GeoTIFF then goes; a failure at closing is a CE_Failure and leaves no grid file.
#include <gdal_proxy.h>

#include <string>

#include "gdal/GeodemCreationOptions.h"

class GeodemWritableDataset final : public GDALProxyDataset {
 public:
  static GDALDataset* Create(const char* filename, int cols, int rows, int bands,
                             GDALDataType type, char** options);
  ~GeodemWritableDataset() override;

  GDALDriver* GetDriver() override { return GDALDataset::GetDriver(); }
  char** GetFileList() override;

 protected:
  GDALDataset* RefUnderlyingDataset() const override { return m_temporary; }
  void UnrefUnderlyingDataset(GDALDataset*) const override {}

 private:
  GeodemWritableDataset(std::string target, std::string temporaryPath, GDALDataset* temporary,
                        const GeodemCreationOptions& options);
  void WriteGrid();

  std::string m_target;
  std::string m_temporaryPath;
  GDALDataset* m_temporary;
  GeodemCreationOptions m_options;
};
