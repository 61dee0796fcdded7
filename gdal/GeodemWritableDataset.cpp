#include "gdal/GeodemWritableDataset.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "gdal/GeodemGridCopy.h"
#include "gdal/GeodemGuard.h"
#include "gdal/GeodemReplacement.h"
#include "gdal/GeodemSourceBand.h"
#include "gdal/GeodemVirtualFile.h"
#include "gridfile/CellRounding.h"
#include "gridfile/GridFileSet.h"
#include "host/UserPath.h"
#include "rastersource/RasterSource.h"

namespace {

// One band of the temporary GeoTIFF, seen through the writable dataset.
class WritableBand final : public GDALProxyRasterBand {
 public:
  // zoom 0: a band that is not written into the grid, whose heights need no check. A write that
  // fails is noted in *failure, one that reached the GeoTIFF in *written.
  WritableBand(GDALDataset* dataset, int number, GDALRasterBand* band, std::int32_t zoom,
               std::string* failure, bool* written)
      : m_band(band), m_zoom(zoom), m_failure(failure), m_written(written) {
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

  // Heights the zoom pushes past the grid's integers fail the write that brings them, where the
  // caller can still tell which; the grid written at closing checks every cell again.
  CPLErr IRasterIO(GDALRWFlag flag, int x, int y, int cols, int rows, void* data, int bufCols,
                   int bufRows, GDALDataType type, GSpacing pixelSpace, GSpacing lineSpace,
                   GDALRasterIOExtraArg* extra) override {
    return Guarded(
        [&] {
          if (flag == GF_Write && m_zoom != 0 &&
              !Fit(x, y, cols, rows, static_cast<const GByte*>(data), bufCols, bufRows, type,
                   pixelSpace, lineSpace)) {
            if (m_failure->empty()) *m_failure = CPLGetLastErrorMsg();
            return CE_Failure;
          }
          *m_written = *m_written || flag == GF_Write;
          return GDALProxyRasterBand::IRasterIO(flag, x, y, cols, rows, data, bufCols, bufRows,
                                                type, pixelSpace, lineSpace, extra);
        },
        CE_Failure);
  }
  CPLErr IWriteBlock(int x, int y, void* data) override {
    *m_written = true;
    return GDALProxyRasterBand::IWriteBlock(x, y, data);
  }
  CPLErr Fill(double real, double imaginary) override {
    *m_written = true;
    return GDALProxyRasterBand::Fill(real, imaginary);
  }

 protected:
  GDALRasterBand* RefUnderlyingRasterBand() const override { return m_band; }
  void UnrefUnderlyingRasterBand(GDALRasterBand*) const override {}

 private:
  static CPLErr Dropped(const char* what) {
    CPLDebug("GEODEM", "a grid file holds no %s: it is dropped", what);
    return CE_None;
  }

  // Heights as the grid will take them: the band's no-data value and NaN are no heights, its
  // scale and offset apply.
  bool Fit(int x, int y, int cols, int rows, const GByte* data, int bufCols, int bufRows,
           GDALDataType type, GSpacing pixelSpace, GSpacing lineSpace) {
    int hasNoData = 0, hasScale = 0, hasOffset = 0;
    const double noData = m_band->GetNoDataValue(&hasNoData);
    const double scale = m_band->GetScale(&hasScale), offset = m_band->GetOffset(&hasOffset);
    std::vector<double> line(static_cast<std::size_t>(bufCols));
    for (int j = 0; j < bufRows; ++j) {
      GDALCopyWords64(data + lineSpace * j, type, static_cast<int>(pixelSpace), line.data(),
                      GDT_Float64, sizeof(double), bufCols);
      for (int i = 0; i < bufCols; ++i) {
        const double cell = line[static_cast<std::size_t>(i)];
        if (std::isnan(cell) || (hasNoData && cell == noData)) continue;
        const double height = cell * (hasScale ? scale : 1.0) + (hasOffset ? offset : 0.0);
        if (cell_rounding::Fits(cell_rounding::Rounded(m_zoom, height))) continue;
        // The cell of the band, when the buffer is resampled the one it falls in.
        GeodemSourceBand::Overflow(m_zoom, height,
                                   y + static_cast<long long>(j) * rows / bufRows + 1,
                                   x + static_cast<long long>(i) * cols / bufCols + 1,
                                   poDS->GetDescription());
        return false;
      }
    }
    return true;
  }

  GDALRasterBand* m_band;
  std::int32_t m_zoom;
  std::string* m_failure;
  bool* m_written;
};

}  // namespace

GDALDataset* GeodemWritableDataset::Create(const char* filename, int cols, int rows, int bands,
                                           GDALDataType type, char** options) {
  return Guarded([&] { return CreateOver(filename, cols, rows, bands, type, options); },
                 static_cast<GDALDataset*>(nullptr));
}

GDALDataset* GeodemWritableDataset::CreateOver(const char* filename, int cols, int rows,
                                               int bands, GDALDataType type, char** options) {
  // The target's lock, held until the dataset is closed and the new set stands.
  std::unique_ptr<GeodemReplacement> replacement = GeodemReplacement::Begin(filename);
  if (!replacement) return nullptr;
  const auto parsed = GeodemCreationOptions::Read(options, bands);
  if (!parsed || !GeodemGridCopy::MayWrite(filename, *parsed)) return nullptr;
  if (bands < 1 || GDALDataTypeIsComplex(type) || type == GDT_Unknown) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "A grid file is written from one band of real numbers; %d bands of %s cannot be.",
             bands, GDALGetDataTypeName(type));
    return nullptr;
  }
  if (!HasRoom(filename, cols, rows, type)) return nullptr;
  const std::string temporaryPath = GridFileSet::DriverRasterOf(filename);
  GDALDataset* temporary = CreateTemporary(temporaryPath, filename, cols, rows, bands, type);
  if (!temporary) return nullptr;
  return new GeodemWritableDataset(filename, temporaryPath, temporary, *parsed,
                                   std::move(replacement));
}

// gdalwarp and others take no failure from a close: a target that cannot fit is better refused
// now. The heights are not known yet, so the need is the least any grid of that size takes (a
// digit a cell, "   0 ") beside the uncompressed GeoTIFF: a write refused here could never fit.
bool GeodemWritableDataset::HasRoom(const std::string& target, int cols, int rows,
                                    GDALDataType type) {
  const std::string folder = CPLGetPath(target.c_str());
  struct statvfs fs {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) != 0 || fs.f_blocks == 0) return true;
  const double cells = static_cast<double>(cols) * rows;
  const double need = cells * (GDALGetDataTypeSizeBytes(type) + 5);
  const double free = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
  if (need <= free) return true;
  CPLError(CE_Failure, CPLE_FileIO,
           "%s cannot be written: its temporary GeoTIFF and grid text need at least %.0f bytes, "
           "and the file system of %s has %.0f free.",
           target.c_str(), need, folder.empty() ? "." : folder.c_str(), free);
  return false;
}

GDALDataset* GeodemWritableDataset::CreateTemporary(const std::string& path, const char* filename,
                                                    int cols, int rows, int bands,
                                                    GDALDataType type) {
  GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (!gtiff) {
    CPLError(CE_Failure, CPLE_NotSupported,
             "The GEODEM driver keeps a raster being written in a GeoTIFF, and GDAL has no GTiff "
             "driver.");
    return nullptr;
  }
  if (GeodemVirtualFile::Is(path))
    return CreateGeoTiff(gtiff, path, filename, cols, rows, bands, type);
  // A file of that name may be an earlier write's raster, the only copy of someone's data (a
  // killed writer's was cleared with its lock); and GTiff follows whatever link stands there: the
  // name is made ours, exclusively, first.
  std::string refusal = UserPath::SideRefusal(path);
  struct stat existing {};
  if (refusal.empty() && ::lstat(path.c_str(), &existing) == 0) {
    CPLError(CE_Failure, CPLE_FileIO,
             "%s is in the way of the temporary raster of %s (kept from a failed write?); "
             "remove it first.",
             path.c_str(), filename);
    return nullptr;
  }
  const int reserved = UserPath::CreateSide(path, 0600, refusal);
  if (reserved < 0) {
    CPLError(CE_Failure, CPLE_OpenFailed, "Cannot create %s: %s.", path.c_str(),
             refusal.empty() ? VSIStrerror(errno) : refusal.c_str());
    return nullptr;
  }
  ::close(reserved);
  return CreateGeoTiff(gtiff, path, filename, cols, rows, bands, type);
}

GDALDataset* GeodemWritableDataset::CreateGeoTiff(GDALDriver* gtiff, const std::string& path,
                                                  const char* filename, int cols, int rows,
                                                  int bands, GDALDataType type) {
  const char* tiffOptions[] = {"TILED=YES", "BIGTIFF=IF_SAFER", nullptr};
  GDALDataset* temporary =
      gtiff->Create(path.c_str(), cols, rows, bands, type, const_cast<char**>(tiffOptions));
  if (!temporary) {
    CPLError(CE_Failure, CPLE_OpenFailed, "Cannot create %s: the temporary raster of %s failed.",
             path.c_str(), filename);
    VSIUnlink(path.c_str());
  }
  return temporary;
}

GeodemWritableDataset::GeodemWritableDataset(std::string target, std::string temporaryPath,
                                             GDALDataset* temporary,
                                             const GeodemCreationOptions& options,
                                             std::unique_ptr<GeodemReplacement> replacement)
    : m_target(std::move(target)),
      m_temporaryPath(std::move(temporaryPath)),
      m_temporary(temporary),
      m_options(options),
      m_replacement(std::move(replacement)) {
  nRasterXSize = temporary->GetRasterXSize();
  nRasterYSize = temporary->GetRasterYSize();
  eAccess = GA_Update;
  SetDescription(m_target.c_str());
  for (int i = 1; i <= temporary->GetRasterCount(); ++i) {
    SetBand(i, new WritableBand(this, i, temporary->GetRasterBand(i),
                                i == m_options.band ? m_options.zoom : 0, &m_writeFailure,
                                &m_cellsWritten));
  }
}

GeodemWritableDataset::~GeodemWritableDataset() {
  Guarded(
      [&] {
        Close();
        return 0;
      },
      0);
  m_replacement.reset();
}

// The grid cannot say how a raster is turned: refused when it is set, not found out at closing.
CPLErr GeodemWritableDataset::SetGeoTransform(double* transform) {
  return Guarded(
      [&] {
        std::array<double, 6> given{};
        std::copy(transform, transform + 6, given.begin());
        const std::string problem = RasterSource::GeoTransformProblem(given);
        if (problem.empty()) {
          const CPLErr set = m_temporary->SetGeoTransform(transform);
          m_georeferenced = m_georeferenced || set == CE_None;
          return set;
        }
        CPLError(CE_Failure, CPLE_NotSupported, "The geotransform given for %s %s.",
                 m_target.c_str(), problem.c_str());
        return CE_Failure;
      },
      CE_Failure);
}

CPLErr GeodemWritableDataset::IRasterIO(GDALRWFlag flag, int x, int y, int cols, int rows,
                                        void* data, int bufCols, int bufRows, GDALDataType type,
                                        int bandCount, int* bands, GSpacing pixelSpace,
                                        GSpacing lineSpace, GSpacing bandSpace,
                                        GDALRasterIOExtraArg* extra) {
  m_cellsWritten = m_cellsWritten || flag == GF_Write;
  return GDALProxyDataset::IRasterIO(flag, x, y, cols, rows, data, bufCols, bufRows, type,
                                     bandCount, bands, pixelSpace, lineSpace, bandSpace, extra);
}

void GeodemWritableDataset::Close() {
  GDALProxyDataset::FlushCache(true);
  // The bands lead to the GeoTIFF's, which close with it.
  for (int i = 0; i < nBands; ++i) delete papoBands[i];
  nBands = 0;
  GDALClose(GDALDataset::ToHandle(m_temporary));
  m_temporary = nullptr;
  // A grid of data that the caller was told had not been written would be a wrong grid.
  if (!m_writeFailure.empty()) {
    Refuse(CPLE_IllegalArg, "a write to it failed: " + m_writeFailure);
  } else if (!m_georeferenced) {
    // Said of the target here: the copy would call the raster a source.
    Refuse(CPLE_AppDefined,
           "no geotransform was set on it (SetGeoTransform), and a grid needs its corner and "
           "cell size.");
  } else if (WriteGrid()) {
    GDALDeleteDataset(GDALGetDriverByName("GTiff"), m_temporaryPath.c_str());
  }
}

// The grid file from the closed GeoTIFF. A failure leaves the GeoTIFF, the caller's only copy of
// the data written, and one failure message naming it, which is GDAL's last error when the dataset
// is gone (nothing after it resets the error state); warnings pass as they came.
bool GeodemWritableDataset::WriteGrid() {
  struct Message {
    CPLErr type;
    CPLErrorNum number;
    std::string text;
  };
  std::vector<Message> messages;
  CPLPushErrorHandlerEx(
      [](CPLErr type, CPLErrorNum number, const char* text) {
        static_cast<std::vector<Message>*>(CPLGetErrorHandlerUserData())
            ->push_back({type, number, text});
      },
      &messages);
  bool written = false;
  {
    std::unique_ptr<GDALDataset> raster(
        GDALDataset::Open(m_temporaryPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (raster) {
      raster->SetDescription(m_target.c_str());  // messages name what the user is writing
      written = GeodemGridCopy(m_target, m_options).Write(*raster, nullptr, nullptr);
    }
  }
  CPLPopErrorHandler();
  std::string reason = "its raster cannot be read";
  CPLErrorNum number = CPLE_FileIO;
  for (const Message& m : messages) {
    if (m.type == CE_Failure || m.type == CE_Fatal) {
      reason = m.text;
      number = m.number;
    } else if (m.type != CE_None) {
      CPLError(m.type, m.number, "%s", m.text.c_str());
    }
  }
  if (!written) Refuse(number, reason);
  return written;
}

void GeodemWritableDataset::Refuse(CPLErrorNum number, const std::string& reason) const {
  if (m_cellsWritten) {
    CPLError(CE_Failure, number, "%s is not written: %s The raster written to it is kept in %s.",
             m_target.c_str(), reason.c_str(), KeepRaster().c_str());
    return;
  }
  // A GeoTIFF that holds no cell of the caller's is nobody's data: it goes.
  GDALDeleteDataset(GDALGetDriverByName("GTiff"), m_temporaryPath.c_str());
  CPLError(CE_Failure, number, "%s is not written: %s No cell was written to it.",
           m_target.c_str(), reason.c_str());
}

// The raster goes to a name of its own, "<target>.<process id>.tif": under the temporary's name
// the next writer of the target that finds a dead writer's lock would take it for that writer's
// and remove it, and a retry would find it in the way.
std::string GeodemWritableDataset::KeepRaster() const {
  if (GeodemVirtualFile::Is(m_temporaryPath)) return m_temporaryPath;
  const std::string kept =
      UserPath::SideName(m_target, "." + std::to_string(::getpid()) + ".tif");
  const bool moved = ::renameat2(AT_FDCWD, m_temporaryPath.c_str(), AT_FDCWD, kept.c_str(),
                                 RENAME_NOREPLACE) == 0;
  return moved ? kept : m_temporaryPath;
}

char** GeodemWritableDataset::GetFileList() {
  return CSLAddString(nullptr, m_target.c_str());
}
