#include "apps/geodem/batch/BatchReport.h"

#include <algorithm>

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/JsonText.h"
#include "apps/geodem/batch/TileStanding.h"

int BatchReport::Print(std::ostream& out, Console& console, bool json,
                       const std::optional<std::string>& html) {
  BatchJournal::Contents contents;
  if (!BatchJournal::Read(dir_, contents)) {
    console.Error("no batch journal in " + dir_);
    return CommandLine::kUsageError;
  }
  Summarise(contents);
  if (unreadable_)
    console.Warning(std::to_string(unreadable_) +
                    " journal line(s) could not be read (cut short by a crash?)");
  if (json)
    PrintJson(out);
  else
    PrintText(out);
  std::string error;
  if (html && !Page(*html, error)) {
    console.Error("the report " + *html + " was not written: " + error);
    return 1;
  }
  return failed_.empty() && outdated_.empty() && pending_ == 0 ? 0 : 1;
}

bool BatchReport::WritePage(const std::string& path, std::string& error) {
  BatchJournal::Contents contents;
  if (!BatchJournal::Read(dir_, contents)) {
    error = "no batch journal in " + dir_;
    return false;
  }
  Summarise(contents);
  return Page(path, error);
}

bool BatchReport::Page(const std::string& path, std::string& error) const {
  return JournalPage::Write(tiles_, total_ - static_cast<long long>(tiles_.size()), path, error);
}

void BatchReport::Summarise(const BatchJournal::Contents& contents) {
  // A grid file made with other settings than the latest run asked for is not that run's result.
  std::optional<TileSettings> wanted;
  double latestPlan = -1;
  for (const JournalPlan& p : contents.plans)
    if (p.time > latestPlan) latestPlan = p.time, wanted = p.settings;
  long long recorded = 0;
  for (const auto& [output, r] : contents.latest) {
    ++recorded;
    seconds_ += r.seconds;
    JournalPage::Tile tile{r, "pending", {}};
    switch (TileStanding::Of(&r, output, wanted)) {
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
        outdated_.push_back({r, wanted->Differences(*r.settings)});
        tile.status = "outdated";
        tile.note = outdated_.back().differences;
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
  for (const JournalPlan& p : contents.plans) total_ = std::max(total_, p.total);
  pending_ = total_ - done_ - static_cast<long long>(failed_.size() + outdated_.size());
  unreadable_ = contents.unreadable;
  auto byTile = [](const JournalRecord& a, const JournalRecord& b) { return a.tile < b.tile; };
  std::sort(failed_.begin(), failed_.end(), byTile);
  std::sort(outdated_.begin(), outdated_.end(),
            [&](const Outdated& a, const Outdated& b) { return byTile(a.record, b.record); });
}

void BatchReport::PrintText(std::ostream& out) const {
  out << "tiles: " << total_ << " (" << done_ << " done, " << failed_.size() << " failed, "
      << outdated_.size() << " outdated, " << pending_ << " pending)\n";
  if (!failed_.empty()) out << "failed:\n";
  for (const JournalRecord& r : failed_)
    out << "  tile " << r.tile << ": " << r.source << " -> " << r.output << " (exit "
        << r.exitStatus << "): " << r.error << "\n";
  if (!outdated_.empty())
    out << "outdated (made with other settings than the latest run's; --force converts them "
           "again):\n";
  for (const Outdated& o : outdated_)
    out << "  tile " << o.record.tile << ": " << o.record.output << ": " << o.differences << "\n";
  out << "cells: " << cells_ << "\nbytes: " << bytes_
      << "\nconversion time: " << JsonText::Number(seconds_) << " s\n";
}

void BatchReport::PrintJson(std::ostream& out) const {
  using JsonText::Quote;
  out << "{\"total\": " << total_ << ", \"done\": " << done_ << ", \"failed\": "
      << failed_.size() << ", \"outdated\": " << outdated_.size() << ", \"pending\": "
      << pending_ << ", \"cells\": " << cells_ << ", \"bytes\": " << bytes_
      << ", \"seconds\": " << JsonText::Number(seconds_) << ", \"failures\": [";
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
  out << "]}\n";
}
