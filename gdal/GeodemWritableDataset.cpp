#include "gdal/GeodemWritableDataset.h"

#include <cpl_string.h>
#include <cpl_vsi.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "gdal/GeodemGridCopy.h"
#include "host/UserPath.h"

namespace {

// One band of the temporary GeoTIFF, seen through the writable dataset.
class WritableBand final : public GDALProxyRasterBand {
 public:
  WritableBand(GDALDataset* dataset, int number, GDALRasterBand* band) : m_band(band) {
    poDS = dataset;
    nBand = number;
    nRasterXSize = band->GetXSize();
    nRasterYSize = band->GetYSize();
    eDataType = band->GetRasterDataType();
    band->GetBlockSize(&nBlockXSize, &nBlockYSize);
  }

  // The grid holds heights only: what GDAL programs attach beside them (a colour table and
  // category names from GRASS, an attribute table from QGIS) is accepted and dropped, not an error
  // of the GeoTIFF that keeps the cells meanwhile.
  CPLErr SetColorTable(GDALColorTable*) override { return Dropped("colour table"); }
  CPLErr SetCategoryNames(char**) override { return Dropped("category names"); }
  CPLErr SetDefaultRAT(const GDALRasterAttributeTable*) override {
    return Dropped("attribute table");
  }

 protected:
  GDALRasterBand* RefUnderlyingRasterBand() const override { return m_band; }
  void UnrefUnderlyingRasterBand(GDALRasterBand*) const override {}

 private:
  static CPLErr Dropped(const char* what) {
    CPLDebug("GEODEM", "a grid file holds no %s: it is dropped", what);
    return CE_None;
  }

  GDALRasterBand* m_band;
};

}  // namespace

GDALDataset* GeodemWritableDataset::Create(const char* filename, int cols, int rows, int bands,
                                           GDALDataType type, char** options) {
  const auto parsed = GeodemCreationOptions::Read(options, bands);
  if (!parsed || !GeodemGridCopy::MayWrite(filename, *parsed)) return nullptr;
  if (bands < 1 || GDALDataTypeIsComplex(type) || type == GDT_Unknown) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "A grid file is written from one band of real numbers; %d bands of %s cannot be.",
             bands, GDALGetDataTypeName(type));
    return nullptr;
  }
  GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (!gtiff) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "The GEODEM driver keeps a raster being written in a GeoTIFF, and GDAL has no GTiff "
             "driver.");
    return nullptr;
  }
  // A file of that name may be an earlier write's raster, the only copy of someone's data; and
  // GTiff follows whatever link stands there: the name is made ours, exclusively, first.
  const std::string temporaryPath = UserPath::SideName(filename, ".tmp.tif");
  std::string refusal = UserPath::SideRefusal(temporaryPath);
  struct stat existing {};
  if (refusal.empty() && ::lstat(temporaryPath.c_str(), &existing) == 0) {
    CPLError(CE_Failure, CPLE_FileIO,
             "%s is in the way of the temporary raster of %s (left by an unfinished write?); "
             "remove it first.",
             temporaryPath.c_str(), filename);
    return nullptr;
  }
  const int reserved = UserPath::CreateSide(temporaryPath, 0600, refusal);
  if (reserved < 0) {
    CPLError(CE_Failure, CPLE_OpenFailed, "Cannot create %s: %s.", temporaryPath.c_str(),
             refusal.empty() ? VSIStrerror(errno) : refusal.c_str());
    return nullptr;
  }
  ::close(reserved);
  const char* tiffOptions[] = {"TILED=YES", "BIGTIFF=IF_SAFER", nullptr};
  GDALDataset* temporary = gtiff->Create(temporaryPath.c_str(), cols, rows, bands, type,
                                         const_cast<char**>(tiffOptions));
  if (!temporary) {
    CPLError(CE_Failure, CPLE_OpenFailed, "Cannot create %s: the temporary raster of %s failed.",
             temporaryPath.c_str(), filename);
    VSIUnlink(temporaryPath.c_str());
    return nullptr;
  }
  return new GeodemWritableDataset(filename, temporaryPath, temporary, *parsed);
}

GeodemWritableDataset::GeodemWritableDataset(std::string target, std::string temporaryPath,
                                             GDALDataset* temporary,
                                             const GeodemCreationOptions& options)
    : m_target(std::move(target)),
      m_temporaryPath(std::move(temporaryPath)),
      m_temporary(temporary),
      m_options(options) {
  nRasterXSize = temporary->GetRasterXSize();
  nRasterYSize = temporary->GetRasterYSize();
  eAccess = GA_Update;
  SetDescription(m_target.c_str());
  for (int i = 1; i <= temporary->GetRasterCount(); ++i) {
    SetBand(i, new WritableBand(this, i, temporary->GetRasterBand(i)));
  }
}

GeodemWritableDataset::~GeodemWritableDataset() {
  GDALProxyDataset::FlushCache(true);
  // The bands lead to the GeoTIFF's, which close with it.
  for (int i = 0; i < nBands; ++i) delete papoBands[i];
  nBands = 0;
  GDALClose(GDALDataset::ToHandle(m_temporary));
  WriteGrid();
  GDALDeleteDataset(nullptr, m_temporaryPath.c_str());
}

void GeodemWritableDataset::WriteGrid() {
  std::unique_ptr<GDALDataset> raster(
      GDALDataset::Open(m_temporaryPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!raster) {
    CPLError(CE_Failure, CPLE_OpenFailed, "%s is not written: its raster %s cannot be read.",
             m_target.c_str(), m_temporaryPath.c_str());
    return;
  }
  raster->SetDescription(m_target.c_str());  // messages name what the user is writing
  GeodemGridCopy(m_target, m_options).Write(*raster, nullptr, nullptr);
}

char** GeodemWritableDataset::GetFileList() {
  return CSLAddString(nullptr, m_target.c_str());
}
