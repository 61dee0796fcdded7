#include "apps/geodem/edgematch/EdgeReport.h"

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"

namespace EdgeReport {

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Cell(int row, int column) {
  return Tr("row %s, column %s", std::to_string(row).c_str(), std::to_string(column).c_str());
}

std::string PlaceText(const SheetEdge::Place& p) {
  return Tr("%s and %s", Cell(p.firstRow, p.firstColumn).c_str(),
            Cell(p.secondRow, p.secondColumn).c_str());
}

std::string PlaceJson(const std::optional<SheetEdge::Place>& p) {
  if (!p) return "null";
  return "{\"first\":{\"row\":" + std::to_string(p->firstRow) +
         ",\"column\":" + std::to_string(p->firstColumn) +
         "},\"second\":{\"row\":" + std::to_string(p->secondRow) +
         ",\"column\":" + std::to_string(p->secondColumn) + "}}";
}

std::string Paths(const EdgeSetResult& set, const std::vector<std::size_t>& files) {
  std::string out = "[";
  for (std::size_t i : files)
    out += (out.size() > 1 ? "," : "") + JsonText::Quote(set.grids[i].path);
  return out + "]";
}

// What is wrong with a failing edge, in one line.
std::string Finding(const SheetEdge& e) {
  if (e.status != SheetEdge::Status::kDiffers) {
    const char* what = e.status == SheetEdge::Status::kNotAligned ? _("not aligned")
                       : e.status == SheetEdge::Status::kApart    ? _("apart")
                       : e.status == SheetEdge::Status::kOverlaps ? _("overlaps")
                                                                  : _("not compared");
    return std::string(what) + ": " + e.why;
  }
  std::string text;
  if (e.differing > 0) {
    text = Tr("%lld of %lld cells differ, the largest by %s m at %s",
              static_cast<long long>(e.differing), static_cast<long long>(e.compared),
              Number(e.largest.value_or(0)).c_str(), PlaceText(e.largestAt).c_str());
  }
  if (e.noDataAgainstHeight > 0) {
    text += (text.empty() ? "" : "; ") +
            Tr("%lld cells are no data in one file and a height in the other, the first at %s",
               static_cast<long long>(e.noDataAgainstHeight), PlaceText(*e.firstNoData).c_str());
  }
  return text;
}

}  // namespace

const char* SideName(SheetEdge::Side side) {
  return side == SheetEdge::Side::kEast ? "east" : "south";
}

void WriteText(const EdgeSetResult& set, std::ostream& out) {
  for (const SheetEdge& e : set.edges) {
    if (!e.failed()) continue;
    out << set.grids[e.first].path << " | " << set.grids[e.second].path << " ("
        << (e.side == SheetEdge::Side::kEast ? _("east") : _("south")) << "): " << Finding(e)
        << "\n";
  }
  if (!set.holes.empty()) {
    std::string sheets;
    for (const std::string& h : set.holes) sheets += (sheets.empty() ? "" : ", ") + h;
    out << Tr("sheets missing inside the set: %s", sheets.c_str()) << "\n";
  }
  for (std::size_t i : set.alone)
    out << Tr("%s: no neighbour in the set", set.grids[i].path.c_str()) << "\n";
  for (const std::vector<std::size_t>& files : set.duplicates) {
    std::string paths;
    for (std::size_t i : files) paths += (paths.empty() ? "" : ", ") + set.grids[i].path;
    out << Tr("given more than once (only the first is matched): %s", paths.c_str()) << "\n";
  }
  if (const int meeting = set.onlyMeeting())
    out << Tr("edges where the grids only meet, cut edge to edge (no cell compared): %d", meeting)
        << "\n";
  // Counts after the words, so that one and many read alike.
  out << Tr("edges checked: %d (tolerance %s m); failing: %d; holes: %d; files without a "
            "neighbour: %d; given twice: %d",
            static_cast<int>(set.edges.size()), Number(set.tolerance).c_str(), set.failedEdges(),
            static_cast<int>(set.holes.size()), static_cast<int>(set.alone.size()),
            static_cast<int>(set.duplicates.size()))
      << "\n";
}

void AddTo(const EdgeSetResult& set, ReportVerdict& verdict) {
  const int n = static_cast<int>(set.edges.size()), failing = set.failedEdges();
  verdict.AddBadge(failing ? "differs" : "ok", Tr("edges: %d, failing: %d", n, failing));
  if (failing) verdict.Fail(Tr("edges failing: %d of %d", failing, n));
  if (const int meeting = set.onlyMeeting())
    verdict.AddBadge("warnings", Tr("edges with no cell compared: %d", meeting));
  if (!set.holes.empty())
    verdict.Fail(Tr("sheets missing inside the set: %d", static_cast<int>(set.holes.size())));
  if (!set.alone.empty())
    verdict.Fail(Tr("files without a neighbour: %d", static_cast<int>(set.alone.size())));
  if (!set.duplicates.empty())
    verdict.Fail(Tr("sheets given more than once: %d", static_cast<int>(set.duplicates.size())));
}

std::string SummaryJson(const EdgeSetResult& set) {
  std::string holes = "[";
  for (const std::string& h : set.holes)
    holes += (holes.size() > 1 ? "," : "") + JsonText::Quote(h);
  std::string duplicates = "[";
  for (const std::vector<std::size_t>& files : set.duplicates)
    duplicates += (duplicates.size() > 1 ? "," : "") + Paths(set, files);
  return "{\"status\":\"" + std::string(set.passed() ? "ok" : "errors") +
         "\",\"checked\":" + std::to_string(set.edges.size()) +
         ",\"failed\":" + std::to_string(set.failedEdges()) +
         ",\"tolerance\":" + JsonText::Number(set.tolerance) + ",\"holes\":" + holes +
         "],\"alone\":" + Paths(set, set.alone) + ",\"duplicates\":" + duplicates + "]}";
}

std::string EdgeJson(const EdgeSetResult& set, const SheetEdge& e) {
  std::string out = "{\"first\":" + JsonText::Quote(set.grids[e.first].path) +
                    ",\"second\":" + JsonText::Quote(set.grids[e.second].path) + ",\"side\":\"" +
                    SideName(e.side) + "\",\"status\":\"" + e.StatusName() + "\"";
  if (!e.why.empty()) out += ",\"why\":" + JsonText::Quote(e.why);
  out += ",\"cells\":" + std::to_string(e.compared) +
         ",\"differing\":" + std::to_string(e.differing) +
         ",\"nodata_against_height\":" + std::to_string(e.noDataAgainstHeight) +
         ",\"largest\":" + (e.largest ? JsonText::Number(*e.largest) : "null") +
         ",\"largest_at\":" + PlaceJson(e.largest ? std::optional(e.largestAt) : std::nullopt) +
         ",\"first_nodata_at\":" + PlaceJson(e.firstNoData) + "}";
  return out;
}

void WriteJson(const std::vector<std::string>& fileObjects, const EdgeSetResult& set,
               std::ostream& out) {
  out << "{\"files\":[";
  for (std::size_t i = 0; i < fileObjects.size(); ++i) out << (i ? ",\n" : "\n") << fileObjects[i];
  out << "\n],\n\"edge_set\":" << SummaryJson(set) << ",\n\"edges\":[";
  for (std::size_t i = 0; i < set.edges.size(); ++i)
    out << (i ? ",\n" : "\n") << EdgeJson(set, set.edges[i]);
  out << "\n]}\n";
}

}  // namespace EdgeReport
