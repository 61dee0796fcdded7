// Raster blocks: finding a block's target, placing its pixels, completing a source, and progress.
//
// A block is refused (result 1, nothing written or counted) unless everything it announces lies
// inside its own arrays: a payload shorter than its header plus columns x rows x bands values of
// its type, zero, negative, non-finite or absurd sizes (a band of more than 2 GiB), a descriptor
// shorter than three values, or a data type that GDAL does not know. A block reaching past the
// edge of its target is clipped to the target; one lying wholly outside it is refused.
#include <algorithm>
#include <climits>
#include <cmath>

#include "HVXOWRITER/HVXORasterWriterBase/BlockData.h"
#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "host/TextValues.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoCancel.h"
#include "host/GeoEvents.h"
#include "host/HVXRasterBase.h"

namespace {

constexpr std::uint32_t kCreateFailedCode = 0x20195;
constexpr std::uint32_t kProgressCode = 0x20102;
constexpr std::uint32_t kTargetOutputFailedCode = 0x20198;

bool IsKnownDataType(std::int32_t type) {
  return type > GDT_Unknown && type < GDT_TypeCount &&
         GDALGetDataTypeSizeBytes(static_cast<GDALDataType>(type)) > 0;
}

// A header value taken to the nearest integer, halves upwards, as a 32-bit int; nothing when it is
// not finite or does not fit. Flooring rather than truncating keeps a block that starts left of or
// above its target at its true place, so that clipping cuts off exactly the outside part.
bool RoundHeader(double value, int& out) {
  double v = std::floor(value + 0.5);
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) return false;  // NaN fails as well
  out = static_cast<int>(v);
  return true;
}

std::int32_t SaturatedSum(std::int32_t a, std::int32_t b) {
  long long sum = static_cast<long long>(a) + b;
  return static_cast<std::int32_t>(std::clamp<long long>(sum, INT_MIN, INT_MAX));
}

}  // namespace

HRESULT HVXORasterWriterBase::WriteBlock(IRasterBlock* block, IUnknown* second) {
  if (!second) return E_POINTER;
  if (!block) return 1;
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    std::int32_t kind = 0;
    if (FAILED(block->GetKind(&kind)) || kind != kRasterBlockKind || sourceTable.empty()) return 1;

    BstrHolder wideName;
    block->GetName(wideName.Put());
    // A name without a GBK form matches no target: with a '?' in its place it might.
    std::optional<std::string> gbkName = Utf16ToGbkExact(wideName.Get());
    if (!gbkName) return 1;
    std::string name = std::move(*gbkName);
    ExpandNameMacros(name, block);  // on failure the name stays as far as it got
    std::string sourceKey = name;
    auto group = targetGroups.find(GbkToUpper(name));
    const bool namedAfterTarget = group != targetGroups.end() && !group->second.empty();
    if (namedAfterTarget) sourceKey = group->second.front();

    ComPtr<IPropertySet> properties;
    block->GetProperties(properties.Put());
    int windowX = 0, windowY = 0;
    if (properties) ReadBlockProperties(properties.Get(), windowX, windowY);

    BlockData data(block);
    if (!data.IsWellFormed() || !IsKnownDataType(data.DataType())) return 1;
    blockDataType = data.DataType();
    auto record = sourceTable.find(GbkToUpper(sourceKey));
    if (record == sourceTable.end()) return 1;
    SourceRecord& target = record->second;
    Window placed{};
    if (!PlaceBlock(data, target, placed)) return 1;
    // Blocks of a raster that missed a write are not written: it will never be converted.
    if (failedTargets.count(target.outputPath)) return E_FAIL;

    std::string finalPath = FinalPathOf(target.outputPath);
    if (!target.dataset) {
      HRESULT opened = OpenTargetForBlock(block, target, finalPath);
      if (opened != S_OK) return opened;
    } else {
      CountNextBlock(finalPath);
    }

    auto type = static_cast<GDALDataType>(blockDataType);
    // A collar must not erase what other pieces wrote, nor a block be half merged.
    if (mosaicMode == 1 && KeepWrittenCells(data.Pixels(), type, target, placed) != 0)
      return FailTarget(target, "读回已写入的数据");
    const int written =
        properties ? WriteBlockTrimmed(data.Pixels(), type,
                                       mosaicMode == 1 && namedAfterTarget
                                           ? TrimmingRecordFor(group->second, target, placed)
                                           : target,
                                       placed.x, placed.y, placed.columns, placed.rows, windowX,
                                       windowY)
                   : WriteWholeBlock(data.Pixels(), type, target, placed);
    if (!written) return FailTarget(target, "写入数据块");
    blocksWritten = SaturatedSum(blocksWritten, 1);
    CountWrittenBlock(finalPath);
    if (mosaicMode == 0 && blocksNum == currentOutput) return CompleteSource(target, finalPath);
    return S_OK;
  });
}

void HVXORasterWriterBase::ReadBlockProperties(IPropertySet* properties, int& windowX,
                                               int& windowY) {
  if (auto v = ReadPropertyText(properties, u"BlocksNum")) blocksNum = LeadingInt(*v);
  windowX = LeadingInt(ReadPropertyText(properties, u"WinSizeX").value_or("0"));
  windowY = LeadingInt(ReadPropertyText(properties, u"WinSizeY").value_or("0"));
  ReadPropertyText(properties, u"BandCount");  // announced by the host, not needed here
  if (auto v = ReadPropertyText(properties, u"InvalidData")) {
    invalidData.clear();
    StringList parts;
    SplitString(*v, "|", parts);
    for (const std::string& part : parts) invalidData.push_back(LeadingReal(part));
  }
}

bool HVXORasterWriterBase::PlaceBlock(const BlockData& data, const SourceRecord& record,
                                      Window& block) const {
  if (!data.HasHeader() || record.bandCount < 1) return false;
  if (!RoundHeader(data.Header(2), block.columns) || !RoundHeader(data.Header(3), block.rows) ||
      block.columns < 1 || block.rows < 1)
    return false;
  // A band must stay addressable by GDAL's 32-bit spacings, and the payload must hold every band.
  auto valueSize = static_cast<unsigned long long>(
      GDALGetDataTypeSizeBytes(static_cast<GDALDataType>(blockDataType)));
  unsigned long long bandBytes = static_cast<unsigned long long>(block.columns) * block.rows;
  if (bandBytes > INT_MAX / valueSize) return false;
  bandBytes *= valueSize;
  if (bandBytes * static_cast<unsigned long long>(record.bandCount) > data.PixelBytes())
    return false;
  if (!RoundHeader((data.Header(4) - record.originX) / data.Header(8), block.x) ||
      !RoundHeader((data.Header(6) - record.originY) / data.Header(9), block.y))
    return false;
  // Some part of the block must fall on the target.
  return block.x < record.width &&
         block.y<record.height&& static_cast<long long>(block.x) + block.columns> 0 &&
         static_cast<long long>(block.y) + block.rows > 0;
}

HRESULT HVXORasterWriterBase::OpenTargetForBlock(IRasterBlock* block, SourceRecord& record,
                                                 const std::string& key) {
  ComPtr<ISpatialReference> reference;
  block->GetSpatialReference(reference.Put());
  // Values meant for another type would not mean "invalid" in this raster.
  std::vector<double> noData =
      blockDataType != record.dataType
          ? std::vector<double>(static_cast<std::size_t>(std::max(record.bandCount, 0)),
                                GetInvalid(record.dataType))
          : invalidData;
  lastStatus = CreateTargetDataset(record, reference.Get(), noData);
  reference.Reset();
  if (!record.dataset) {
    // A refusal (the file exists, the folder or the lock cannot be had) has said why in a line of
    // its own; a line blaming the temporary raster after it would point the user elsewhere.
    if (logOutput && lastStatus != E_FAIL)
      FireGeoLogGbk(FormatGbk("%s：创建数据集失败", record.outputPath.c_str()), kLogError,
                    kCreateFailedCode);
    return E_FAIL;
  }
  if (mosaicMode == 1) {
    for (auto& [k, other] : sourceTable) other.dataset = record.dataset;
  }
  progressBase = progressEnd;
  progressEnd = SaturatedSum(progressEnd, blocksNum);
  progressFactor = mosaicMode == 1 ? static_cast<std::int32_t>(sourceTable.size()) : 1;
  CountFirstBlock(key);
  return S_OK;
}

int HVXORasterWriterBase::WriteWholeBlock(void* pixels, GDALDataType type,
                                          const SourceRecord& record, const Window& block) {
  int x0 = std::max(block.x, 0);
  int y0 = std::max(block.y, 0);
  int x1 = static_cast<int>(
      std::min<long long>(static_cast<long long>(block.x) + block.columns, record.width));
  int y1 = static_cast<int>(
      std::min<long long>(static_cast<long long>(block.y) + block.rows, record.height));
  if (x0 >= x1 || y0 >= y1) return 1;  // nothing of it on the target
  if (x0 == block.x && y0 == block.y && x1 - x0 == block.columns && y1 - y0 == block.rows)
    return WriteDatasetWindow(record.dataset, block.x, block.y, block.columns, block.rows, pixels,
                              block.columns, block.rows, type, record.bandCount, nullptr, 0, 0, 0);
  // Clipped: the same single write, stepping over the block's cut-off columns and rows. GDAL takes
  // the spacings as 32-bit values.
  int valueSize = GDALGetDataTypeSizeBytes(type);
  if (static_cast<long long>(block.columns) * block.rows * valueSize > INT_MAX) return 0;
  std::size_t skip = (static_cast<std::size_t>(y0 - block.y) * block.columns + (x0 - block.x)) *
                     static_cast<std::size_t>(valueSize);
  return WriteDatasetWindow(record.dataset, x0, y0, x1 - x0, y1 - y0,
                            static_cast<unsigned char*>(pixels) + skip, x1 - x0, y1 - y0, type,
                            record.bandCount, nullptr, valueSize, block.columns * valueSize,
                            block.columns * block.rows * valueSize);
}

int HVXORasterWriterBase::WriteBlockTrimmed(void* pixels, GDALDataType type,
                                            const SourceRecord& record, int x, int y, int columns,
                                            int rows, int windowX, int windowY) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 0, [&] {
    // A block has margins only where its source goes on, so the edges that keep their cells are
    // the source's own: in a mosaic they lie inside the target.
    long long left = record.sourceColumn, top = record.sourceRow;
    long long right = record.sourceWidth > 0 ? left + record.sourceWidth : record.width;
    long long bottom = record.sourceHeight > 0 ? top + record.sourceHeight : record.height;
    long long hx = windowX / 2, hy = windowY / 2;
    long long xs = x, ys = y, xw = columns, yw = rows;
    if (static_cast<long long>(x) + columns != right) xw -= hx;
    if (static_cast<long long>(y) + rows != bottom) yw -= hy;
    if (x != left) {
      xs = x + hx;
      xw -= hx;
    }
    if (y != top) {
      ys = y + hy;
      yw -= hy;
    }
    Window block{x, y, columns, rows};
    if (xs == x && ys == y && xw == columns && yw == rows)
      return WriteWholeBlock(pixels, type, record, block);
    // Only what lies in the block and in the target: a negative or oversized window must neither
    // read outside the block nor write outside the raster.
    long long x0 = std::max({xs, static_cast<long long>(x), 0LL});
    long long y0 = std::max({ys, static_cast<long long>(y), 0LL});
    long long x1 = std::min(
        {xs + xw, static_cast<long long>(x) + columns, static_cast<long long>(record.width)});
    long long y1 = std::min(
        {ys + yw, static_cast<long long>(y) + rows, static_cast<long long>(record.height)});
    if (x0 >= x1 || y0 >= y1) return 1;  // all margin: nothing to write
    auto valueSize = static_cast<std::size_t>(GDALGetDataTypeSizeBytes(type));
    auto* bytes = static_cast<unsigned char*>(pixels);
    auto bandValues = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    int result = 1;  // 0 as soon as one row failed, not only the last
    for (int b = 0; b < record.bandCount; ++b) {
      GDALRasterBandH band = GetBand(record.dataset, b + 1);
      for (long long r = y0; r < y1; ++r) {
        std::size_t at = static_cast<std::size_t>(b) * bandValues +
                         static_cast<std::size_t>(r - y) * static_cast<std::size_t>(columns) +
                         static_cast<std::size_t>(x0 - x);
        result &= WriteBandWindow(band, static_cast<int>(x0), static_cast<int>(r),
                                  static_cast<int>(x1 - x0), 1, bytes + at * valueSize,
                                  static_cast<int>(x1 - x0), 1, type, 0, 0);
      }
    }
    return result;
  });
}

HRESULT HVXORasterWriterBase::CompleteSource(SourceRecord& record, const std::string& finalPath) {
  const bool flushed = CloseRaster(record.dataset);
  record.dataset = nullptr;
  if (!flushed) return FailTarget(record, "写入磁盘");
  if (!record.outputPath.ends_with(".tmp")) return S_OK;
  lastStatus = WriteFormatFile(finalPath, record.outputPath);
  targetClaims.Release(finalPath);
  if (lastStatus != 0) return S_OK;
  CountFailedTarget(finalPath);
  // The host must learn that the grid file is missing even when it does not read the log.
  ReportTargetOutputFailed(finalPath);
  return E_FAIL;
}

void HVXORasterWriterBase::ReportTargetOutputFailed(const std::string& finalPath) const {
  // A stop the host asked for is no failure to tell it about.
  if (logOutput && !GeoCancelRequested())
    FireGeoLogGbk(FormatGbk("输出目标数据集%s失败", finalPath.c_str()), kLogError,
                  kTargetOutputFailedCode);
}

int HVXORasterWriterBase::ReportProgress() {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 1, [&] {
    if (!progressOutput) return 0;
    long long done = static_cast<long long>(blocksWritten) - progressBase;
    long long total = (static_cast<long long>(progressEnd) - progressBase) * progressFactor;
    if (done % 10 != 0) return 0;
    // Before any target has a span there is nothing to measure against: 0 %.
    long percent = total > 0 ? static_cast<long>(static_cast<double>(done) / total * 100.0) : 0;
    std::u16string text = GbkToUtf16(FormatGbk("已输出对象：%ld%% ", percent));
    std::int32_t flag = 0;
    FireGeoProgress(static_cast<std::int32_t>(std::clamp<long long>(done, INT_MIN, INT_MAX)),
                    static_cast<std::int32_t>(std::clamp<long long>(total, INT_MIN, INT_MAX)), 0,
                    kProgressCode, text.c_str(), &flag);
    return 0;
  });
}
