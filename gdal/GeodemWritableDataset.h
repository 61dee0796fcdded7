#pragma once
// What the driver's Create gives: a writable dataset that GDAL programs fill band by band (rasterio,
// gdal_calc.py, QGIS's "Save as", gdalwarp), kept in a temporary GeoTIFF beside the target
// (<target>.tmp.tif) and written as the grid file when it is closed, by the same code as
// CreateCopy. The target is locked from Create to close, so a killed writer's GeoTIFF is known by
// its dead lock and cleared by the next writer. What the grid cannot hold is refused at the call
// that sets it (a rotated geotransform). A failure at closing is a CE_Failure that stays GDAL's
// last error, the earlier grid file stays, and the GeoTIFF holding the caller's data is kept and
// named in the message (one that holds no cell the caller wrote goes); after a success it goes.
#include <gdal_proxy.h>

#include <memory>
#include <string>

#include "gdal/GeodemCreationOptions.h"

class GeodemReplacement;

class GeodemWritableDataset final : public GDALProxyDataset {
 public:
  static GDALDataset* Create(const char* filename, int cols, int rows, int bands,
                             GDALDataType type, char** options);
  ~GeodemWritableDataset() override;

  GDALDriver* GetDriver() override { return GDALDataset::GetDriver(); }
  char** GetFileList() override;
  CPLErr SetGeoTransform(double* transform) override;

 protected:
  // A write of the whole dataset (rasterio's) goes to the GeoTIFF past the bands: it is noted too.
  CPLErr IRasterIO(GDALRWFlag flag, int x, int y, int cols, int rows, void* data, int bufCols,
                   int bufRows, GDALDataType type, int bandCount, int* bands, GSpacing pixelSpace,
                   GSpacing lineSpace, GSpacing bandSpace, GDALRasterIOExtraArg* extra) override;

 protected:
  GDALDataset* RefUnderlyingDataset() const override { return m_temporary; }
  void UnrefUnderlyingDataset(GDALDataset*) const override {}

 private:
  static GDALDataset* CreateOver(const char* filename, int cols, int rows, int bands,
                                 GDALDataType type, char** options);
  static bool HasRoom(const std::string& target, int cols, int rows, GDALDataType type);
  static GDALDataset* CreateGeoTiff(GDALDriver* gtiff, const std::string& path,
                                    const char* filename, int cols, int rows, int bands,
                                    GDALDataType type);
  static GDALDataset* CreateTemporary(const std::string& path, const char* filename, int cols,
                                      int rows, int bands, GDALDataType type);
  GeodemWritableDataset(std::string target, std::string temporaryPath, GDALDataset* temporary,
                        const GeodemCreationOptions& options,
                        std::unique_ptr<GeodemReplacement> replacement);
  void Close();
  bool WriteGrid();
  // The failure at closing, which names the GeoTIFF kept.
  void Refuse(CPLErrorNum number, const std::string& reason) const;
  std::string KeepRaster() const;

  std::string m_target;
  std::string m_temporaryPath;
  GDALDataset* m_temporary;
  GeodemCreationOptions m_options;
  std::unique_ptr<GeodemReplacement> m_replacement;
  std::string m_writeFailure;  // the first write refused, which the grid must not go without
  bool m_cellsWritten = false;   // the GeoTIFF holds cells of the caller's, kept on a failure
  bool m_georeferenced = false;  // a geotransform was set: the grid's corner and cell size
};
