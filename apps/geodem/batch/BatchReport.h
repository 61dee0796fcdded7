#pragma once
// `geodem batch --report DIR`: the journals in DIR (every shard's) merged into one summary:
// tiles done, failed with the reason, outdated (made with other settings than the latest run
// asked for, or from inputs that changed since), pending; totals of cells, bytes and conversion
// time. A tile stands as its latest record and its files say (TileStanding). Only the tiles of
// the latest plan count (of each of its shards); those of earlier plans are left out, and
// counted. Exit status 0 when every tile of the plan is done, 1 when any is not, 2 when DIR
// holds no journal.
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/edgematch/EdgeMatch.h"
#include "apps/geodem/report/JournalPage.h"

class BatchReport {
 public:
  // edges: also match the edges of the done tiles' grid files as a sheet set (exit status 1 when
  // the set fails).
  explicit BatchReport(std::string dir, std::optional<EdgeMatchOptions> edges = {})
      : dir_(std::move(dir)), edges_(std::move(edges)) {}

  // html: also the page of the tiles, written there.
  int Print(std::ostream& out, Console& console, bool json,
            const std::optional<std::string>& html = std::nullopt);
  // The page alone, as a run rewrites it while its tiles end; false with error saying why.
  bool WritePage(const std::string& path, std::string& error);

 private:
  bool Page(const std::string& path, std::string& error) const;
  // What the report found, as its exit status, its text and its page say it.
  ReportVerdict Verdict() const;
  void Summarise(const BatchJournal::Contents& contents);
  // The grid files of the latest plan; none when its journals do not name them (older ones).
  static std::optional<std::set<std::string>> Planned(const BatchJournal::Contents& contents,
                                                      const JournalPlan& latest);
  void PrintText(std::ostream& out) const;
  void PrintJson(std::ostream& out) const;
  // With edges_: the done tiles' edges matched; none without.
  std::unique_ptr<EdgeMatch> MatchEdges() const;

  std::string dir_;
  std::optional<EdgeMatchOptions> edges_;
  std::unique_ptr<EdgeMatch> matched_;
  long long total_ = 0, done_ = 0, pending_ = 0, cells_ = 0, bytes_ = 0;
  long long leftOut_ = 0;  // recorded tiles of earlier plans, not in the latest
  double seconds_ = 0;
  int unreadable_ = 0;
  std::vector<JournalRecord> failed_;
  struct Outdated {
    JournalRecord record;
    std::string differences;
  };
  std::vector<Outdated> outdated_;
  std::vector<JournalPage::Tile> tiles_;  // every recorded tile, as it stands
};
