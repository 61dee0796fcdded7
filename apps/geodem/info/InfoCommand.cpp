#include "apps/geodem/info/InfoCommand.h"

#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "apps/geodem/Translation.h"
#include "apps/geodem/gridcheck/GridSummary.h"
#include "apps/geodem/info/InfoReport.h"
#include "apps/geodem/quicklook/QuickLook.h"
#include "gridfile/CnsdtfGridReader.h"

namespace {
constexpr int kFailure = 1;
}  // namespace

int InfoCommand::Run() {
  CnsdtfGridReader reader;
  if (!reader.Open(options_.path)) {
    console_.Error(options_.path + ": " + reader.Error());
    return kFailure;
  }
  for (const std::string& warning : reader.Header().warnings)
    console_.Warning(options_.path + ": " + warning);
  GridSummary summary(NoDataValue(reader));
  const bool complete = summary.AddAll(reader);
  if (const std::string past = complete ? reader.ValuesPastEnd() : std::string(); !past.empty())
    console_.Warning(options_.path + ": " + past);
  InfoReport report(options_.path, reader.Header(), complete ? &summary : nullptr);
  if (options_.json) {
    if (complete) report.WriteJson(out_);
  } else if (!options_.quiet) {
    report.WriteText(out_);
  }
  out_.flush();
  if (!complete) {
    console_.Error(options_.path + ": " + reader.Error());
    return kFailure;
  }
  return options_.quicklook ? WriteQuickLook(reader.Header(), summary) : 0;
}

// --nodata, else the header's no-data key, else what the writer writes by default; truncated
// toward zero as the writer truncates it.
std::int64_t InfoCommand::NoDataValue(const CnsdtfGridReader& reader) const {
  return GridSummary::NoDataCell(options_.noData
                                     ? std::strtod(options_.noData->c_str(), nullptr)
                                     : reader.Header().NoDataOrDefault());
}

int InfoCommand::WriteQuickLook(const GridHeader& header, const GridSummary& summary) {
  std::optional<double> lowest, highest;
  if (const auto heights = summary.Heights(header.zoom)) std::tie(lowest, highest) = *heights;
  const std::optional<double> noData =
      options_.noData ? std::optional(std::strtod(options_.noData->c_str(), nullptr)) : std::nullopt;
  std::string error;
  if (!QuickLook::DriverReady(error) ||
      !QuickLook(header, lowest, highest, noData).Write(options_.path, *options_.quicklook, error)) {
    console_.Error(Tr("%s: the quick-look was not made: %s", options_.path.c_str(), error.c_str()));
    return kFailure;
  }
  return 0;
}
