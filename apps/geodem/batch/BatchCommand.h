#pragma once
// `geodem batch`: plans and checks the whole set, then converts the tiles of its shard that are
// not done yet, each by its own `geodem convert` process, -j at once, journalling each as it
// ends. SIGINT, SIGTERM and SIGHUP stop it starting tiles; the running ones are told to stop (they
// remove what they began), are journalled as interrupted, and the batch exits 128 + signal.
// A tile is done when its latest journal record and its files agree (TileStanding); one that
// failed before is converted again only with --retry-failed, one made with other settings only
// with --force; one whose inputs or files changed is converted again. Each conversion is
// journalled as started before it runs, and dies with the batch however the batch dies. Exit status
// 0 when every tile of the shard is done, 1 when any is not, 2 for a plan that cannot work.
#include <csignal>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/batch/BatchOptions.h"
#include "apps/geodem/batch/BatchPlan.h"
#include "apps/geodem/batch/BatchProgress.h"
#include "apps/geodem/batch/TileProcess.h"
#include "apps/geodem/batch/TileSettings.h"

class BatchCommand {
 public:
  BatchCommand(const BatchOptions& options, Console& console, std::ostream& out)
      : options_(options), console_(console), out_(out) {}

  int Run();

 private:
  struct Running {
    const BatchTile* tile;
    TileProcess process;
    std::string log;
    std::string inputs;  // what it is made from, as its started record says
    bool timedOut = false;
    double killAt = 0;  // seconds after start when a tile that ignores SIGTERM is killed
  };

  std::optional<int> Prepare();
  // Sorts the shard's tiles into done, failed before (not retried), outdated and to convert.
  void Triage(const BatchJournal::Contents& journal);
  // warning: the tiles are converted, so their lines are warnings, not errors.
  void NameTiles(const std::vector<std::string>& tiles, bool warning, const char* title);
  int Convert();
  void StartNext();
  void Reap();
  void Finish(Running& r, int waitStatus);
  // The journal's error for a tile that failed: its first error line, and how it ended.
  std::string FailureText(const Running& r, const std::string& why) const;
  void Failed(const BatchTile& tile, const JournalRecord& record);
  void EnforceTimeouts();
  void Stop(int signal);
  std::size_t ShardTiles() const;
  JournalRecord Record(const BatchTile& tile, JournalRecord::Status status,
                       const std::string& inputs = {}) const;
  void Journal(const JournalRecord& record);
  // With --html: the set's page, rewritten as tiles end (last: at the end of the run).
  void WritePage(bool last);

  const BatchOptions& options_;
  Console& console_;
  std::ostream& out_;
  BatchPlan plan_;
  TileSettings settings_;
  std::optional<ShardSpec> shard_;
  std::vector<std::string> program_;  // geodem convert and the options, before SRC DST
  std::string logDir_;
  BatchJournal journal_;
  bool journalFailed_ = false;
  long long run_ = 0;  // this run's number: one more than any in the folder's journals

  std::vector<const BatchTile*> todo_;
  std::size_t next_ = 0;
  std::size_t shardTiles_ = 0, done_ = 0, failed_ = 0;
  std::size_t failedBefore_ = 0;  // failed in an earlier run, not retried now
  std::size_t outdated_ = 0;      // made with other settings, not converted without --force
  std::size_t left_ = 0;          // not tried yet, and not for --retry-failed
  std::map<pid_t, Running> running_;
  std::optional<BatchProgress> progress_;
  int stopSignal_ = 0;
  double pageDue_ = 0;  // when the page may be rewritten next (seconds since the epoch)
};
