#include "apps/geodem/check/CheckReport.h"

#include <algorithm>
#include <cstdio>

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/report/GridFigures.h"

namespace CheckReport {

namespace {

const char* LevelName(GridFinding::Level level) {
  return level == GridFinding::Level::kError ? _("error") : _("warning");
}

// "1 error", "2 errors": one message for one, another (with %d) for more.
std::string Count(int n, const char* one, const char* more) {
  return n == 1 ? std::string(_(one)) : Tr(more, n);
}

std::string FindingsJson(const GridCheckResult& result, GridFinding::Level level) {
  std::string out = "[";
  for (const GridFinding& f : result.findings) {
    if (f.level != level) continue;
    if (out.size() > 1) out += ",";
    out += "{";
    if (f.line > 0) out += "\"line\":" + std::to_string(f.line) + ",";
    if (f.row > 0)
      out += "\"row\":" + std::to_string(f.row) + ",\"column\":" + std::to_string(f.column) + ",";
    out += "\"message\":" + JsonText::Quote(f.text) + "}";
  }
  return out + "]";
}

// The margins by which the grid reaches past its sheet's edges, when they were checked.
void SheetLine(const GridCheckResult& r, std::ostream& out) {
  if (!r.sheet || !r.sheet->margins) return;
  out << "  "
      << Tr("sheet %s: margins %s", r.sheet->number.c_str(), r.sheet->margins->Text().c_str())
      << "\n";
}

// The file's cells, no data, heights and the time its check took.
void FiguresLine(const GridCheckResult& r, std::ostream& out) {
  char share[32], seconds[32];
  std::snprintf(share, sizeof share, "%.2f", r.NoDataShare() * 100);
  std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
  const std::string heights =
      r.lowest ? Tr("heights %s m to %s m", JsonText::Number(*r.lowest).c_str(),
                    JsonText::Number(*r.highest).c_str())
               : std::string(_("no heights"));
  out << "  "
      << Tr("%s cells, %s no data (%s%%), %s; checked in %s s", std::to_string(r.cells).c_str(),
            std::to_string(r.noDataCells).c_str(), share, heights.c_str(), seconds)
      << "\n";
}

std::string SheetJson(const SheetPlacement& s) {
  const SheetExtent& e = s.extent;
  std::string out = "{\"number\":" + JsonText::Quote(s.number) + ",\"west\":" +
                    JsonText::Number(e.west) + ",\"south\":" + JsonText::Number(e.south) +
                    ",\"east\":" + JsonText::Number(e.east) + ",\"north\":" +
                    JsonText::Number(e.north) + ",\"margins\":";
  if (!s.margins) return out + "null}";
  const SheetPlacement::Margins& m = *s.margins;
  return out + "{\"west\":" + JsonText::Number(m.west) + ",\"east\":" + JsonText::Number(m.east) +
         ",\"north\":" + JsonText::Number(m.north) + ",\"south\":" + JsonText::Number(m.south) +
         ",\"unit\":\"" + (m.degrees ? "degree" : "metre") + "\"}}";
}

}  // namespace

void WriteText(const std::vector<GridCheckResult>& results, Detail detail, std::ostream& out) {
  const bool quiet = detail == Detail::kQuiet;
  int withErrors = 0, withWarnings = 0;
  for (const GridCheckResult& r : results) {
    withErrors += r.errors() > 0;
    withWarnings += r.errors() == 0 && r.warnings() > 0;
    if (quiet && r.findings.empty()) continue;
    out << r.path << ": ";
    if (r.findings.empty()) {
      out << _("ok") << "\n";
      if (detail == Detail::kVerbose) FiguresLine(r, out);
      SheetLine(r, out);
      continue;
    }
    out << Count(r.errors(), N_("1 error"), N_("%d errors")) << ", "
        << Count(r.warnings(), N_("1 warning"), N_("%d warnings")) << "\n";
    if (detail == Detail::kVerbose) FiguresLine(r, out);
    SheetLine(r, out);
    std::size_t placeWidth = 5;
    for (const GridFinding& f : r.findings)
      placeWidth = std::max(placeWidth, Translation::Columns(f.Place()));
    for (const GridFinding& f : r.findings) {
      out << "  " << Translation::Padded(LevelName(f.level), 8) << " "
          << Translation::Padded(f.Place(), placeWidth) << "  " << f.text << "\n";
    }
  }
  const int n = static_cast<int>(results.size());
  if (quiet && withErrors + withWarnings == 0) return;
  out << Tr("%s checked: %d with errors, %d with warnings only, %d ok",
            Count(n, N_("1 file"), N_("%d files")).c_str(), withErrors, withWarnings,
            n - withErrors - withWarnings)
      << "\n";
}

void AddTo(const std::vector<GridCheckResult>& results, ReportVerdict& verdict) {
  int withErrors = 0, withWarnings = 0;
  for (const GridCheckResult& r : results) {
    withErrors += r.errors() > 0;
    withWarnings += r.errors() == 0 && r.warnings() > 0;
  }
  const int n = static_cast<int>(results.size());
  if (withErrors) {
    verdict.AddBadge("errors", Tr("with errors: %d", withErrors));
    verdict.Fail(Tr("files with errors: %d of %d", withErrors, n));
  }
  if (withWarnings) verdict.AddBadge("warnings", Tr("with warnings only: %d", withWarnings));
  verdict.AddBadge("ok", Tr("ok: %d", n - withErrors - withWarnings));
}

std::string JsonOf(const GridCheckResult& r) {
  std::string out = "{\"file\":" + JsonText::Quote(r.path);
  if (r.header) {
    // The figures info gives too, under its names; the file's name is already there.
    GridFigures figures{r.path,         r.header->rows, r.header->cols, r.header->zoom,
                        r.noData,       r.cells,        r.noDataCells,  r.lowest,
                        r.highest};
    for (const auto& [name, value] : figures.JsonMembers())
      if (name != "file") out += ",\"" + name + "\":" + value;
  }
  out += std::string(",\"status\":\"") + r.Status() +
         "\",\"errors\":" + FindingsJson(r, GridFinding::Level::kError) +
         ",\"warnings\":" + FindingsJson(r, GridFinding::Level::kWarning) +
         ",\"bytes\":" + std::to_string(r.bytes) + ",\"seconds\":" + JsonText::Number(r.seconds);
  if (r.sheet) out += ",\"sheet\":" + SheetJson(*r.sheet);
  out += "}";
  return out;
}

void WriteJson(const std::vector<GridCheckResult>& results, std::ostream& out) {
  out << "[";
  for (std::size_t i = 0; i < results.size(); ++i) out << (i ? ",\n" : "\n") << JsonOf(results[i]);
  out << "\n]\n";
}

}  // namespace CheckReport
