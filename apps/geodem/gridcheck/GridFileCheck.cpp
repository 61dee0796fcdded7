#include "apps/geodem/gridcheck/GridFileCheck.h"

#include <cpl_vsi.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "apps/geodem/gridcheck/DataLineScan.h"
#include "apps/geodem/gridcheck/GridSummary.h"
#include "apps/geodem/gridcheck/HeaderLineCheck.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"
#include "apps/geodem/gridcheck/SourceComparison.h"
#include "gridfile/CnsdtfGridReader.h"
#include "host/UserPath.h"
#include "messages/MessageText.h"

namespace {

constexpr std::size_t kHeadBytes = 64 << 10;

std::string Metres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The file's first bytes, where its header is; none when it cannot be opened.
std::optional<std::string> Head(const std::string& path) {
  std::string head(kHeadBytes, '\0'), refusal;
  if (!UserPath::MayRead(path, "grid file", refusal)) return std::nullopt;  // the reader says why
  VSILFILE* file = VSIFOpenL(path.c_str(), "rb");
  if (!file) return std::nullopt;
  head.resize(VSIFReadL(head.data(), 1, head.size(), file));
  VSIFCloseL(file);
  return head;
}

// The heights outside the range of Earth's: the first one's place, and how many.
class HeightRange {
 public:
  HeightRange(std::int64_t noData, std::int32_t zoom)
      : m_noData(noData),
        m_low(std::llround(GridCheckOptions::kLowestHeight * zoom)),
        m_high(std::llround(GridCheckOptions::kHighestHeight * zoom)) {}

  // Only rows whose range (of cells other than no data) reaches past Earth's are looked at cell
  // by cell.
  void Add(int row, const std::int32_t* values, int n, GridSummary::Range range) {
    if (range.least >= m_low && range.greatest <= m_high) return;
    for (int c = 0; c < n; ++c) {
      const std::int64_t v = values[c];
      if ((v >= m_low && v <= m_high) || v == m_noData) continue;
      if (m_count++ == 0) m_row = row + 1, m_column = c + 1, m_first = values[c];
    }
  }

  void Report(std::int32_t zoom, std::vector<GridFinding>& findings) const {
    if (m_count == 0) return;
    findings.push_back(GridFinding::AtCell(
        GridFinding::Level::kWarning, m_row, m_column,
        MessageText::Tr("%s heights lie outside %s m to %s m; the first is %s m",
                        std::to_string(m_count).c_str(),
                        Metres(GridCheckOptions::kLowestHeight).c_str(),
                        Metres(GridCheckOptions::kHighestHeight).c_str(),
                        Metres(static_cast<double>(m_first) / zoom).c_str())));
  }

 private:
  std::int64_t m_noData, m_low, m_high;
  std::int64_t m_count = 0;
  int m_row = 0, m_column = 0;
  std::int32_t m_first = 0;
};

}  // namespace

GridCheckResult GridFileCheck::Run(const std::string& path, const RowSink& sink) const {
  const auto start = std::chrono::steady_clock::now();
  GridCheckResult result;
  result.path = path;
  VSIStatBufL stat;
  const bool found = VSIStatL(path.c_str(), &stat) == 0;
  if (found) result.bytes = static_cast<std::uint64_t>(stat.st_size);

  HeaderLineCheck lines;
  // A folder reads as no bytes: the reader says what it is, not the line check "empty".
  const std::optional<std::string> head =
      found && VSI_ISDIR(stat.st_mode) ? std::nullopt : Head(path);
  if (head) lines.Run(*head, result.findings);
  CnsdtfGridReader reader;
  if (!reader.Open(path)) {
    // The line check has said where the header breaks; the reader's words only when it has not.
    if (result.errors() == 0) result.findings.push_back(GridFinding::Error(reader.Error()));
  } else {
    result.header = reader.Header();
    CheckCoordinates(*result.header, lines, result);
    // The line structure is a pass of its own over the bytes: beside the reading of the cells,
    // on another core where there is one.
    std::vector<GridFinding> lineFindings;
    {
      const char lineEnd = DataLineScan::LineEndOf(head ? *head : std::string());
      std::jthread lineScan([&, offset = reader.DataOffset(), header = *result.header] {
        DataLineScan(offset, header.rows, header.cols, lineEnd).Run(path, lineFindings);
      });
      CheckCells(reader, lines, sink, result);
    }
    result.findings.insert(result.findings.end(), lineFindings.begin(), lineFindings.end());
    CheckNoData(result);
    if (m_options.sheet) {
      result.sheet = SheetCoverage::Check(path, *result.header, m_options.sheetScale, result.findings);
    }
  }
  std::string notSheet;
  if (!result.sheet) result.sheet = SheetCoverage::Named(path, notSheet);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

void GridFileCheck::CheckCells(CnsdtfGridReader& reader, const HeaderLineCheck& lines,
                               const RowSink& sink, GridCheckResult& result) const {
  const GridHeader& header = reader.Header();
  const std::int64_t noData = NoDataValue(header);
  std::unique_ptr<SourceComparison> source;
  if (m_options.source) {
    source = SourceComparison::Open(*m_options.source, m_options.band, header,
                                    GridCellEncoder::Saturate(static_cast<double>(noData)),
                                    result.findings);
  }
  GridSummary summary(noData);
  HeightRange heights(noData, header.zoom);
  std::vector<std::int32_t> row(static_cast<std::size_t>(header.cols));
  for (int r = 0; r < header.rows; ++r) {
    if (!reader.ReadRow(r, row.data())) {
      GridFinding failure = GridFinding::AtCell(GridFinding::Level::kError, reader.FailedRow(),
                                                reader.FailedColumn(), reader.Error());
      // The reader's words name the place too; the finding carries it apart.
      if (failure.text.starts_with(failure.Place() + ": ")) failure.text.erase(0, failure.Place().size() + 2);
      result.findings.push_back(std::move(failure));
      source.reset();  // a comparison of part of the file says nothing
      break;
    }
    if (sink) sink(r, row.data());
    const GridSummary::Range range = summary.Add(row.data(), header.cols);
    if (header.zoom > 0) heights.Add(r, row.data(), header.cols, range);
    if (source && !source->CompareRow(r, row.data())) break;
  }
  if (header.zoom > 0) heights.Report(header.zoom, result.findings);
  if (source) source->Report(lines.LineOf("Hzoom"), result.findings);
  result.cells = summary.noDataCells() + summary.validCells();
  result.noDataCells = summary.noDataCells();
  result.noData = noData;
  if (const auto heights = summary.Heights(header.zoom)) std::tie(result.lowest, result.highest) = *heights;
}

void GridFileCheck::CheckCoordinates(const GridHeader& header, const HeaderLineCheck& lines,
                                     GridCheckResult& result) const {
  if (header.unit != 'D') return;
  const double east = header.x0 + header.cols * header.dx;
  const double south = header.y0 - header.rows * header.dy;
  if (header.x0 < -180 || east > 180) {
    result.findings.push_back(GridFinding::Warning(
        MessageText::Tr("the grid spans longitudes %s to %s, outside -180 to 180 degrees for "
                        "XYUnit D",
                        Metres(header.x0).c_str(), Metres(east).c_str()),
        lines.LineOf("X0")));
  }
  if (south < -90 || header.y0 > 90) {
    result.findings.push_back(GridFinding::Warning(
        MessageText::Tr("the grid spans latitudes %s to %s, outside -90 to 90 degrees for "
                        "XYUnit D",
                        Metres(south).c_str(), Metres(header.y0).c_str()),
        lines.LineOf("Y0")));
  }
}

void GridFileCheck::CheckNoData(GridCheckResult& result) const {
  if (result.cells == 0 || result.errors() > 0) return;
  if (result.noDataCells == result.cells) {
    result.findings.push_back(GridFinding::Warning(MessageText::Tr("every cell is no data")));
  } else if (m_options.maxNoDataPercent &&
             result.NoDataShare() * 100 > *m_options.maxNoDataPercent) {
    char share[32];
    std::snprintf(share, sizeof share, "%.2f", result.NoDataShare() * 100);
    result.findings.push_back(
        GridFinding::Warning(MessageText::Tr("%s%% of the cells are no data, more than %s%%", share,
                                             std::to_string(*m_options.maxNoDataPercent).c_str())));
  }
}

// The option, else the header's no-data key, else what the writer writes by default.
std::int64_t GridFileCheck::NoDataValue(const GridHeader& header) const {
  return GridSummary::NoDataCell(m_options.noData.value_or(header.NoDataOrDefault()));
}
