#include "apps/geodem/gridcheck/SourceComparison.h"

#include <algorithm>
#include <cmath>

#include "messages/MessageText.h"

namespace {

constexpr int kCellsPerRead = 1 << 18;
constexpr std::size_t kKept = 1000;  // differences kept to find a zoom they share
constexpr std::size_t kShown = 10;   // of which are reported cell by cell

bool Near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// Digits enough for a float's heights (the cells travel as floats unless wider), or a double's.
std::string Text(double value, int digits = 10) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

}  // namespace

std::unique_ptr<SourceComparison> SourceComparison::Open(const std::string& path, int band,
                                                         const GridHeader& header,
                                                         std::int32_t noData,
                                                         std::vector<GridFinding>& findings) {
  std::string error;
  std::optional<RasterSource> source = RasterSource::Describe(path, band, error);
  if (!source) {
    findings.push_back(
        GridFinding::Error(MessageText::Tr("the source cannot be compared: %s", error.c_str())));
    return nullptr;
  }
  // The header holds the corner and cell size in six (ten for degrees) decimals.
  const double tolerance = std::max(1e-6 * header.dx, 1e-6);
  if (source->width() != header.cols || source->height() != header.rows ||
      !Near(source->originX(), header.x0, tolerance) ||
      !Near(source->originY(), header.y0, tolerance) ||
      !Near(source->pixelWidth(), header.dx, 1e-6 * header.dx) ||
      !Near(-source->pixelHeight(), header.dy, 1e-6 * header.dy)) {
    findings.push_back(GridFinding::Error(MessageText::Tr(
        "the source %s is %d x %d cells of %s x %s from (%s, %s), the file %d x "
        "%d cells of %s x %s from (%s, %s): not the same grid",
        path.c_str(), source->width(), source->height(), Text(source->pixelWidth()).c_str(),
        Text(-source->pixelHeight()).c_str(), Text(source->originX()).c_str(),
        Text(source->originY()).c_str(), header.cols, header.rows, Text(header.dx).c_str(),
        Text(header.dy).c_str(), Text(header.x0).c_str(), Text(header.y0).c_str())));
    return nullptr;
  }
  std::unique_ptr<SourceComparison> comparison(
      new SourceComparison(std::move(*source), header.zoom, noData));
  // The reader keeps the description it reads by: it is opened on the one kept.
  comparison->m_reader = SourceReader::Open(comparison->m_source, error);
  if (!comparison->m_reader) {
    findings.push_back(
        GridFinding::Error(MessageText::Tr("the source cannot be compared: %s", error.c_str())));
    return nullptr;
  }
  return comparison;
}

SourceComparison::SourceComparison(RasterSource source, std::int32_t zoom, std::int32_t noData)
    : m_source(std::move(source)),
      m_plan(CellPlan::For({&m_source}, false)),
      m_zoom(zoom),
      m_noData(noData),
      m_encoder(zoom, noData, m_plan.marker),
      m_rowsPerRead(std::max(1, kCellsPerRead / std::max(m_source.width(), 1))) {}

bool SourceComparison::CompareRow(int row, const std::int32_t* values) {
  if (m_failed) return false;
  if (row >= m_firstRow + m_rowCount && !ReadRows(row)) return false;
  const int cols = m_source.width();
  const std::size_t start = static_cast<std::size_t>(row - m_firstRow) * static_cast<std::size_t>(cols);
  const std::int32_t* expected = m_expected.data() + start;
  if (std::equal(values, values + cols, expected)) return true;
  const bool wide = GridCellEncoder::ReadsAsDouble(m_plan.type);
  for (int c = 0; c < cols; ++c) {
    if (values[c] == expected[c]) continue;
    ++m_differing;
    if (m_differences.size() == kKept) continue;
    const std::size_t i = start + static_cast<std::size_t>(c);
    const double cell = wide ? m_doubles[i] : static_cast<double>(m_floats[i]);
    const bool noData =
        std::isnan(cell) || (m_plan.marker && (wide ? cell == *m_plan.marker
                                                    : m_floats[i] == static_cast<float>(*m_plan.marker)));
    m_differences.push_back({row + 1, c + 1, expected[c], values[c], noData ? NAN : cell});
  }
  return true;
}

bool SourceComparison::ReadRows(int row) {
  const int cols = m_source.width();
  m_firstRow = row;
  m_rowCount = std::min(m_rowsPerRead, m_source.height() - row);
  const std::size_t n = static_cast<std::size_t>(cols) * static_cast<std::size_t>(m_rowCount);
  m_raw.resize(n * static_cast<std::size_t>(GDALGetDataTypeSizeBytes(m_plan.type)));
  if (!m_reader->Read(0, row, cols, m_rowCount, m_plan.type, m_plan.marker.value_or(0),
                     m_raw.data())) {
    m_failed = true;
    return false;
  }
  m_expected.resize(n);
  // The cells reach the encoder as the writer's band reader hands them: floats, doubles when wider.
  if (GridCellEncoder::ReadsAsDouble(m_plan.type)) {
    Encode(GDT_Float64, m_doubles, n);
  } else {
    Encode(GDT_Float32, m_floats, n);
  }
  return true;
}

template <class Cell>
void SourceComparison::Encode(GDALDataType type, std::vector<Cell>& cells, std::size_t n) {
  cells.resize(n);
  GDALCopyWords64(m_raw.data(), m_plan.type, GDALGetDataTypeSizeBytes(m_plan.type), cells.data(),
                  type, sizeof(Cell), static_cast<GPtrDiff_t>(n));
  m_encoder.Encode(cells.data(), static_cast<int>(n), m_expected.data());
}

// A zoom other than the header's that makes every kept difference right: the file's cells were
// made at that zoom, and its header says otherwise.
std::optional<std::int32_t> SourceComparison::FittingZoom() const {
  const Difference* largest = nullptr;
  for (const Difference& d : m_differences) {
    if (std::isnan(d.height)) return std::nullopt;
    if (!largest || std::fabs(d.height) > std::fabs(largest->height)) largest = &d;
  }
  if (!largest || std::fabs(largest->height) < 0.5) return std::nullopt;
  const double zoom = std::round(largest->found / largest->height);
  if (!(zoom >= 1 && zoom <= 2147483647.0) || zoom == m_zoom) return std::nullopt;
  const GridCellEncoder other(static_cast<std::int32_t>(zoom), m_noData, m_plan.marker);
  for (const Difference& d : m_differences)
    if (other.EncodeOne(d.height) != d.found) return std::nullopt;
  return static_cast<std::int32_t>(zoom);
}

void SourceComparison::Report(long zoomLine, std::vector<GridFinding>& findings) const {
  if (m_failed) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("GDAL failed to read the source %s at row %s", m_source.path().c_str(),
                        std::to_string(m_firstRow + 1).c_str())));
  }
  if (m_differing == 0) return;
  findings.push_back(GridFinding::Error(MessageText::Tr(
      "%s of %s cells differ from the source %s", std::to_string(m_differing).c_str(),
      std::to_string(static_cast<std::int64_t>(m_source.cells())).c_str(),
      m_source.path().c_str())));
  if (std::optional<std::int32_t> zoom = FittingZoom()) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr(
            "the cells are the source's heights at zoom %s, but the header's Hzoom is %s",
            std::to_string(*zoom).c_str(), std::to_string(m_zoom).c_str()),
        zoomLine));
  }
  for (std::size_t i = 0; i < std::min(kShown, m_differences.size()); ++i) {
    const Difference& d = m_differences[i];
    const std::string expected = std::to_string(d.expected), found = std::to_string(d.found);
    const std::string height = Text(d.height, GridCellEncoder::ReadsAsDouble(m_plan.type) ? 15 : 7);
    findings.push_back(GridFinding::AtCell(
        GridFinding::Level::kError, d.row, d.column,
        std::isnan(d.height) ? MessageText::Tr("expected %s (the source's no data), found %s",
                                               expected.c_str(), found.c_str())
                             : MessageText::Tr("expected %s (the source's height %s m), found %s",
                                               expected.c_str(), height.c_str(), found.c_str())));
  }
}
