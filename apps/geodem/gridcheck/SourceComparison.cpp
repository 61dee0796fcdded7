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
  const std::optional<Window> window = WindowOf(*source, header);
  if (!window) {
    findings.push_back(GridFinding::Error(MessageText::Tr(
        "the source %s is %d x %d cells of %s x %s from (%s, %s), the file %d x "
        "%d cells of %s x %s from (%s, %s): not the same grid, nor a window of it",
        path.c_str(), source->width(), source->height(), Text(source->pixelWidth()).c_str(),
        Text(-source->pixelHeight()).c_str(), Text(source->originX()).c_str(),
        Text(source->originY()).c_str(), header.cols, header.rows, Text(header.dx).c_str(),
        Text(header.dy).c_str(), Text(header.x0).c_str(), Text(header.y0).c_str())));
    return nullptr;
  }
  std::unique_ptr<SourceComparison> comparison(
      new SourceComparison(std::move(*source), *window, header.zoom, noData));
  // The reader keeps the description it reads by: it is opened on the one kept.
  comparison->m_reader = SourceReader::Open(comparison->m_source, error);
  if (!comparison->m_reader) {
    findings.push_back(
        GridFinding::Error(MessageText::Tr("the source cannot be compared: %s", error.c_str())));
    return nullptr;
  }
  return comparison;
}

// The grid on the source's lattice: the same cell size, and a corner a whole number of cells from
// the source's, within what the header's decimals can state (six, ten for degrees); some of its
// cells on the source.
std::optional<SourceComparison::Window> SourceComparison::WindowOf(const RasterSource& source,
                                                                   const GridHeader& header) {
  const double tolerance = std::max(1e-6 * header.dx, 1e-6);
  if (!Near(source.pixelWidth(), header.dx, 1e-6 * header.dx) ||
      !Near(-source.pixelHeight(), header.dy, 1e-6 * header.dy))
    return std::nullopt;
  const double column = (header.x0 - source.originX()) / source.pixelWidth();
  const double row = (source.originY() - header.y0) / -source.pixelHeight();
  if (!(std::fabs(column) < 1e9 && std::fabs(row) < 1e9) ||
      !Near(column * source.pixelWidth(), std::round(column) * source.pixelWidth(), tolerance) ||
      !Near(row * -source.pixelHeight(), std::round(row) * -source.pixelHeight(), tolerance))
    return std::nullopt;
  Window w{header.rows, header.cols, std::llround(row), std::llround(column)};
  if (w.row >= source.height() || w.column >= source.width() || w.row + w.rows <= 0 ||
      w.column + w.cols <= 0)
    return std::nullopt;
  return w;
}

SourceComparison::SourceComparison(RasterSource source, Window window, std::int32_t zoom,
                                   std::int32_t noData)
    : m_source(std::move(source)),
      m_window(window),
      m_plan(CellPlan::For({&m_source}, false)),
      m_zoom(zoom),
      m_noData(noData),
      m_encoder(zoom, noData, m_plan.marker),
      m_rowsPerRead(std::max(1, kCellsPerRead / std::max(window.cols, 1))) {}

bool SourceComparison::CompareRow(int row, const std::int32_t* values) {
  if (m_failed) return false;
  if (row >= m_firstRow + m_rowCount && !ReadRows(row)) return false;
  const int cols = m_window.cols;
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
  m_firstRow = row;
  m_rowCount = std::min(m_rowsPerRead, m_window.rows - row);
  const std::size_t n =
      static_cast<std::size_t>(m_window.cols) * static_cast<std::size_t>(m_rowCount);
  m_expected.resize(n);
  // The cells reach the encoder as the writer's band reader hands them: floats, doubles when
  // wider; cells past the source's edge are NaN, no data.
  const bool wide = GridCellEncoder::ReadsAsDouble(m_plan.type);
  if (wide)
    m_doubles.assign(n, NAN);
  else
    m_floats.assign(n, NAN);
  if (!ReadWindow(row)) {
    m_failed = true;
    return false;
  }
  if (wide)
    m_encoder.Encode(m_doubles.data(), static_cast<int>(n), m_expected.data());
  else
    m_encoder.Encode(m_floats.data(), static_cast<int>(n), m_expected.data());
  return true;
}

// The part of rows [row, row + m_rowCount) of the grid that lies on the source, into the cells.
bool SourceComparison::ReadWindow(int row) {
  const long long top = std::max<long long>(m_window.row + row, 0);
  const long long bottom = std::min<long long>(m_window.row + row + m_rowCount, m_source.height());
  const long long left = std::max<long long>(m_window.column, 0);
  const long long right = std::min<long long>(m_window.column + m_window.cols, m_source.width());
  if (top >= bottom || left >= right) return true;
  const int width = static_cast<int>(right - left), height = static_cast<int>(bottom - top);
  const int cellBytes = GDALGetDataTypeSizeBytes(m_plan.type);
  m_raw.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
               static_cast<std::size_t>(cellBytes));
  if (!m_reader->Read(static_cast<int>(left), static_cast<int>(top), width, height, m_plan.type,
                      m_plan.marker.value_or(0), m_raw.data()))
    return false;
  const bool wide = GridCellEncoder::ReadsAsDouble(m_plan.type);
  for (int r = 0; r < height; ++r) {
    const std::size_t at = static_cast<std::size_t>(top + r - m_window.row - m_firstRow) *
                               static_cast<std::size_t>(m_window.cols) +
                           static_cast<std::size_t>(left - m_window.column);
    const unsigned char* from = m_raw.data() + static_cast<std::size_t>(r) * width * cellBytes;
    if (wide)
      GDALCopyWords64(from, m_plan.type, cellBytes, m_doubles.data() + at, GDT_Float64,
                      sizeof(double), width);
    else
      GDALCopyWords64(from, m_plan.type, cellBytes, m_floats.data() + at, GDT_Float32,
                      sizeof(float), width);
  }
  return true;
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

// The value that every kept difference holds where the source has no data: the file's no-data
// value, when its header (or .aux.xml) does not name it and the check was not told.
std::optional<std::int32_t> SourceComparison::SharedNoData() const {
  if (m_differences.empty()) return std::nullopt;
  const std::int32_t found = m_differences.front().found;
  for (const Difference& d : m_differences)
    if (!std::isnan(d.height) || d.found != found) return std::nullopt;
  return found;
}

bool SourceComparison::Whole() const {
  return m_window.row == 0 && m_window.column == 0 && m_window.rows == m_source.height() &&
         m_window.cols == m_source.width();
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
      std::to_string(static_cast<std::int64_t>(m_window.rows) * m_window.cols).c_str(),
      m_source.path().c_str())));
  if (std::optional<std::int32_t> noData = SharedNoData()) {
    findings.push_back(GridFinding::Error(MessageText::Tr(
        "the differing cells are the source's no data, held as %s where %s was expected: the "
        "file was written with --nodata %s (check it with --nodata %s)",
        std::to_string(*noData).c_str(), std::to_string(m_noData).c_str(),
        std::to_string(*noData).c_str(), std::to_string(*noData).c_str())));
  }
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
    // A window's cell is found in the source by its own row and column there.
    const std::string place =
        Whole() ? std::string()
                : MessageText::Tr(" at row %s, column %s of the source",
                                  std::to_string(m_window.row + d.row).c_str(),
                                  std::to_string(m_window.column + d.column).c_str());
    findings.push_back(GridFinding::AtCell(
        GridFinding::Level::kError, d.row, d.column,
        std::isnan(d.height)
            ? MessageText::Tr("expected %s (the source's no data%s), found %s", expected.c_str(),
                              place.c_str(), found.c_str())
            : MessageText::Tr("expected %s (the source's height %s m%s), found %s",
                              expected.c_str(), height.c_str(), place.c_str(), found.c_str())));
  }
}
