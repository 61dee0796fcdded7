#include "apps/geodem/check/CheckArguments.h"

#include <cstdlib>
#include <limits>
#include <set>

#include "apps/geodem/Translation.h"
#include "apps/geodem/UsageLines.h"
#include "apps/geodem/WholeNumberRange.h"
#include "apps/geodem/check/CheckCommand.h"
#include "apps/geodem/convert/ConvertOptionParser.h"
#include "apps/geodem/mapsheet/SheetScale.h"

namespace {

constexpr WholeNumberRange kPositive{1, std::numeric_limits<int>::max()};
constexpr WholeNumberRange kPercent{0, 100};

}  // namespace

CLI::App* CheckArguments::Add(CLI::App& app) {
  command_ = app.add_subcommand(
      "check",
      _("Check CNSDTF-DEM grid files completely: every error (the file is not what its layout "
        "defines) and warning (off the standard's form or suspicious) with its line, or row and "
        "column. Exit status 0 when no file has errors, 1 when any has, 2 for a command line that "
        "cannot work."));
  command_->formatter(
      std::make_shared<UsageLines>(std::vector<std::string>{"[OPTIONS] FILE.dem..."}));
  command_->add_option("FILE", given_.files, _("the grid files"));
  command_->add_flag("--json", given_.json, _("one JSON array on stdout, an object per file"));
  command_->add_flag("-q,--quiet", given_.quiet,
                     _("only the files with findings, and the summary line only when there are "
                       "any; the exit status is the same"));
  command_
      ->add_flag("--verbose", given_.verbose,
                 _("also each file's cells, no-data cells, heights and the seconds its check "
                   "took"))
      ->excludes("--quiet");
  command_->add_option("-j,--jobs", jobs_, _("files checked at once (default: the cores)"))
      ->type_name("N");
  command_
      ->add_option("--nodata", noData_,
                   _("the value that stands for no data (default: the header's no-data key, "
                     "else -99999)"))
      ->type_name("V");
  command_
      ->add_option("--max-nodata", maxNoData_,
                   _("warn when more than PERCENT of the cells (0 to 100) are no data "
                     "(default: only when all are)"))
      ->type_name("PERCENT");
  command_
      ->add_option("--source", given_.check.source,
                   _("the DEM the files were made from (each file its whole grid or a window "
                     "of it, as a map sheet): every cell must be its height times Hzoom, read "
                     "as geodem convert reads it"))
      ->type_name("SRC");
  command_->add_option("--band", band_, _("the band of SRC that holds the heights (default 1)"))
      ->type_name("N");
  command_->add_flag("--sheet", given_.check.sheet,
                     _("each file is named by a national map sheet number (J50E001010.dem): its "
                       "grid must cover the sheet, in its .prj's coordinate system (else degrees "
                       "for unit D); the margin on each side is reported, and an edge is missed "
                       "when the grid falls short of it by more than the header's numbers can "
                       "state (half a unit of their last decimal) and a thousandth of a cell"));
  command_
      ->add_option("--scale", scale_,
                   _("with --sheet: the sheets must be of scale 1:N (1000000 to 5000)"))
      ->type_name("N");
  command_
      ->add_option("--quicklook", given_.quicklookDir,
                   _("write DIR/<file name>.png per file: a hillshade over a colour ramp of "
                     "the heights"))
      ->type_name("DIR");
  command_
      ->add_option("--html", given_.html,
                   _("write one self-contained HTML page: summary, a table that sorts and "
                     "filters, and each file's quick-look"))
      ->type_name("FILE");
  edges_.Add(*command_);
  return command_;
}

std::string CheckArguments::Collect(CheckOptions& o) {
  o = std::move(given_);
  if (o.files.empty()) return _("geodem check needs the FILE.dem to check");
  std::string error;
  if (command_->get_option("--jobs")->count()) {
    const std::optional<long long> jobs = kPositive.Read("--jobs", jobs_, error);
    if (!jobs) return error;
    o.jobs = static_cast<int>(*jobs);
  }
  if (command_->get_option("--band")->count()) {
    if (!o.check.source) return _("--band goes with --source");
    const std::optional<long long> band = kPositive.Read("--band", band_, error);
    if (!band) return error;
    o.check.band = static_cast<int>(*band);
  }
  if (command_->get_option("--max-nodata")->count()) {
    const std::optional<long long> percent = kPercent.Read("--max-nodata", maxNoData_, error);
    if (!percent) return error;
    o.check.maxNoDataPercent = static_cast<int>(*percent);
  }
  if (command_->get_option("--nodata")->count()) {
    if (std::string problem = ConvertOptionParser::CheckNoData("--nodata", noData_);
        !problem.empty())
      return problem;
    o.check.noData = std::strtod(noData_.c_str(), nullptr);
  }
  if (command_->get_option("--scale")->count()) {
    if (!o.check.sheet) return _("--scale goes with --sheet");
    const std::optional<long long> scale = kPositive.Read("--scale", scale_, error);
    if (!scale) return error;
    if (!SheetScale::ofDenominator(static_cast<long>(*scale)))
      return Tr("--scale %s is not a scale of the sheet grid: %s", scale_.c_str(),
                SheetScale::denominatorList().c_str());
    o.check.sheetScale = static_cast<long>(*scale);
  }
  if (std::string problem = edges_.Collect(o.edges, o.check.noData); !problem.empty())
    return problem;
  if (o.quicklookDir) {
    std::set<std::string> pictures;
    for (const std::string& file : o.files) {
      const std::string picture = CheckCommand::QuickLookPath(*o.quicklookDir, file);
      if (!pictures.insert(picture).second)
        return Tr("two files would make the quick-look %s; check them apart", picture.c_str());
    }
  }
  return {};
}
