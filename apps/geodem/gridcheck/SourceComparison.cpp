#include "apps/geodem/gridcheck/SourceComparison.h"

#include <algorithm>
#include <cmath>

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
    findings.push_back(GridFinding::Error("the source cannot be compared: " + error));
    return nullptr;
  }
  // The header holds the corner and cell size in six (ten for degrees) decimals.
  const double tolerance = std::max(1e-6 * header.dx, 1e-6);
  if (source->width() != header.cols || source->height() != header.rows ||
      !Near(source->originX(), header.x0, tolerance) ||
      !Near(source->originY(), header.y0, tolerance) ||
      !Near(source->pixelWidth(), header.dx, 1e-6 * header.dx) ||
      !Near(-source->pixelHeight(), header.dy, 1e-6 * header.dy)) {
    findings.push_back(GridFinding::Error(
        "the source " + path + " is " + std::to_string(source->width()) + " x " +
        std::to_string(source->height()) + " cells of " + Text(source->pixelWidth()) + " x " +
        Text(-source->pixelHeight()) + " from (" + Text(source->originX()) + ", " +
        Text(source->originY()) + "), the file " + std::to_string(header.cols) + " x " +
        std::to_string(header.rows) + " cells of " + Text(header.dx) + " x " + Text(header.dy) +
        " from (" + Text(header.x0) + ", " + Text(header.y0) + "): not the same grid"));
    return nullptr;
  }
  std::unique_ptr<SourceComparison> comparison(
      new SourceComparison(std::move(*source), header.zoom, noData));
  // The reader keeps the description it reads by: it is opened on the one kept.
  comparison->m_reader = SourceReader::Open(comparison->m_source, error);
  if (!comparison->m_reader) {
    findings.push_back(GridFinding::Error("the source cannot be compared: " + error));
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
    findings.push_back(GridFinding::Error("GDAL failed to read the source " + m_source.path() +
                                          " at row " + std::to_string(m_firstRow + 1)));
  }
  if (m_differing == 0) return;
  findings.push_back(GridFinding::Error(std::to_string(m_differing) + " of " +
                                        std::to_string(static_cast<std::int64_t>(m_source.cells())) +
                                        " cells differ from the source " + m_source.path()));
  if (std::optional<std::int32_t> zoom = FittingZoom()) {
    findings.push_back(GridFinding::Error(
        "the cells are the source's heights at zoom " + std::to_string(*zoom) +
            ", but the header's Hzoom is " + std::to_string(m_zoom),
        zoomLine));
  }
  for (std::size_t i = 0; i < std::min(kShown, m_differences.size()); ++i) {
    const Difference& d = m_differences[i];
    const std::string height =
        std::isnan(d.height)
            ? "no data"
            : "height " + Text(d.height, GridCellEncoder::ReadsAsDouble(m_plan.type) ? 15 : 7) + " m";
    findings.push_back(GridFinding::AtCell(
        GridFinding::Level::kError, d.row, d.column,
        "expected " + std::to_string(d.expected) + " (the source's " + height + "), found " +
            std::to_string(d.found)));
  }
}
