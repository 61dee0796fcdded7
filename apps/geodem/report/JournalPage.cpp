#include "apps/geodem/report/JournalPage.h"

#include "apps/geodem/JsonText.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"
#include "apps/geodem/quicklook/QuickLook.h"
#include "apps/geodem/report/HtmlReport.h"
#include "gridfile/CnsdtfGridReader.h"

namespace JournalPage {

namespace {

const char* Status(const JournalRecord& r) {
  switch (r.status) {
    case JournalRecord::Status::kFailed:
      return "failed";
    case JournalRecord::Status::kInterrupted:
      return "pending";
    default:
      return "done";
  }
}

std::string RowJson(const JournalRecord& r) {
  std::string row = "{\"file\":" + JsonText::Quote(r.output) + ",\"status\":\"" + Status(r) +
                    "\",\"errors\":[";
  if (r.status == JournalRecord::Status::kFailed)
    row += "{\"message\":" + JsonText::Quote(r.source + ": " + r.error) + "}";
  row += "],\"warnings\":[]";
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

bool Write(const std::vector<JournalRecord>& records, long long unnamed, const std::string& path,
           std::string& error) {
  if (!QuickLook::DriverReady(error)) return false;
  HtmlReport page("geodem batch");
  for (const JournalRecord& r : records) page.Add(RowJson(r), Picture(r));
  if (unnamed > 0)
    page.Note(std::to_string(unnamed) + " more tiles of the plan are pending, not yet in a journal");
  return page.Write(path, error);
}

}  // namespace JournalPage
