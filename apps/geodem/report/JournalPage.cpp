#include "apps/geodem/report/JournalPage.h"

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"
#include "apps/geodem/quicklook/QuickLook.h"
#include "apps/geodem/report/HtmlReport.h"
#include "gridfile/CnsdtfGridReader.h"

namespace JournalPage {

namespace {

std::string RowJson(const Tile& t) {
  const JournalRecord& r = t.record;
  std::string row = "{\"file\":" + JsonText::Quote(r.output) +
                    ",\"status\":" + JsonText::Quote(t.status) + ",\"errors\":[";
  if (r.status == JournalRecord::Status::kFailed)
    row += "{\"message\":" + JsonText::Quote(r.source + ": " + r.error) + "}";
  row += "],\"warnings\":[";
  if (!t.note.empty()) row += "{\"message\":" + JsonText::Quote(t.note) + "}";
  row += "]";
  if (r.status != JournalRecord::Status::kFailed) {
    row += ",\"bytes\":" + std::to_string(r.bytes) + ",\"seconds\":" + JsonText::Number(r.seconds);
  }
  std::string notSheet;
  if (const std::optional<SheetPlacement> sheet = SheetCoverage::Named(r.output, notSheet)) {
    const SheetExtent& e = sheet->extent;
    row += ",\"sheet\":{\"number\":" + JsonText::Quote(sheet->number) +
           ",\"west\":" + JsonText::Number(e.west) + ",\"south\":" + JsonText::Number(e.south) +
           ",\"east\":" + JsonText::Number(e.east) + ",\"north\":" + JsonText::Number(e.north) + "}";
  }
  return row + "}";
}

// The grid file's picture; none when it is not there or cannot be read.
std::vector<unsigned char> Picture(const JournalRecord& r) {
  std::vector<unsigned char> png;
  CnsdtfGridReader reader;
  std::string error;
  if (r.status == JournalRecord::Status::kFailed || !reader.Open(r.output)) return png;
  QuickLook(reader.Header(), std::nullopt, std::nullopt, std::nullopt)
      .Render(r.output, HtmlReport::kPictureSide, png, error);
  return png;
}

}  // namespace

bool Write(const std::vector<Tile>& tiles, long long unnamed, const std::string& path,
           std::string& error) {
  if (!QuickLook::DriverReady(error)) return false;
  HtmlReport page("geodem batch");
  for (const Tile& t : tiles) page.Add(RowJson(t), Picture(t.record));
  if (unnamed > 0)
    page.Note(Tr("%lld more tiles of the plan are pending, not yet in a journal", unnamed));
  return page.Write(path, error);
}

}  // namespace JournalPage
