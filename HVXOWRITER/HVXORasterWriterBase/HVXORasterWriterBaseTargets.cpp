// Temporary target rasters: creation, the invalid pre-fill of mosaics, and the GDAL calls that all
// raster writes go through.
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"
#include "host/HVXRasterBase.h"
#include "host/TextValues.h"
#include "host/UserPath.h"
#include "host/WideString.h"

namespace {

constexpr std::uint32_t kFolderFailedCode = 0x20092;
constexpr std::uint32_t kFileExistsCode = 0x200a0;
constexpr std::uint32_t kTargetBusyCode = 0x200a1;
constexpr std::uint32_t kWriteFailedCode = 0x2019a;

// The folder part of a path, without its last separator ('/' or '\\'); "" when there is none.
std::string FolderOf(const std::string& path) {
  std::size_t sep = GbkFindLastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

}  // namespace

std::int32_t HVXORasterWriterBase::CreateTargetDataset(SourceRecord& record,
                                                       ISpatialReference* reference,
                                                       const std::vector<double>& noData) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 0, [&]() -> std::int32_t {
    std::string finalPath = FinalPathOf(record.outputPath);
    if (IsFileExisting(finalPath) == 1) {
      // With overwrite on, the format writer replaces the file; nothing is deleted here.
      if (!overwrite) {
        if (logOutput)
          FireGeoLogGbk(FormatGbk("文件: %s 已经存在，且设置为不覆盖", finalPath.c_str()),
                        kLogError, kFileExistsCode);
        return E_FAIL;
      }
    } else {
      std::string folder = FolderOf(finalPath);
      if (!IsDirExisting(folder) && MakeLongDir(folder) != 0) {
        if (logOutput)
          FireGeoLogGbk(FormatGbk("创建目标路径 %s 失败", folder.c_str()), kLogError,
                        kFolderFailedCode);
        return E_FAIL;
      }
    }
    if (!ClaimTarget(record, finalPath)) return E_FAIL;
    const std::string rasterFile = RasterFileOf(record.outputPath);
    // The temporary raster must not be written over a file nobody allowed to be replaced either
    // (one left by an unfinished run that is not known to be ours, or a file of the user's that
    // happens to bear the name).
    if (!overwrite && record.outputPath != finalPath && FileExists(rasterFile)) {
      if (logOutput)
        FireGeoLogGbk(FormatGbk("文件: %s 已经存在，且设置为不覆盖", record.outputPath.c_str()),
                      kLogError, kFileExistsCode);
      return E_FAIL;
    }
    GDALDriverH driver = GDALGetDriverByName(driverName.c_str());
    if (!driver) return 0;
    if (OnDisk(driver, rasterFile) &&
        !ReserveRasterFile(rasterFile, record.outputPath != finalPath))
      return E_FAIL;
    record.dataset =
        GDALCreate(driver, rasterFile.c_str(), record.width, record.height, record.bandCount,
                   static_cast<GDALDataType>(record.dataType), nullptr);
    if (!record.dataset) return 0;
    // An exception half way through is a failed set-up like any other.
    if (const char* failed =
            GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, "异常",
                        [&] { return SetUpTargetRaster(record, reference, noData); })) {
      // A raster without its georeference or its no-data cells must not become a grid file.
      ReportWriteFailed(finalPath, failed);
      CloseDataset(record.dataset);
      record.dataset = nullptr;
      RemoveRaster(record.outputPath);
      return 0;
    }
    return 1;
  });
}

// GDAL creates the raster with a plain open, which follows links and takes over whatever stands at
// the name: the name is first made ours, exclusively, and GDAL then writes into our own file.
bool HVXORasterWriterBase::ReserveRasterFile(const std::string& rasterFile, bool temporary) {
  std::string refusal;
  bool ok = false;
  if (temporary) {
    const int fd = UserPath::CreateSide(rasterFile, 0666, refusal);
    ok = fd >= 0;
    if (ok) ::close(fd);
  } else {
    std::string resolved;
    ok = UserPath::Follow(rasterFile, resolved, refusal);
  }
  if (ok) return true;
  if (!logOutput) return false;
  const std::string reason =
      refusal.empty() ? FormatGbk("文件: %s 无法创建：%s", Utf8ToGbk(rasterFile).c_str(),
                                  std::strerror(errno))
                      : Utf8ToGbk(refusal);
  FireGeoLogGbk(reason, kLogError, kFileExistsCode);
  return false;
}

bool HVXORasterWriterBase::ClaimTarget(const SourceRecord& record, const std::string& finalPath) {
  long holder = 0;
  std::string refusal;
  switch (targetClaims.Claim(finalPath, record.outputPath, &holder, &refusal)) {
    case TargetFileLock::Result::kLocked:
      return true;
    case TargetFileLock::Result::kBusy:
      if (logOutput)
        FireGeoLogGbk(FormatGbk("文件: %s 正由另一个转换（进程 %ld）写入", finalPath.c_str(), holder),
                      kLogError, kTargetBusyCode);
      return false;
    case TargetFileLock::Result::kFailed:
      // Never a write without the lock: a second writer could mix its data in unseen.
      if (logOutput)
        FireGeoLogGbk(refusal.empty() ? FormatGbk("文件: %s 无法加锁：%s", finalPath.c_str(),
                                                  std::strerror(errno))
                                      : Utf8ToGbk(refusal),
                      kLogError, kTargetBusyCode);
      return false;
  }
  return false;
}

const char* HVXORasterWriterBase::SetUpTargetRaster(SourceRecord& record,
                                                    ISpatialReference* reference,
                                                    const std::vector<double>& noData) {
  CPLErrorReset();
  std::vector<double> values = NoDataForBands(noData, record);
  if (mosaicMode == 1) {
    if (FillWithInvalid(record, values) != 0) return "填充无效值";
    mosaicNoData = values;
  }
  // Single-band targets and lists that start with 0 carry no GDAL no-data value.
  if (record.bandCount != 1 && !values.empty() && values[0] != 0.0) {
    for (int b = 1; b <= record.bandCount; ++b) {
      if (GDALSetRasterNoDataValue(GetBand(record.dataset, b), values[b - 1]) != CE_None)
        return "设置无效值";
    }
  }
  double geoTransform[6] = {record.originX,     record.pixelWidth, 0, record.originY, 0,
                            -record.pixelHeight};
  if (GDALSetGeoTransform(record.dataset, geoTransform) != CE_None) return "设置地理变换";
  BstrHolder wkt;
  SRSGetWKT(reference, wkt.Put());
  // GDAL reads its strings as UTF-8.
  if (wkt && GDALSetProjection(record.dataset, Utf16ToUtf8(wkt.Get()).c_str()) != CE_None)
    return "设置投影";
  return nullptr;
}

void HVXORasterWriterBase::ReportWriteFailed(const std::string& finalPath, const char* step) const {
  if (!logOutput) return;
  // GDAL's own words say why (a full disk, a read-only file, a text it cannot read).
  std::string reason = Utf8ToGbk(CPLGetLastErrorMsg());
  FireGeoLogGbk(FormatGbk("%s：写入数据集失败（%s）%s", finalPath.c_str(), Utf8ToGbk(step).c_str(),
                          reason.c_str()),
                kLogError, kWriteFailedCode);
}

HRESULT HVXORasterWriterBase::FailTarget(const SourceRecord& record, const char* step) {
  ReportWriteFailed(FinalPathOf(record.outputPath), step);
  CountFailedTarget(FinalPathOf(record.outputPath));
  failedTargets.insert(record.outputPath);
  return E_FAIL;
}

bool HVXORasterWriterBase::CloseRaster(GDALDatasetH dataset) {
  // GDALClose says nothing of the blocks it could not write: flush first and look.
  CPLErrorReset();
  GDALFlushCache(dataset);
  const bool flushed = CPLGetLastErrorType() < CE_Failure;
  CloseDataset(dataset);
  return flushed && CPLGetLastErrorType() < CE_Failure;
}

std::vector<double> HVXORasterWriterBase::NoDataForBands(const std::vector<double>& noData,
                                                         const SourceRecord& record) const {
  std::vector<double> values(noData.begin(), noData.end());
  if (record.bandCount > 0 && values.size() < static_cast<std::size_t>(record.bandCount))
    values.resize(static_cast<std::size_t>(record.bandCount), GetInvalid(record.dataType));
  return values;
}

int HVXORasterWriterBase::FillRowsPerStep(int width, int height, int bandCount, int valueSize) {
  // The byte count of the raster in units of 20 MiB.
  double n = static_cast<double>(height) * width * bandCount * valueSize * 4.76837158203125e-08;
  int rows = n <= 1.0 ? height : TruncateToInt(height / n);
  return std::max(rows, 1);
}

int HVXORasterWriterBase::FillWithInvalid(SourceRecord& record, const std::vector<double>& noData) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&] {
    if (record.width <= 0 || record.height <= 0 || record.bandCount <= 0) return 0;
    auto type = static_cast<GDALDataType>(record.dataType);
    int valueSize = GDALGetDataTypeSize(type) / 8;
    int rowsPerStep = FillRowsPerStep(record.width, record.height, record.bandCount, valueSize);
    unsigned long long rowBytes =
        static_cast<unsigned long long>(record.width) * record.bandCount * valueSize;
    if (rowBytes == 0 || rowBytes > std::numeric_limits<std::size_t>::max() / rowsPerStep) return 1;
    std::unique_ptr<unsigned char[]> buffer(
        new (std::nothrow) unsigned char[rowBytes * rowsPerStep]);
    if (!buffer) return 1;
    std::vector<double> values = NoDataForBands(noData, record);
    int filledRows = 0;  // the buffer's band layout depends on the rows of the step
    for (long long row = 0; row < record.height; row += rowsPerStep) {
      int count = static_cast<int>(std::min<long long>(rowsPerStep, record.height - row));
      if (count != filledRows) {
        BlockSetInvalidM(buffer.get(), record.width, count, record.dataType, record.bandCount,
                         values.data());
        filledRows = count;
      }
      if (!WriteDatasetWindow(record.dataset, 0, static_cast<int>(row), record.width, count,
                              buffer.get(), record.width, count, type, record.bandCount, nullptr, 0,
                              0, 0))
        return 1;
    }
    return 0;
  });
}

int HVXORasterWriterBase::WriteBandWindow(GDALRasterBandH band, int xOff, int yOff, int xSize,
                                          int ySize, void* buffer, int bufXSize, int bufYSize,
                                          GDALDataType bufType, int pixelSpace, int lineSpace) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 0, [&] {
    // A block the cache had to write out for this one may fail without failing the call.
    CPLErrorReset();
    return GDALRasterIO(band, GF_Write, xOff, yOff, xSize, ySize, buffer, bufXSize, bufYSize,
                        bufType, pixelSpace, lineSpace) == CE_None &&
                   CPLGetLastErrorType() < CE_Failure
               ? 1
               : 0;
  });
}

int HVXORasterWriterBase::WriteDatasetWindow(GDALDatasetH dataset, int xOff, int yOff, int xSize,
                                             int ySize, void* buffer, int bufXSize, int bufYSize,
                                             GDALDataType bufType, int bandCount, int* bandMap,
                                             int pixelSpace, int lineSpace, int bandSpace) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 0, [&] {
    CPLErrorReset();
    return GDALDatasetRasterIO(dataset, GF_Write, xOff, yOff, xSize, ySize, buffer, bufXSize,
                               bufYSize, bufType, bandCount, bandMap, pixelSpace, lineSpace,
                               bandSpace) == CE_None &&
                   CPLGetLastErrorType() < CE_Failure
               ? 1
               : 0;
  });
}

GDALRasterBandH HVXORasterWriterBase::GetBand(GDALDatasetH dataset, int band) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, GDALRasterBandH{nullptr},
                     [&] { return GDALGetRasterBand(dataset, band); });
}

void HVXORasterWriterBase::CloseDataset(GDALDatasetH dataset) {
  if (dataset) GDALClose(dataset);
}

HRESULT HVXORasterWriterBase::CloseTargets() {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&] {
    CloseOpenDatasets();
    return S_OK;
  });
}

void HVXORasterWriterBase::CloseOpenDatasets() {
  // The records of a mosaic share one raster: each raster is closed once.
  std::vector<GDALDatasetH> closed;
  for (auto& [key, record] : sourceTable) {
    if (record.dataset && std::find(closed.begin(), closed.end(), record.dataset) == closed.end()) {
      if (!CloseRaster(record.dataset) && !failedTargets.count(record.outputPath))
        FailTarget(record, "写入磁盘");
      closed.push_back(record.dataset);
    }
    record.dataset = nullptr;
  }
  // A raster that missed a write is of no use to anybody, and on a full disk it holds the space.
  for (const std::string& path : failedTargets) RemoveRaster(path);
}

void HVXORasterWriterBase::RemoveRaster(const std::string& path) {
  const std::string file = RasterFileOf(path);
  if (!FileExists(file)) return;
  // A raster cut short may be beyond GDAL's recognition: then the file goes by itself, quietly.
  CPLPushErrorHandler(CPLQuietErrorHandler);
  if (GDALDeleteDataset(nullptr, file.c_str()) != CE_None) VSIUnlink(file.c_str());
  CPLPopErrorHandler();
}

std::string HVXORasterWriterBase::RasterFileOf(const std::string& outputPath) {
  const std::string finalPath = FinalPathOf(outputPath);
  if (finalPath == outputPath) return OsPath(outputPath);
  return UserPath::SideName(OsPath(finalPath), outputPath.substr(finalPath.size()));
}

// GDAL's in-memory rasters (the MEM driver, /vsimem/) have no file to make ours.
bool HVXORasterWriterBase::OnDisk(GDALDriverH driver, const std::string& osPath) {
  return !EQUAL(GDALGetDriverShortName(driver), "MEM") && !osPath.starts_with("/vsi");
}

bool HVXORasterWriterBase::FileExists(const std::string& osPath) {
  struct stat st {};
  return ::stat(osPath.c_str(), &st) == 0;
}
