#pragma once
// A CNSDTF-DEM grid (GB/T 17798) as a read-only GDAL dataset (written by CreateCopy): one Int32
// band of the stored integers, scaled by 1 / Hzoom so that GDAL's unscaling gives metres (or, with
// the open option HEIGHTS=METRES, Float32 metres), the no-data value
// (-99999, or what the header or the NODATA open option names), the north-up geotransform from
// X0, Y0, DX and DY, and the coordinate system of the ESRI .prj beside the file when there is one.
// The header layouts and the data section are read by the grid reader the geodem command uses.
#include <gdal_pam.h>
#include <ogr_spatialref.h>

#include <optional>
#include <string>

#include "gridfile/CnsdtfGridReader.h"

class GeodemDataset final : public GDALPamDataset {
 public:
  // Looks at the header bytes GDAL read, and at nothing else.
  static int Identify(GDALOpenInfo* info);
  static GDALDataset* Open(GDALOpenInfo* info);
  // Writes the grid file from a source (GeodemGridCopy) and opens it.
  static GDALDataset* CreateCopy(const char* filename, GDALDataset* source, int strict,
                                 char** options, GDALProgressFunc progress, void* progressData);
  // Removes a grid file's set, or leaves it to the create GDAL makes next (GeodemReplacement).
  static CPLErr Delete(const char* filename);

  CPLErr GetGeoTransform(double* transform) override;
  const OGRSpatialReference* GetSpatialRef() const override;
  char** GetFileList() override;

  // The band reads its rows through the dataset's reader, which keeps its place in the file.
  CnsdtfGridReader& Reader() { return m_reader; }

 private:
  static GDALDataset* OpenGrid(GDALOpenInfo* info);
  static std::optional<bool> HeightsInMetres(GDALOpenInfo* info, const GridHeader& header);
  static bool NoDataOption(GDALOpenInfo* info, const GridHeader& header,
                           std::optional<double>& noData);
  void ReadProjection(GDALOpenInfo* info);
  void IdentifyCode();
  void SetHeaderMetadata();

  CnsdtfGridReader m_reader;
  OGRSpatialReference m_srs;
  std::string m_prjPath;
};
