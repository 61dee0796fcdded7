#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"

#include <gdal.h>

#include <algorithm>
#include <memory>

#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"
#include "gridfile/GridTextFile.h"
#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/FileFailure.h"
#include "host/GeoCancel.h"
#include "host/GeoEvents.h"

namespace {

constexpr std::uint32_t kProgressCode = 0x20102;
constexpr std::uint32_t kClampedCellsCode = 0x201a1;
constexpr std::uint32_t kRefusedCode = 0x2019a;  // as any other failed write of the file
// Between information and error: the grid is written, but not every cell as it was.
constexpr std::int32_t kLogWarning = 1;

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using DatasetHandle = std::unique_ptr<void, DatasetCloser>;

}  // namespace

DemGridWriter::DemGridWriter(const DemWriterParameters& params,
                             const std::vector<double>& invalidData, bool logOutput,
                             bool progressOn)
    : m_text(GridTextWriter::LayoutOf(params.version), params.zoom),
      m_encoder(params.zoom, params.noDataValue,
                invalidData.empty() ? std::nullopt : std::optional<double>(invalidData.front())),
      m_logOutput(logOutput),
      m_progressOn(progressOn) {}

int DemGridWriter::Write(const std::string& finalPath, const std::string& temporaryPath) {
  return GuardWriter(m_logOutput, kGeodemWriterFile, __LINE__, 0,
                     [&] { return WriteGuarded(finalPath, temporaryPath); });
}

int DemGridWriter::WriteGuarded(const std::string& finalPath, const std::string& temporaryPath) {
  // The raster first: without one there is nothing to convert, and a file already at the final
  // path must not be emptied for nothing.
  const std::string rasterFile = HVXORasterWriterBase::RasterFileOf(temporaryPath);
  DatasetHandle dataset(GDALOpenShared(rasterFile.c_str(), GA_ReadOnly));
  if (!dataset) return 0;
  GridTextFile out;
  if (!out.Create(finalPath)) return Failed(out, finalPath);

  const GridTextWriter::Georeference geo = GridTextWriter::GeoreferenceOf(dataset.get());
  m_text.WriteHeader(out, geo);
  GDALRasterBandH band =
      GDALGetRasterCount(dataset.get()) > 0 ? GDALGetRasterBand(dataset.get(), 1) : nullptr;
  // A band that cannot be read must not become a grid of stale values while the only copy of the
  // data is deleted.
  std::int64_t clamped = 0;
  // Cut short, the text is dropped: nothing but a complete grid file ever takes the final name.
  if (!band || !WriteCells(out, band, geo, clamped)) return Failed(out, finalPath);
  dataset.reset();
  // Delete only what was converted completely: on a full disk the raster is all that is left.
  if (!out.Finish(m_encoder.NoDataCell())) return Failed(out, finalPath);
  if (clamped > 0 && m_logOutput) {
    FireGeoLogGbk(FormatGbk("%s：%lld 个格网值乘以 Hzoom %ld 后超出 32 位整数范围，已写为最近的界值",
                            finalPath.c_str(), static_cast<long long>(clamped),
                            static_cast<long>(m_text.Zoom())),
                  kLogWarning, kClampedCellsCode);
  }
  if (GDALDriverH hfa = GDALGetDriverByName("HFA")) {
    GDALDeleteDataset(hfa, rasterFile.c_str());
  }
  return 1;
}

// The host learns why from the operating system's reason; a read or a stop leaves none.
int DemGridWriter::Failed(const GridTextFile& out, const std::string& finalPath) const {
  // Another user's link or file in the way: said in full, as the system's reason cannot.
  if (!out.refusal().empty() && m_logOutput)
    FireGeoLogGbk(Utf8ToGbk(out.refusal()), kLogError, kRefusedCode);
  if (out.error() != 0) NoteFileFailure(OsPath(finalPath), out.error());
  return 0;
}

bool DemGridWriter::WriteCells(GridTextFile& out, GDALRasterBandH band,
                               const GridTextWriter::Georeference& geo,
                               std::int64_t& clamped) const {
  GridBandReader reader(band, m_encoder, GridBandReader::BandHeight(geo.rows, geo.cols));
  const bool written = m_text.WriteRows(out, reader, geo, [this](int row, int rows) {
    if (m_progressOn) ReportRow(row, rows);
    return !GeoCancelRequested();  // the host asked to stop: the file is dropped
  });
  clamped = reader.ClampedCells();
  return written;
}

// Ten events over the raster (every row when it has fewer than ten): the row, the row count and the
// share done, which never reaches 100 % here.
void DemGridWriter::ReportRow(int row, int rows) const {
  const int step = std::max(rows / 10, 1);
  if (row % step != 0) return;
  const long percent = static_cast<long>(static_cast<double>(row) / rows * 100.0);
  std::u16string text = GbkToUtf16(FormatGbk("已输出对象：%ld%% ", percent));
  std::int32_t flag = 0;
  FireGeoProgress(row, rows, 0, kProgressCode, text.c_str(), &flag);
}
