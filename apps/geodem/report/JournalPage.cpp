#include "apps/geodem/report/JournalPage.h"

#include "apps/geodem/JsonText.h"
#include "apps/geodem/edgematch/EdgeReport.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/gridcheck/GridSummary.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"
#include "apps/geodem/quicklook/QuickLook.h"
#include "apps/geodem/report/HtmlReport.h"
#include "gridfile/CnsdtfGridReader.h"

namespace JournalPage {

namespace {

// What the page shows of a tile's grid file: the range of its heights and its share of no-data
// cells (for a done tile: the grid read once), and its picture.
struct GridLook {
  std::optional<std::pair<double, double>> heights;
  std::optional<double> noDataShare;
  std::vector<unsigned char> png;
};

std::string OptionalNumber(const std::optional<double>& value) {
  return value ? JsonText::Number(*value) : "null";
}

std::string RowJson(const Tile& t, const GridLook& look) {
  const JournalRecord& r = t.record;
  std::string row = "{\"file\":" + JsonText::Quote(r.output) +
                    ",\"status\":" + JsonText::Quote(t.status) + ",\"errors\":[";
  // The conversion's error names its source as a rule; else the page does.
  if (r.status == JournalRecord::Status::kFailed)
    row += "{\"message\":" +
           JsonText::Quote(r.error.find(r.source) == std::string::npos ? r.source + ": " + r.error
                                                                       : r.error) +
           "}";
  row += "],\"warnings\":[";
  if (!t.note.empty()) row += "{\"message\":" + JsonText::Quote(t.note) + "}";
  row += "]";
  if (r.status != JournalRecord::Status::kFailed) {
    row += ",\"bytes\":" + std::to_string(r.bytes) + ",\"seconds\":" + JsonText::Number(r.seconds);
  }
  if (look.noDataShare)
    row += ",\"min_m\":" +
           OptionalNumber(look.heights ? std::optional(look.heights->first) : std::nullopt) +
           ",\"max_m\":" +
           OptionalNumber(look.heights ? std::optional(look.heights->second) : std::nullopt) +
           ",\"nodata_share\":" + JsonText::Number(*look.noDataShare);
  std::string notSheet;
  if (const std::optional<SheetPlacement> sheet = SheetCoverage::Named(r.output, notSheet)) {
    const SheetExtent& e = sheet->extent;
    row += ",\"sheet\":{\"number\":" + JsonText::Quote(sheet->number) +
           ",\"west\":" + JsonText::Number(e.west) + ",\"south\":" + JsonText::Number(e.south) +
           ",\"east\":" + JsonText::Number(e.east) + ",\"north\":" + JsonText::Number(e.north) + "}";
  }
  return row + "}";
}

// The grid file's look; nothing when it is not there or cannot be read.
GridLook Look(const Tile& t) {
  GridLook look;
  const JournalRecord& r = t.record;
  CnsdtfGridReader reader;
  std::string error;
  if (r.status == JournalRecord::Status::kFailed || !reader.Open(r.output)) return look;
  const GridHeader& header = reader.Header();
  GridSummary summary(GridSummary::NoDataCell(header.NoDataOrDefault()));
  const long long cells = static_cast<long long>(header.rows) * header.cols;
  if (t.status == "done" && cells > 0 && summary.AddAll(reader)) {
    look.heights = summary.Heights(header.zoom);
    look.noDataShare = static_cast<double>(summary.noDataCells()) / static_cast<double>(cells);
  }
  QuickLook(header, look.heights ? std::optional(look.heights->first) : std::nullopt,
            look.heights ? std::optional(look.heights->second) : std::nullopt, std::nullopt)
      .Render(r.output, HtmlReport::kPictureSide, QuickLook::Fit::kExactly, look.png, error);
  return look;
}

}  // namespace

bool Write(const std::vector<Tile>& tiles, long long unnamed, const ReportVerdict& verdict,
           const EdgeSetResult* edges, const std::string& path, std::string& error) {
  if (!QuickLook::DriverReady(error)) return false;
  HtmlReport page("geodem batch");
  page.CountAs(HtmlReport::Count::kTiles);
  page.SetVerdict(verdict);
  if (edges)
    for (const SheetEdge& e : edges->edges) page.AddEdge(EdgeReport::EdgeJson(*edges, e));
  for (const Tile& t : tiles) {
    GridLook look = Look(t);
    page.Add(RowJson(t, look), look.png);
  }
  if (unnamed > 0)
    page.Note(Tr("%lld more tiles of the plan are pending, not yet in a journal", unnamed));
  return page.Write(path, error);
}

}  // namespace JournalPage
