#include "apps/geodem/batch/BatchArguments.h"

#include <limits>

#include "apps/geodem/UsageLines.h"
#include "apps/geodem/WholeNumberRange.h"
#include "apps/geodem/batch/ShardSplit.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/StandardOutput.h"

namespace {

constexpr WholeNumberRange kPositive{1, std::numeric_limits<int>::max()};

}  // namespace

CLI::App* BatchArguments::Add(CLI::App& app) {
  command_ = app.add_subcommand(
      "batch",
      _("Convert a set of tiles, each SRC into its own grid file, each by its own geodem convert "
        "process: resumable (a tile whose grid file exists is skipped), journalled beside the "
        "outputs, and split into shards for a cluster. Exit status 0 when every tile is done, 1 "
        "when any failed or the batch was stopped, 2 for a plan that cannot work."));
  command_->formatter(std::make_shared<UsageLines>(std::vector<std::string>{
      "[OPTIONS] --out-dir DIR SRC...", "[OPTIONS] --manifest FILE [--out-dir DIR]",
      "--report DIR [--json] [--html FILE] [--edges [--edge-tolerance METRES]]"}));
  command_->add_option("SRC", given_.sources, _("source rasters, one tile each (with --out-dir)"));
  command_->add_option("--out-dir", given_.outDir,
                       _("folder of the grid files <source name>.dem and of the journal"));
  command_->add_option("--manifest", given_.manifest,
                       _("file of tiles, one a line: SRC or SRC<TAB>DST, # comments, relative "
                         "paths against the manifest's folder"));
  AddRunOptions(*command_);
  command_->add_option("--report", given_.reportDir,
                       _("summarise the journals in this folder instead of converting"));
  command_->add_flag("--json", given_.json, _("the report as one JSON object on stdout"));
  command_
      ->add_option("--html", given_.html,
                   _("one self-contained HTML page of the tiles (status, quick-looks, the "
                     "sheets on an index map): with --report, of the journals as they stand; "
                     "with a run, rewritten as its tiles end"))
      ->type_name("FILE");
  edges_.Add(*command_);
  return command_;
}

void BatchArguments::AddRunOptions(CLI::App& command) {
  run_ = &command;
  convert_.Add(command);
  command.add_option("-j,--jobs", jobs_, _("conversions at once (default: the cores)"))
      ->type_name("N");
  command.add_option("--timeout", timeout_, _("whole seconds a tile may take (default: no limit)"))
      ->type_name("S");
  command.add_flag("--force,--overwrite", given_.force,
                   _("convert tiles whose grid file exists too, replacing it"));
  command.add_flag("--retry-failed", given_.retryFailed,
                   _("convert only the tiles the journal records as failed"));
  command.add_option("--shard", shard_,
                     _("K/N: take every N-th tile from tile K (from 0); under a Slurm job array "
                       "K and N come from SLURM_ARRAY_TASK_ID, _MIN and _COUNT"));
  command.add_flag("-q,--quiet", given_.quiet, _("no progress line"));
}

std::string BatchArguments::Collect(BatchOptions& o) {
  o = std::move(given_);
  if (o.reportDir) {
    if (o.outDir || o.manifest || !o.sources.empty())
      return _("--report summarises journals; it takes no tiles");
    return edges_.Collect(o.edges);
  }
  if (o.json) return _("--json goes with --report");
  if (std::string problem = edges_.Collect(o.edges); !problem.empty() || o.edges)
    return problem.empty() ? _("--edges goes with --report") : problem;
  if (o.manifest && !o.sources.empty()) return _("give tiles either as SRC... or in --manifest");
  if (!o.manifest && (!o.outDir || o.sources.empty()))
    return _("geodem batch needs --out-dir DIR and SRC..., or --manifest FILE");
  return CollectRun(o);
}

std::string BatchArguments::CollectRun(BatchOptions& o) {
  o.force = given_.force;
  o.retryFailed = given_.retryFailed;
  o.quiet = given_.quiet;
  if (o.force && o.retryFailed) return _("--force and --retry-failed exclude each other");
  if (o.outDir && StandardOutput::Named(*o.outDir))
    return _("--out-dir: a grid file per tile cannot go to standard output; name a folder, or "
             "send one tile there with geodem convert SRC -");
  std::string error;
  if (run_->get_option("--jobs")->count()) {
    const std::optional<long long> jobs = kPositive.Read("--jobs", jobs_, error);
    if (!jobs) return error;
    o.jobs = static_cast<int>(*jobs);
  }
  if (run_->get_option("--timeout")->count()) {
    const std::optional<long long> timeout = kPositive.Read("--timeout", timeout_, error);
    if (!timeout) return error;
    o.timeout = static_cast<double>(*timeout);
  }
  if (!shard_.empty()) {
    o.shard = ShardSplit::Parse(shard_, error);
    if (!o.shard) return error;
  }
  // Each tile's conversion may replace what an unfinished run of it left; whether a grid file
  // that exists is converted again is the batch's decision (--force).
  o.convert.overwrite = true;
  if (std::string problem = convert_.Collect(o.convert); !problem.empty()) return problem;
  o.convertArguments = convert_.Arguments();
  return {};
}
