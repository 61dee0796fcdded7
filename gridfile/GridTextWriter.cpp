#include "gridfile/GridTextWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "gridfile/GridCellText.h"
#include "gridfile/GridHeader.h"
#include "gridfile/GridRowPipeline.h"
#include "gridfile/GridRowSource.h"
#include "gridfile/GridTextFile.h"
#include "host/CodePage.h"
#include "host/CoordinateUnits.h"

namespace {

constexpr int kValuesPerLine = 10;

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

// The most bytes the text of a row of cols cells takes, with the room AppendRow asks beyond it.
std::size_t RowRoom(int cols) {
  const std::size_t lines = static_cast<std::size_t>(cols) / kValuesPerLine + 1;
  return static_cast<std::size_t>(cols) * grid_cell_text::kMaxChars + 2 * (lines + 1) +
         grid_cell_text::kSlack + 4;
}

// Reads held ahead of the text: the rows the source decodes at once and one read more, so that
// their text is made while the next are decoded, within 32 MiB of cells.
int ReadsAhead(const GridRowSource& source, int cols) {
  constexpr std::size_t kMostCells = std::size_t{8} << 20;
  const int height = source.RowsPerRead();
  const std::size_t readCells = static_cast<std::size_t>(cols) * static_cast<std::size_t>(height);
  const std::size_t most =
      std::max<std::size_t>(kMostCells / std::max<std::size_t>(readCells, 1), 2);
  const std::size_t wanted =
      static_cast<std::size_t>((std::max(source.RowsDecodedAtOnce(), 1) + height - 1) / height) + 1;
  return static_cast<int>(std::clamp<std::size_t>(wanted, 2, most));
}

// Text made in memory of known room, for AppendRow.
struct TextSpan {
  char* at;
  char* Reserve(std::size_t) const { return at; }
  void Commit(char* end) { at = end; }
};

// A value is "   %ld "; after every tenth value of a row (every value when the row is shorter) a
// line ends, and one more at the end of the row.
template <class Text>
void AppendRow(Text& out, const std::int32_t* values, int cols) {
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

}  // namespace

GridTextWriter::Layout GridTextWriter::LayoutOf(std::string_view version) {
  return GbkEqualsNoCase(version, "GRD_2007")   ? Layout::kEdition2007
         : GbkEqualsNoCase(version, "GRD_1999") ? Layout::kEdition1999
                                                : Layout::kPositional;
}

GridTextWriter::Georeference GridTextWriter::GeoreferenceOf(GDALDatasetH dataset) {
  Georeference geo;
  geo.rows = GDALGetRasterYSize(dataset);
  geo.cols = GDALGetRasterXSize(dataset);
  double transform[6] = {0, 1, 0, 0, 0, 1};
  GDALGetGeoTransform(dataset, transform);
  geo.x0 = transform[0];
  geo.dx = transform[1];
  geo.y0 = transform[3];
  geo.dy = std::fabs(transform[5]);
  const char* projection = GDALGetProjectionRef(dataset);
  // Coordinates in a unit the header has no letter for are written in metres.
  const CoordinateUnits units = CoordinateUnits::Of(projection ? projection : "");
  if (units.letter()) geo.unit = units.letter();
  // A grid file read through the driver keeps the unit of its header where no .prj says more.
  const char* gridUnit = GDALGetMetadataItem(dataset, GridHeader::kUnitItem, nullptr);
  if (units.kind() == CoordinateUnits::Kind::kNone && gridUnit && std::string_view(gridUnit) == "D")
    geo.unit = 'D';
  for (double* value : {&geo.x0, &geo.y0, &geo.dx, &geo.dy}) *value *= units.factor();
  return geo;
}

// Coordinates in degrees need ten decimals to place a cell; any other unit six.
int GridTextWriter::Decimals(const Georeference& geo) { return geo.unit == 'D' ? 10 : 6; }

void GridTextWriter::WriteHeader(GridTextFile& out, const Georeference& geo) const {
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
void GridTextWriter::WriteKeyedGrid(GridTextFile& out, const Georeference& geo) const {
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

bool GridTextWriter::WriteRows(GridTextFile& out, GridRowSource& source, const Georeference& geo,
                               const RowDone& rowDone) const {
  const int rows = geo.rows, cols = geo.cols;
  if (rows <= 0 || cols <= 0) return true;
  const int height = source.RowsPerRead();
  const std::size_t rowCells = static_cast<std::size_t>(cols);
  // Reads hold the cells already encoded as the grid's integers; their text is made and written
  // while the next are read.
  GridRowPipeline pipeline(
      {rowCells, height, ReadsAhead(source, cols), RowRoom(cols)},
      [rowCells, cols](const std::int32_t* cells, int n, char* at) {
        TextSpan text{at};
        for (int i = 0; i < n; ++i) AppendRow(text, cells + rowCells * i, cols);
        return text.at;
      },
      [&out](std::string_view text) {
        out.Write(text);
        return !out.Failed();
      });
  if (!pipeline.Ready()) return false;  // the header stays in the file
  for (int y = 0; y < rows; y += height) {
    const int n = std::min(height, rows - y);
    std::int32_t* cells = pipeline.NextRead();
    if (!cells || !source.Read(y, n, cells)) return false;
    pipeline.Post(n);
    for (int i = 0; i < n; ++i) {
      if (rowDone && !rowDone(y + i, rows)) return false;
    }
  }
  return pipeline.Finish();
}
