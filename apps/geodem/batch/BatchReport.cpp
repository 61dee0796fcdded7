#include "apps/geodem/batch/BatchReport.h"

#include <algorithm>
#include <cstdio>

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/JsonText.h"
#include "apps/geodem/batch/TileStanding.h"
#include "apps/geodem/edgematch/EdgeReport.h"
#include "apps/geodem/Translation.h"

namespace {

// Seconds as people read them; the JSON keeps every digit.
std::string Tenths(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

int BatchReport::Print(std::ostream& out, Console& console, bool json,
                       const std::optional<std::string>& html) {
  BatchJournal::Contents contents;
  if (!BatchJournal::Read(dir_, contents)) {
    console.Error(Tr("no batch journal in %s", dir_.c_str()));
    return CommandLine::kUsageError;
  }
  Summarise(contents);
  for (const std::string& skipped : contents.skipped)
    console.Warning(Tr("%s; it is skipped", skipped.c_str()));
  for (const std::string& moved : contents.moved) console.Warning(moved);
  if (unreadable_)
    console.Warning(Tr("%s journal line(s) could not be read (cut short by a crash?)",
                       std::to_string(unreadable_).c_str()));
  matched_ = MatchEdges();
  if (json)
    PrintJson(out);
  else
    PrintText(out);
  if (matched_ && !json) EdgeReport::WriteText(matched_->Result(), out);
  std::string error;
  if (html && !Page(*html, error)) {
    console.Error(Tr("the report %s was not written: %s", html->c_str(), error.c_str()));
    return 1;
  }
  return Verdict().ExitStatus();
}

ReportVerdict BatchReport::Verdict() const {
  ReportVerdict verdict;
  const auto failed = static_cast<long long>(failed_.size()),
             outdated = static_cast<long long>(outdated_.size());
  verdict.AddBadge("done", Tr("done: %lld of %lld", done_, total_));
  if (failed) {
    verdict.AddBadge("failed", Tr("failed: %lld", failed));
    verdict.Fail(Tr("tiles failed: %lld of %lld", failed, total_));
  }
  if (outdated) {
    verdict.AddBadge("outdated", Tr("outdated: %lld", outdated));
    verdict.Fail(Tr("tiles outdated: %lld of %lld", outdated, total_));
  }
  if (pending_) {
    verdict.AddBadge("pending", Tr("pending: %lld", pending_));
    verdict.Fail(Tr("tiles pending: %lld of %lld", pending_, total_));
  }
  if (matched_) EdgeReport::AddTo(matched_->Result(), verdict);
  return verdict;
}

std::unique_ptr<EdgeMatch> BatchReport::MatchEdges() const {
  if (!edges_) return nullptr;
  std::vector<std::string> files;
  for (const JournalPage::Tile& t : tiles_)
    if (t.status == "done") files.push_back(t.record.output);
  auto match = std::make_unique<EdgeMatch>(*edges_);
  match->Prepare(files);
  match->ReadAll(0);
  return match;
}

bool BatchReport::WritePage(const std::string& path, std::string& error) {
  BatchJournal::Contents contents;
  if (!BatchJournal::Read(dir_, contents)) {
    error = Tr("no batch journal in %s", dir_.c_str());
    return false;
  }
  Summarise(contents);
  return Page(path, error);
}

bool BatchReport::Page(const std::string& path, std::string& error) const {
  return JournalPage::Write(tiles_, total_ - static_cast<long long>(tiles_.size()), Verdict(),
                            matched_ ? &matched_->Result() : nullptr, path, error);
}

std::optional<std::set<std::string>> BatchReport::Planned(const BatchJournal::Contents& contents,
                                                          const JournalPlan& latest) {
  if (!latest.outputs) return std::nullopt;
  // The shards of the latest plan's split; a journal of another split is an earlier plan's.
  auto split = [](const std::string& shard) { return shard.substr(shard.find('/') + 1); };
  std::set<std::string> outputs;
  for (const JournalPlan& p : contents.plans) {
    if (split(p.shard) != split(latest.shard)) continue;
    // A shard last run by a version whose plans named no tiles: every record counts.
    if (!p.outputs) return std::nullopt;
    outputs.insert(p.outputs->begin(), p.outputs->end());
  }
  return outputs;
}

void BatchReport::Summarise(const BatchJournal::Contents& contents) {
  // The latest plan by run number (older journals have none, and only their clocks).
  const JournalPlan* latest = nullptr;
  for (const JournalPlan& p : contents.plans)
    if (!latest || p.run > latest->run || (p.run == latest->run && p.time > latest->time))
      latest = &p;
  // A grid file made with other settings than the latest run asked for is not that run's result.
  const std::optional<TileSettings> wanted = latest ? latest->settings : std::nullopt;
  const std::optional<std::set<std::string>> planned =
      latest ? Planned(contents, *latest) : std::nullopt;
  long long recorded = 0;
  for (const auto& [output, r] : contents.latest) {
    if (planned && !planned->count(output)) {
      ++leftOut_;
      continue;
    }
    ++recorded;
    seconds_ += r.seconds;
    JournalPage::Tile tile{r, "pending", {}};
    std::optional<TileInputs> inputs;
    if (!r.inputs.empty())
      inputs = TileInputs::Of(r.source, TileInputs::FromText(r.inputs).mapping());
    std::string why;
    switch (TileStanding::Of(&r, output, wanted, inputs ? &*inputs : nullptr, &why)) {
      case TileStanding::kDone:
      case TileStanding::kFound:
        ++done_;
        cells_ += r.cells;
        bytes_ += r.bytes;
        tile.status = "done";
        break;
      case TileStanding::kFailed:
        failed_.push_back(r);
        tile.status = "failed";
        break;
      case TileStanding::kOutdated:
        why = wanted->Differences(*r.settings);
        [[fallthrough]];
      case TileStanding::kChanged:
        outdated_.push_back({r, why});
        tile.status = "outdated";
        tile.note = why;
        break;
      case TileStanding::kInterrupted:
      case TileStanding::kMissing:
        break;  // pending
    }
    tiles_.push_back(std::move(tile));
  }
  // Every shard's plan line names the size of the whole plan; tiles no journal mentions yet
  // are pending.
  total_ = recorded;
  if (planned)
    total_ = std::max(total_, latest->total);
  else
    for (const JournalPlan& p : contents.plans) total_ = std::max(total_, p.total);
  pending_ = total_ - done_ - static_cast<long long>(failed_.size() + outdated_.size());
  unreadable_ = contents.unreadable;
  auto byTile = [](const JournalRecord& a, const JournalRecord& b) { return a.tile < b.tile; };
  std::sort(failed_.begin(), failed_.end(), byTile);
  std::sort(outdated_.begin(), outdated_.end(),
            [&](const Outdated& a, const Outdated& b) { return byTile(a.record, b.record); });
}

void BatchReport::PrintText(std::ostream& out) const {
  auto text = [](auto n) { return std::to_string(n); };
  out << Tr("tiles: %s (%s done, %s failed, %s outdated, %s pending)", text(total_).c_str(),
            text(done_).c_str(), text(failed_.size()).c_str(), text(outdated_.size()).c_str(),
            text(pending_).c_str())
      << "\n";
  if (!failed_.empty()) out << _("failed:") << "\n";
  for (const JournalRecord& r : failed_)
    out << "  "
        << Tr("%s: %s -> %s (exit %s): %s", r.Name().c_str(), r.source.c_str(),
              r.output.c_str(), text(r.exitStatus).c_str(), r.error.c_str())
        << "\n";
  if (!outdated_.empty())
    out << _("outdated (made with other settings than the latest run's: --force converts them "
             "again; or no longer from the same inputs, or changed since: the next run converts "
             "them):")
        << "\n";
  for (const Outdated& o : outdated_)
    out << "  "
        << Tr("%s: %s: %s", o.record.Name().c_str(), o.record.output.c_str(),
              o.differences.c_str())
        << "\n";
  out << Tr("cells: %s", text(cells_).c_str()) << "\n"
      << Tr("bytes: %s", text(bytes_).c_str()) << "\n"
      << Tr("conversion time: %s s", Tenths(seconds_).c_str()) << "\n";
  if (leftOut_)
    out << Tr("%s tile(s) of earlier plans, not in the latest, left out", text(leftOut_).c_str())
        << "\n";
}

void BatchReport::PrintJson(std::ostream& out) const {
  using JsonText::Quote;
  out << "{\"total\": " << total_ << ", \"done\": " << done_ << ", \"failed\": " << failed_.size()
      << ", \"outdated\": " << outdated_.size() << ", \"pending\": " << pending_
      << ", \"cells\": " << cells_ << ", \"bytes\": " << bytes_
      << ", \"seconds\": " << JsonText::Number(seconds_) << ", \"left_out\": " << leftOut_
      << ", \"failures\": [";
  const char* separator = "";
  for (const JournalRecord& r : failed_) {
    out << separator << "{\"tile\": " << r.tile << ", \"source\": " << Quote(r.source)
        << ", \"output\": " << Quote(r.output) << ", \"exit\": " << r.exitStatus
        << ", \"error\": " << Quote(r.error) << "}";
    separator = ", ";
  }
  out << "], \"outdated_tiles\": [";
  separator = "";
  for (const Outdated& o : outdated_) {
    out << separator << "{\"tile\": " << o.record.tile << ", \"output\": "
        << Quote(o.record.output) << ", \"differences\": " << Quote(o.differences) << "}";
    separator = ", ";
  }
  out << "]";
  if (matched_) {
    const EdgeSetResult& set = matched_->Result();
    out << ", \"edge_set\": " << EdgeReport::SummaryJson(set) << ", \"edges\": [";
    for (std::size_t i = 0; i < set.edges.size(); ++i)
      out << (i ? ",\n" : "\n") << EdgeReport::EdgeJson(set, set.edges[i]);
    out << "]";
  }
  out << "}\n";
}
