#include "apps/geodem/sheets/SheetsCommand.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <stdlib.h>

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/GdalErrorCapture.h"
#include "apps/geodem/JsonText.h"
#include "apps/geodem/batch/BatchCommand.h"
#include "apps/geodem/Translation.h"

namespace {

constexpr int kFailure = 1;
constexpr GIntBig kCacheBytes = 128 << 20;

std::string Corners(const SheetExtent& e, const char* separator) {
  return JsonText::Number(e.west) + separator + JsonText::Number(e.south) + separator +
         JsonText::Number(e.east) + separator + JsonText::Number(e.north);
}

std::string JsonCorners(const SheetExtent& e) {
  return "\"west\":" + JsonText::Number(e.west) + ",\"south\":" + JsonText::Number(e.south) +
         ",\"east\":" + JsonText::Number(e.east) + ",\"north\":" + JsonText::Number(e.north);
}

}  // namespace

int SheetsCommand::Run() {
  switch (options_.action) {
    case SheetsOptions::Action::kNumberOf:
      return NumberOf();
    case SheetsOptions::Action::kExtent:
      return Extent();
    case SheetsOptions::Action::kList:
      return List();
    case SheetsOptions::Action::kReport:
      return BatchCommand(options_.batch, console_, out_).Run();
    case SheetsOptions::Action::kPlan:
    case SheetsOptions::Action::kConvert:
      return Convert();
  }
  return kFailure;
}

int SheetsCommand::NumberOf() {
  std::string error;
  std::optional<SheetNumber> sheet =
      SheetNumber::Containing(options_.longitude, options_.latitude, *options_.scale, error);
  if (!sheet) {
    console_.Error(error);
    return CommandLine::kUsageError;
  }
  out_ << sheet->text() << "\n";
  return 0;
}

int SheetsCommand::Extent() {
  std::string error;
  std::optional<SheetNumber> sheet = SheetNumber::Parse(options_.number, error);
  if (!sheet) {
    console_.Error(error);
    return CommandLine::kUsageError;
  }
  if (options_.json)
    out_ << "{\"number\":" << JsonText::Quote(sheet->text())
         << ",\"scale\":" << sheet->scale().denominator << "," << JsonCorners(sheet->extent())
         << "}\n";
  else
    out_ << Corners(sheet->extent(), " ") << "\n";
  return 0;
}

bool SheetsCommand::Plan(SheetPlan& plan) {
  GDALAllRegister();
  // The look for data reads sheet after sheet once: memory stays flat whatever the sources' size.
  if (!CPLGetConfigOption("GDAL_CACHEMAX", nullptr)) GDALSetCacheMax64(kCacheBytes);
  GdalErrorCapture gdalErrors(console_);
  std::string error;
  std::optional<SheetGrid> grid =
      SheetGrid::Open(options_.batch.sources, options_.batch.convert.band, error);
  if (!grid || !plan.Build(std::move(*grid), *options_.scale, options_.buffer, error)) {
    console_.Error(error);
    return false;
  }
  if (!plan.leftOut().empty()) console_.Warning(plan.leftOut());
  return true;
}

int SheetsCommand::List() {
  SheetPlan plan;
  if (!Plan(plan)) return kFailure;
  std::string json;
  for (const PlannedSheet& s : plan.sheets()) {
    if (!s.holdsData) continue;
    const SheetWindow& w = s.window;
    if (options_.json) {
      json +=
          std::string(json.empty() ? "" : ",") + "{\"number\":" + JsonText::Quote(s.number.text()) +
          "," + JsonCorners(s.number.extent()) + ",\"column\":" + std::to_string(w.column) +
          ",\"row\":" + std::to_string(w.row) + ",\"columns\":" + std::to_string(w.columns) +
          ",\"rows\":" + std::to_string(w.rows) + ",\"cells\":" + JsonText::Number(w.cells()) + "}";
    } else {
      out_ << s.number.text() << "  " << Corners(s.number.extent(), " ") << "  "
           << Tr("window %s %s %s x %s = %s cells", std::to_string(w.column).c_str(),
                 std::to_string(w.row).c_str(), std::to_string(w.columns).c_str(),
                 std::to_string(w.rows).c_str(), JsonText::Number(w.cells()).c_str())
           << "\n";
    }
  }
  if (options_.json)
    out_ << "{\"scale\":" << options_.scale->denominator << ",\"sheets\":[" << json << "]}\n";
  return 0;
}

int SheetsCommand::Convert() {
  SheetPlan plan;
  if (!Plan(plan)) return kFailure;
  std::string error;
  std::optional<std::string> manifest = plan.Write(*options_.batch.outDir, error);
  if (!manifest) {
    console_.Error(error);
    return kFailure;
  }
  console_.Info(Tr("plan: %zu sheet(s) at %s with data, %zu without (not converted): %s",
                   plan.withData(), options_.scale->name().c_str(),
                   plan.sheets().size() - plan.withData(), manifest->c_str()));
  if (plan.withData() == 0) {
    console_.Error(
        Tr("the sources hold no data cell in any sheet at %s", options_.scale->name().c_str()));
    return kFailure;
  }
  if (options_.action == SheetsOptions::Action::kPlan) return 0;
  // Each conversion reads a sheet's window from sources often many sheets wide: GDAL then reads
  // just the window's part of each uncompressed strip, not whole strips into its cache (half the
  // system time of a set from a source eight sheets wide). The user's own setting stands.
  ::setenv("GTIFF_DIRECT_IO", "YES", 0);
  BatchOptions batch = options_.batch;
  batch.sources.clear();
  batch.manifest = *manifest;
  return BatchCommand(batch, console_, out_).Run();
}
