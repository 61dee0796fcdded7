#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"

#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridCellText.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridTextFile.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoCancel.h"
#include "host/GeoEvents.h"
#include "host/HVXRasterBase.h"

namespace {

constexpr double kCellsPerBand = 5242880.0;  // 20 MiB of 32-bit floats
constexpr std::uint32_t kProgressCode = 0x20102;
constexpr int kValuesPerLine = 10;
constexpr std::uint32_t kClampedCellsCode = 0x201a1;
// Between information and error: the grid is written, but not every cell as it was.
constexpr std::int32_t kLogWarning = 1;

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using DatasetHandle = std::unique_ptr<void, DatasetCloser>;

void AppendLine(GridTextFile& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendLine(GridTextFile& out, const char* format, ...) {
  // Lines are short, but a coordinate of 1e110 is not: such a line is formatted again, whole.
  char line[128];
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof line) {
    out.Append(std::string_view(line, static_cast<std::size_t>(n)));
  } else if (n > 0) {
    std::string longLine(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(longLine.data(), longLine.size(), format, again);
    longLine.pop_back();
    out.Append(longLine);
  }
  va_end(again);
  out.Append("\r\n");
}

// A coordinate with the given decimals; one that rounds to zero is written without a sign.
std::string CoordinateText(double value, int decimals) {
  char text[400];  // the longest double with ten decimals
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  const char* digits = text + (text[0] == '-');
  const bool zero = std::strspn(digits, "0.") == std::strlen(digits);
  return zero ? digits : text;
}

}  // namespace

// Coordinates in degrees need ten decimals to place a cell; any other unit six.
int DemGridWriter::Decimals(const Georeference& geo) { return geo.unit == 'D' ? 10 : 6; }

DemGridWriter::DemGridWriter(const DemWriterParameters& params,
                             const std::vector<double>& invalidData, bool logOutput,
                             bool progressOn)
    : m_layout(GbkEqualsNoCase(params.version, "GRD_2007")   ? Layout::kEdition2007
               : GbkEqualsNoCase(params.version, "GRD_1999") ? Layout::kEdition1999
                                                             : Layout::kPositional),
      m_zoom(params.zoom),
      m_encoder(params.zoom, params.noDataValue,
                invalidData.empty() ? std::nullopt : std::optional<double>(invalidData.front())),
      m_logOutput(logOutput),
      m_progressOn(progressOn) {}

int DemGridWriter::BandHeight(int rows, int cols) {
  if (rows <= 0 || cols <= 0) return 1;
  double f = static_cast<double>(rows) * static_cast<double>(cols) / kCellsPerBand;
  int height = f > 1.0 ? static_cast<int>(rows / f) : rows;
  // A single row of more than 5 242 880 cells still has to be read.
  return std::clamp(height, 1, rows);
}

int DemGridWriter::Write(const std::string& finalPath, const std::string& temporaryPath) {
  return GuardWriter(m_logOutput, kGeodemWriterFile, __LINE__, 0,
                     [&] { return WriteGuarded(finalPath, temporaryPath); });
}

int DemGridWriter::WriteGuarded(const std::string& finalPath, const std::string& temporaryPath) {
  // The raster first: without one there is nothing to convert, and a file already at the final
  // path must not be emptied for nothing.
  DatasetHandle dataset(GDALOpenShared(OsPath(temporaryPath).c_str(), GA_ReadOnly));
  if (!dataset) return 0;
  GridTextFile out;
  if (!out.Create(finalPath)) return 0;

  Georeference geo;
  geo.rows = GDALGetRasterYSize(dataset.get());
  geo.cols = GDALGetRasterXSize(dataset.get());
  double transform[6] = {0, 1, 0, 0, 0, 1};
  GDALGetGeoTransform(dataset.get(), transform);
  geo.x0 = transform[0];
  geo.dx = transform[1];
  geo.y0 = transform[3];
  geo.dy = std::fabs(transform[5]);
  const char* projection = GDALGetProjectionRef(dataset.get());
  if (projection && *projection) GetUnitType(projection, &geo.unit);

  WriteHeader(out, geo);
  GDALRasterBandH band =
      GDALGetRasterCount(dataset.get()) > 0 ? GDALGetRasterBand(dataset.get(), 1) : nullptr;
  // A band that cannot be read must not become a grid of stale values while the only copy of the
  // data is deleted.
  std::int64_t clamped = 0;
  // Cut short, the text is dropped: nothing but a complete grid file ever takes the final name.
  if (!band || !WriteCells(out, band, geo.rows, geo.cols, clamped)) return 0;
  dataset.reset();
  // Delete only what was converted completely: on a full disk the raster is all that is left.
  if (!out.Finish()) return 0;
  if (clamped > 0 && m_logOutput) {
    FireGeoLogGbk(FormatGbk("%s：%lld 个格网值乘以 Hzoom %ld 后超出 32 位整数范围，已写为最近的界值",
                            finalPath.c_str(), static_cast<long long>(clamped),
                            static_cast<long>(m_zoom)),
                  kLogWarning, kClampedCellsCode);
  }
  if (GDALDriverH hfa = GDALGetDriverByName("HFA")) {
    GDALDeleteDataset(hfa, OsPath(temporaryPath).c_str());
  }
  return 1;
}

void DemGridWriter::WriteHeader(GridTextFile& out, const Georeference& geo) const {
  switch (m_layout) {
    case Layout::kEdition2007:
      AppendLine(out, "DataMark: CNSDTF-DEM");
      AppendLine(out, "Version: GB/T17798-2007");
      WriteKeyedGrid(out, geo);
      AppendLine(out, "XYUnit: %c", geo.unit);
      AppendLine(out, "ZUnit: M");
      break;
    case Layout::kEdition1999:
      AppendLine(out, "DataMark: CNSDTF-DEM");
      AppendLine(out, "Version: 1.0");
      AppendLine(out, "Unit: %c", geo.unit);
      WriteKeyedGrid(out, geo);
      break;
    case Layout::kPositional:
      AppendLine(out, "NSDTF-DEM");
      AppendLine(out, "1.0");
      AppendLine(out, "%c", geo.unit);
      AppendLine(out, "0.0");  // Alpha
      AppendLine(out, "0.0");  // Compress, written "0.0" in this layout
      for (double value : {geo.x0, geo.y0, geo.dx, geo.dy}) {
        AppendLine(out, "%s", CoordinateText(value, Decimals(geo)).c_str());
      }
      AppendLine(out, "%ld", static_cast<long>(geo.rows));
      AppendLine(out, "%ld", static_cast<long>(geo.cols));
      AppendLine(out, "%ld", static_cast<long>(m_zoom));
      break;
  }
  out.Append("\r\n");  // the empty line that ends the header
}

// The lines from Alpha to Hzoom, which both editions share.
void DemGridWriter::WriteKeyedGrid(GridTextFile& out, const Georeference& geo) const {
  const int decimals = Decimals(geo);
  AppendLine(out, "Alpha: 0.000000");
  AppendLine(out, "Compress: 0");
  AppendLine(out, "X0: %s", CoordinateText(geo.x0, decimals).c_str());
  AppendLine(out, "Y0: %s", CoordinateText(geo.y0, decimals).c_str());
  AppendLine(out, "DX: %s", CoordinateText(geo.dx, decimals).c_str());
  AppendLine(out, "DY: %s", CoordinateText(geo.dy, decimals).c_str());
  AppendLine(out, "Row: %ld", static_cast<long>(geo.rows));
  AppendLine(out, "Col: %ld", static_cast<long>(geo.cols));
  AppendLine(out, "ValueType: Integer");
  AppendLine(out, "Hzoom: %ld", static_cast<long>(m_zoom));
}

bool DemGridWriter::WriteCells(GridTextFile& out, GDALRasterBandH band, int rows, int cols,
                               std::int64_t& clamped) const {
  if (rows <= 0 || cols <= 0) return true;
  GridBandReader reader(band, m_encoder, BandHeight(rows, cols));
  const int height = reader.RowsPerRead();
  const std::size_t rowCells = static_cast<std::size_t>(cols);
  // The cells of one read, already encoded as the grid's integers (as large as the floats were).
  std::unique_ptr<std::int32_t[]> values(new (std::nothrow) std::int32_t[rowCells * height]);
  if (!values) return false;  // the header stays in the file
  for (int y = 0; y < rows; y += height) {
    const int n = std::min(height, rows - y);
    if (!reader.Read(y, n, values.get())) return false;
    for (int i = 0; i < n; ++i) {
      if (GeoCancelRequested()) return false;  // the host asked to stop: the file is dropped
      WriteRow(out, values.get() + rowCells * i, cols);
      if (m_progressOn) ReportRow(y + i, rows);
    }
    if (out.Failed()) return false;
  }
  clamped = reader.ClampedCells();
  return true;
}

// A value is "   %ld "; after every tenth value of a row (every value when the row is shorter) a
// line ends, and one more at the end of the row.
void DemGridWriter::WriteRow(GridTextFile& out, const std::int32_t* values, int cols) const {
  const int width = std::min(cols, kValuesPerLine);
  for (int c = 0; c < cols; c += width) {
    const int n = std::min(width, cols - c);
    // The values, then at most two line ends.
    char* at = out.Reserve(static_cast<std::size_t>(n) * grid_cell_text::kMaxChars +
                           grid_cell_text::kSlack + 4);
    at = grid_cell_text::AppendCells(at, values + c, n);
    if (n == width) at = std::copy_n("\r\n", 2, at);
    if (c + n == cols) at = std::copy_n("\r\n", 2, at);
    out.Commit(at);
  }
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
