#include "apps/geodem/info/InfoReport.h"

#include <cstdio>
#include <map>
#include <tuple>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/report/GridFigures.h"

namespace {

using JsonText::Number;

template <class T>
std::string JsonOr(const std::optional<T>& value) {
  return value ? Number(static_cast<double>(*value)) : "null";
}

}  // namespace

InfoReport::Extent InfoReport::GridExtent() const {
  const GridHeader& h = m_header;
  return {h.x0, h.y0 - h.rows * h.dy, h.x0 + h.cols * h.dx, h.y0};
}

std::string InfoReport::Coordinate(double value) const {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", m_header.unit == 'D' ? 10 : 6, value);
  return text;
}

std::string InfoReport::Metres(std::int32_t stored) const {
  if (m_header.zoom == 0) return {};
  return Number(static_cast<double>(stored) / m_header.zoom);
}

// A negative zoom stores the lowest height as the largest value.
std::pair<std::optional<std::int32_t>, std::optional<std::int32_t>> InfoReport::Heights() const {
  if (m_header.zoom < 0) return {m_summary->maximum(), m_summary->minimum()};
  return {m_summary->minimum(), m_summary->maximum()};
}

std::string InfoReport::LayoutText() const {
  switch (m_header.layout) {
    case GridLayout::kEdition2007:
      return Tr("GRD_2007 (keyed header, Version %s)", FromWriterText(m_header.version).c_str());
    case GridLayout::kEdition1999:
      return Tr("GRD_1999 (keyed header, Version %s)", FromWriterText(m_header.version).c_str());
    case GridLayout::kPositional:
      break;
  }
  return _("GEODEM (positional header NSDTF-DEM)");
}

std::string InfoReport::UnitText() const {
  switch (m_header.unit) {
    case 'M':
      return _("M (metres)");
    case 'D':
      return _("D (degrees)");
    case 'F':
      return _("F (feet)");
    default:
      return std::string(1, m_header.unit);
  }
}

void InfoReport::WriteText(std::ostream& out) const {
  const GridHeader& h = m_header;
  const Extent e = GridExtent();
  // The values start in one column, however wide the labels are in the user's language.
  auto label = [](const char* text) { return Translation::Padded(std::string(text) + ":", 12); };
  const std::string zoom = std::to_string(h.zoom);
  out << label(_("File")) << m_path << "\n"
      << label(_("Layout")) << LayoutText() << "\n"
      << _("Header") << ":\n";
  for (const auto& [key, value] : h.entries) {
    out << "  " << FromWriterText(key) << ": " << FromWriterText(value) << "\n";
  }
  out << label(_("Size")) << Tr("%d rows x %d columns", h.rows, h.cols) << "\n"
      << label(_("Cell size")) << Coordinate(h.dx) << " x " << Coordinate(h.dy) << "\n"
      << label(_("Extent"))
      << Tr("X %s to %s, Y %s to %s", Coordinate(e.xMin).c_str(), Coordinate(e.xMax).c_str(),
            Coordinate(e.yMin).c_str(), Coordinate(e.yMax).c_str())
      << "\n"
      << label(_("Unit")) << UnitText() << "\n"
      << label(_("Zoom")) << Tr("%s (a height of 1 m is stored as %s)", zoom.c_str(), zoom.c_str())
      << "\n";
  if (!m_summary) return;
  out << label(_("No data"))
      << Tr("%s in %s of %s cells", std::to_string(m_summary->noData()).c_str(),
            std::to_string(m_summary->noDataCells()).c_str(),
            std::to_string(static_cast<std::int64_t>(h.rows) * h.cols).c_str())
      << "\n";
  const auto [lowest, highest] = Heights();
  for (const auto& [name, value] : {std::pair{_("Minimum"), lowest}, {_("Maximum"), highest}}) {
    out << label(name);
    if (!value) {
      out << _("none (every cell is no data)") << "\n";
      continue;
    }
    out << *value;
    if (std::string metres = Metres(*value); !metres.empty()) out << Tr(" (%s m)", metres.c_str());
    out << "\n";
  }
}

void InfoReport::WriteJson(std::ostream& out) const {
  const GridHeader& h = m_header;
  const Extent e = GridExtent();
  // A key given twice keeps its last value, as the reader takes it.
  std::map<std::string, std::size_t> last;
  for (std::size_t i = 0; i < h.entries.size(); ++i) last[h.entries[i].first] = i;
  out << "{\n  \"file\": " << JsonText::Quote(m_path) << ",\n"
      << "  \"layout\": " << JsonText::Quote(std::string(GridLayoutName(h.layout))) << ",\n"
      << "  \"header\": {";
  const char* separator = "";
  for (std::size_t i = 0; i < h.entries.size(); ++i) {
    if (last[h.entries[i].first] != i) continue;
    out << separator << JsonText::Quote(FromWriterText(h.entries[i].first)) << ": "
        << JsonText::Quote(FromWriterText(h.entries[i].second));
    separator = ", ";
  }
  out << "},\n"
      << "  \"rows\": " << h.rows << ",\n  \"columns\": " << h.cols << ",\n"
      << "  \"x0\": " << Number(h.x0) << ",\n  \"y0\": " << Number(h.y0) << ",\n"
      << "  \"dx\": " << Number(h.dx) << ",\n  \"dy\": " << Number(h.dy) << ",\n"
      << "  \"extent\": {\"xmin\": " << Number(e.xMin) << ", \"ymin\": " << Number(e.yMin)
      << ", \"xmax\": " << Number(e.xMax) << ", \"ymax\": " << Number(e.yMax) << "},\n"
      << "  \"unit\": " << JsonText::Quote(std::string(1, h.unit)) << ",\n"
      << "  \"zoom\": " << h.zoom;
  if (m_summary) {
    // The figures check gives too, in its words; those of the header are already there.
    GridFigures figures;
    figures.noData = m_summary->noData();
    figures.cells = m_summary->noDataCells() + m_summary->validCells();
    figures.noDataCells = m_summary->noDataCells();
    if (const auto heights = m_summary->Heights(h.zoom))
      std::tie(figures.lowest, figures.highest) = *heights;
    for (const auto& [name, value] : figures.JsonMembers()) {
      if (name != "file" && name != "rows" && name != "columns" && name != "zoom")
        out << ",\n  \"" << name << "\": " << value;
    }
    // The stored values of the least and greatest height, which the metres are taken from.
    const auto [lowest, highest] = Heights();
    out << ",\n  \"min_stored\": " << JsonOr(lowest) << ",\n  \"max_stored\": " << JsonOr(highest);
  }
  out << "\n}\n";
}
