#include "apps/geodem/sheets/SheetsArguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "apps/geodem/DecimalNumber.h"
#include "apps/geodem/UsageLines.h"
#include "apps/geodem/WholeNumberRange.h"
#include "apps/geodem/Translation.h"

namespace {

constexpr WholeNumberRange kBuffer{0, SheetsArguments::kMaxBuffer};

}  // namespace

CLI::App* SheetsArguments::Add(CLI::App& app) {
  command_ = app.add_subcommand(
      "sheets",
      _("Cut DEMs into the sheets of the national topographic map series (GB/T 13989) and "
        "convert each into DIR/<sheet number>.dem as geodem batch does (resumable, journalled, "
        "sharded); or tell the sheet number of a point, the corners of a sheet, the sheets "
        "sources cover. Cells are cut on the sources' own grid, never resampled; a sheet whose "
        "window holds no data cell is not written."));
  command_->formatter(std::make_shared<UsageLines>(std::vector<std::string>{
      "--scale N --number-of LON,LAT", "--extent NUMBER [--json]",
      "--scale N --list [--json] [--buffer CELLS] SRC...",
      "--scale N [--buffer CELLS] [--plan-only] [OPTIONS] --out-dir DIR SRC...",
      "--report DIR [--json] [--html FILE] [--edges [--edge-tolerance METRES]]"}));
  command_->add_option("SRC", sources_,
                       _("source rasters, one mosaic (as geodem convert takes them)"));
  command_
      ->add_option("--scale", scale_,
                   _("the scale's denominator: 1000000, 500000, 250000, 100000, 50000, "
                     "25000, 10000 or 5000"))
      ->type_name("N");
  command_
      ->add_option("--number-of", point_,
                   _("print the number of the sheet that holds the point LON,LAT (decimal "
                     "degrees); a point on an edge belongs to the sheet north and east of it"))
      ->type_name("LON,LAT");
  command_
      ->add_option("--extent", number_,
                   _("print the corners of the sheet NUMBER in degrees: west south east north"))
      ->type_name("NUMBER");
  command_->add_flag("--list", list_,
                     _("list the sheets the sources cover with some data cell: number, corners, "
                       "the window of source cells (column, row, columns, rows, cells)"));
  command_->add_flag("--json", given_.json, _("--list, --extent or --report as JSON on stdout"));
  command_
      ->add_option("--buffer", buffer_,
                   Tr("widen each sheet's window by this many cells on every side, 0 to %ld "
                      "(default 0)",
                      static_cast<long>(kMaxBuffer)))
      ->type_name("CELLS");
  command_->add_option("--out-dir", outDir_,
                       _("folder of the grid files <sheet number>.dem, of the journal and of the "
                         "plan (sheets-plan/)"));
  command_->add_flag("--plan-only", planOnly_,
                     _("write the plan (a VRT per sheet and a manifest for geodem batch or the "
                       "Slurm array script) and convert nothing"));
  run_.AddRunOptions(*command_);
  command_->add_option("--report", reportDir_,
                       _("summarise the journals in this folder instead of converting"));
  command_
      ->add_option("--html", given_.batch.html,
                   _("one self-contained HTML page of the sheets, as geodem batch writes it: with "
                     "--report, of the journals as they stand; with a conversion, rewritten as its "
                     "sheets end"))
      ->type_name("FILE");
  edges_.Add(*command_);
  return command_;
}

std::string SheetsArguments::Collect(SheetsOptions& o) {
  o = std::move(given_);
  if (!point_.empty() + !number_.empty() + list_ + reportDir_.has_value() > 1)
    return _("give one of --number-of, --extent, --list and --report");
  if (o.batch.html && !reportDir_ && (!point_.empty() || !number_.empty() || list_ || planOnly_))
    return _("--html goes with --report or a conversion");
  if (reportDir_) {
    if (!sources_.empty() || outDir_)
      return _("--report summarises journals; it takes no sources");
    o.action = SheetsOptions::Action::kReport;
    o.batch.reportDir = reportDir_;
    o.batch.json = o.json;
    return edges_.Collect(o.batch.edges);
  }
  if (std::string problem = edges_.Collect(o.batch.edges); !problem.empty() || o.batch.edges)
    return problem.empty() ? _("--edges goes with --report") : problem;
  if (!number_.empty()) {
    o.action = SheetsOptions::Action::kExtent;
    o.number = number_;
    return command_->get_option("--scale")->count() ? _("--extent takes the scale from the number")
                                                    : "";
  }
  if (std::string problem = CollectScale(o); !problem.empty()) return problem;
  if (!point_.empty()) {
    o.action = SheetsOptions::Action::kNumberOf;
    return ReadPoint(point_, o);
  }
  if (o.json && !list_) return _("--json goes with --list, --extent or --report");
  if (sources_.empty()) return _("geodem sheets needs the SRC... to cut");
  if (command_->get_option("--buffer")->count()) {
    std::string error;
    std::optional<long long> buffer = kBuffer.Read("--buffer", buffer_, error);
    if (!buffer) return error;
    o.buffer = static_cast<long>(*buffer);
  }
  o.batch.sources = sources_;
  if (list_) {
    o.action = SheetsOptions::Action::kList;
    return outDir_ ? _("--list writes nothing; it takes no --out-dir") : "";
  }
  if (!outDir_) return _("geodem sheets needs --out-dir DIR for the grid files (or --list)");
  o.batch.outDir = outDir_;
  o.action = planOnly_ ? SheetsOptions::Action::kPlan : SheetsOptions::Action::kConvert;
  if (std::string problem = run_.CollectRun(o.batch); !problem.empty()) return problem;
  // The plan is a manifest, which holds tiles and no options: the batch that converts it takes
  // them. Accepted here, they would be lost without a word.
  if (planOnly_ && !o.batch.convertArguments.empty())
    return Tr(
        "--plan-only writes the plan and converts nothing, so it takes no %s: give it to "
        "the geodem batch (or the Slurm array script) that converts the plan",
        o.batch.convertArguments.front().c_str());
  return {};
}

std::string SheetsArguments::CollectScale(SheetsOptions& o) const {
  if (scale_.empty())
    return Tr("geodem sheets needs --scale N (%s)", SheetScale::denominatorList().c_str());
  std::string error;
  std::optional<long long> denominator =
      WholeNumberRange(1, 1000000).Read("--scale", scale_, error);
  if (denominator) o.scale = SheetScale::ofDenominator(static_cast<long>(*denominator));
  if (!o.scale)
    return Tr("--scale %s is not a scale of the sheet grid; the scales are %s (1:2000 and larger "
              "are not supported)",
              scale_.c_str(), SheetScale::denominatorList().c_str());
  return {};
}

std::string SheetsArguments::ReadPoint(const std::string& text, SheetsOptions& o) {
  const std::size_t comma = text.find(',');
  std::optional<double> lon, lat;
  if (comma != std::string::npos) {
    lon = DecimalNumber::Parse(text.substr(0, comma));
    lat = DecimalNumber::Parse(text.substr(comma + 1));
  }
  if (!lon || !lat)
    return Tr("--number-of %s: give the point as LON,LAT in decimal degrees, e.g. 116.4,39.9",
              text.c_str());
  o.longitude = *lon;
  o.latitude = *lat;
  return {};
}
