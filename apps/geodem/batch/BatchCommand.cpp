#include "apps/geodem/batch/BatchCommand.h"

#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/batch/BatchReport.h"
#include "apps/geodem/batch/ConversionLog.h"
#include "apps/geodem/batch/ShardSplit.h"
#include "apps/geodem/batch/TileStanding.h"
#include "gridfile/CnsdtfGridReader.h"
#include "gridfile/PrjFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFailure = 1;
// How long a tile told to stop may take before it is killed.
constexpr double kStopGraceSeconds = 10;

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int CoresAvailable() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

// SIGINT, SIGTERM, SIGHUP (the terminal went away) and SIGCHLD are taken with sigtimedwait in
// the batch's loop, never by a handler; blocked while the batch runs, restored after.
class BlockedSignals {
 public:
  BlockedSignals() {
    sigemptyset(&set_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&set_, sig);
    sigprocmask(SIG_BLOCK, &set_, &previous_);
  }
  ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  // The next of them within `seconds`, or 0.
  int Wait(double seconds) const {
    timespec wait{static_cast<time_t>(seconds),
                  static_cast<long>((seconds - static_cast<time_t>(seconds)) * 1e9)};
    int sig = sigtimedwait(&set_, nullptr, &wait);
    return sig > 0 ? sig : 0;
  }

 private:
  sigset_t set_, previous_;
};

// A private folder for the tiles' stderr logs, removed with them. Its name holds the batch's
// process id: a batch that was killed cannot remove its folder, and the next one removes the
// folders of this user's batches that no longer run.
class LogFolder {
 public:
  LogFolder() {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    RemoveLeftovers(temp);
    std::string tmpl =
        (temp / ("geodem-batch-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~LogFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  static void RemoveLeftovers(const fs::path& temp) {
    std::error_code ec;
    const std::string prefix = "geodem-batch-";
    for (const fs::directory_entry& e : fs::directory_iterator(temp, ec)) {
      const std::string name = e.path().filename().string();
      if (name.rfind(prefix, 0) != 0) continue;
      char* end = nullptr;
      const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
      struct stat st {};
      if (pid <= 0 || *end != '-' || ::lstat(e.path().c_str(), &st) != 0 ||
          !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        continue;
      if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
    }
  }

  std::string path_;
};

}  // namespace

int BatchCommand::Run() {
  if (options_.reportDir)
    return BatchReport(*options_.reportDir, options_.edges)
        .Print(out_, console_, options_.json, options_.html);
  if (auto status = Prepare()) return *status;
  return Convert();
}

std::optional<int> BatchCommand::Prepare() {
  if (!plan_.Build(options_)) {
    for (const std::string& problem : plan_.problems()) console_.Error(problem);
    console_.Error(Tr("nothing was converted: the plan has %zu problem(s)",
                      plan_.problems().size()));
    return CommandLine::kUsageError;
  }
  std::string error;
  shard_ = options_.shard;
  if (!shard_) shard_ = ShardSplit::FromSlurm(&std::getenv, error);
  if (!error.empty()) {
    console_.Error(error);
    return CommandLine::kUsageError;
  }
  std::error_code ec;
  fs::create_directories(plan_.journalDir(), ec);
  if (!journal_.Open(BatchJournal::PathIn(plan_.journalDir(), shard_), error)) {
    console_.Error(error);
    return kFailure;
  }
  if (journal_.halfLineEnded())
    console_.Warning(Tr("the journal %s ended in half a line (a write cut short); that line is ignored",
                        BatchJournal::PathIn(plan_.journalDir(), shard_).c_str()));
  settings_ = TileSettings::Of(options_.convert);
  BatchJournal::Contents before;
  BatchJournal::Read(plan_.journalDir(), before);
  for (const std::string& skipped : before.skipped)
    console_.Warning(Tr("%s; it is skipped", skipped.c_str()));
  for (const std::string& moved : before.moved) console_.Warning(moved);
  run_ = before.lastRun + 1;
  shardTiles_ = ShardTiles();
  std::vector<std::string> outputs;
  for (const BatchTile& t : plan_.tiles())
    if (!shard_ || ShardSplit::Takes(*shard_, t.index)) outputs.push_back(t.output);
  journal_.Append(JournalPlan{
      static_cast<long long>(plan_.tiles().size()),
      shard_ ? std::to_string(shard_->index) + "/" + std::to_string(shard_->count) : "0/1",
      static_cast<long long>(shardTiles_), Now(), run_, std::move(outputs), settings_,
      plan_.journalDir()});
  Triage(before);
  // The same program converts each tile: this one, however it was started.
  std::error_code selfError;
  fs::path self = fs::read_symlink("/proc/self/exe", selfError);
  if (selfError) {
    console_.Error(Tr("cannot find the geodem program itself: %s", selfError.message().c_str()));
    return kFailure;
  }
  // A tile's log holds its errors; convert's -q keeps the rest out of it, but convert takes no
  // -q with --verbose, whose status codes belong to the errors.
  program_ = {self.string(), "convert", "--overwrite"};
  if (!options_.convert.verbose) program_.push_back("-q");
  program_.insert(program_.end(), options_.convertArguments.begin(),
                  options_.convertArguments.end());
  program_.push_back("--");
  return std::nullopt;
}

void BatchCommand::Triage(const BatchJournal::Contents& journal) {
  std::vector<std::string> failedBefore, outdated, changed;
  for (const BatchTile& t : plan_.tiles()) {
    if (shard_ && !ShardSplit::Takes(*shard_, t.index)) continue;
    auto it = journal.latest.find(t.output);
    const JournalRecord* latest = it == journal.latest.end() ? nullptr : &it->second;
    std::optional<TileInputs> inputs;
    if (latest && !latest->inputs.empty() && !options_.force)
      inputs = TileInputs::Of(t.source, options_.convert.mappingFile);
    std::string why;
    const TileStanding::Kind standing =
        TileStanding::Of(latest, t.output, settings_, inputs ? &*inputs : nullptr, &why);
    if (options_.force) {
      todo_.push_back(&t);
      continue;
    }
    switch (standing) {
      case TileStanding::kFound:
        Journal(Record(t, JournalRecord::Status::kSkipped));
        [[fallthrough]];
      case TileStanding::kDone:
        ++done_;
        break;
      case TileStanding::kFailed:
        if (options_.retryFailed) {
          todo_.push_back(&t);
        } else {
          ++failedBefore_;
          failedBefore.push_back(t.origin + ": " + t.source + ": " + latest->error);
        }
        break;
      case TileStanding::kOutdated:
        ++outdated_;
        outdated.push_back(t.origin + ": " +
                           Tr("%s was made with %s", t.output.c_str(),
                              settings_.Differences(*latest->settings).c_str()));
        break;
      case TileStanding::kInterrupted:
        todo_.push_back(&t);
        break;
      case TileStanding::kChanged:
        changed.push_back(t.origin + ": " + why);
        [[fallthrough]];
      case TileStanding::kMissing:
        // --retry-failed takes only what failed or was stopped.
        if (options_.retryFailed)
          ++left_;
        else
          todo_.push_back(&t);
        break;
    }
  }
  NameTiles(failedBefore, false,
            N_("%zu tile(s) failed in an earlier run and left alone (--retry-failed "
               "converts them again once their cause is mended):"));
  NameTiles(outdated, false,
            N_("%zu tile(s) made with other settings than this run's and left alone "
               "(--force converts them again):"));
  NameTiles(changed, true,
            options_.retryFailed
                ? N_("%zu tile(s) whose inputs or files changed since they were made, "
                     "left for a run without --retry-failed:")
                : N_("%zu tile(s) whose inputs or files changed since they were made, "
                     "converted again:"));
}

// Names at most a screenful of them under `title` (English, with %zu for their count): the report
// lists them all.
void BatchCommand::NameTiles(const std::vector<std::string>& tiles, bool warning,
                             const char* title) {
  constexpr std::size_t kNamed = 10;
  if (tiles.empty()) return;
  auto say = [&](const std::string& line) {
    warning ? console_.Warning(line) : console_.Error(line);
  };
  say(Tr(title, tiles.size()));
  for (std::size_t i = 0; i < tiles.size() && i < kNamed; ++i) say("  " + tiles[i]);
  if (tiles.size() > kNamed)
    say("  " + Tr("and %zu more: geodem batch --report %s lists them all", tiles.size() - kNamed,
                  plan_.journalDir().c_str()));
}

std::size_t BatchCommand::ShardTiles() const {
  std::size_t n = 0;
  for (const BatchTile& t : plan_.tiles()) n += !shard_ || ShardSplit::Takes(*shard_, t.index);
  return n;
}

JournalRecord BatchCommand::Record(const BatchTile& tile, JournalRecord::Status status,
                                   const std::string& inputs) const {
  JournalRecord r;
  r.tile = tile.index;
  r.origin = tile.origin;
  r.source = tile.source;
  r.output = tile.output;
  r.status = status;
  r.time = Now();
  r.run = run_;
  // A grid file found already there was made by whatever made it, from whatever inputs.
  if (status != JournalRecord::Status::kSkipped) {
    r.settings = settings_;
    r.inputs = inputs;
  }
  // What a failed conversion left is no result of it.
  if (status != JournalRecord::Status::kDone && status != JournalRecord::Status::kSkipped)
    return r;
  // The sizes the files must keep to stay done; the conversion flushed them to disk before it
  // gave them their names.
  r.bytes = std::max(0LL, TileStanding::FileSize(tile.output));
  if (settings_.prj) r.prjBytes = TileStanding::FileSize(PrjFile::PathBeside(tile.output));
  CnsdtfGridReader grid;
  if (r.bytes > 0 && grid.Open(tile.output))
    r.cells = static_cast<long long>(grid.Header().rows) * grid.Header().cols;
  return r;
}

void BatchCommand::Journal(const JournalRecord& record) {
  if (journal_.Append(record) || journalFailed_) return;
  journalFailed_ = true;
  console_.Error(Tr("cannot append to the journal in %s; a later run will convert again what it "
                    "misses",
                    plan_.journalDir().c_str()));
}

int BatchCommand::Convert() {
  BlockedSignals signals;
  LogFolder logs;
  logDir_ = logs.path();
  if (logDir_.empty()) {
    console_.Error(_("cannot make a folder for the conversions' logs in the temporary folder"));
    return kFailure;
  }
  std::size_t jobs = static_cast<std::size_t>(options_.jobs > 0 ? options_.jobs
                                                                 : CoresAvailable());
  progress_.emplace(console_, !options_.quiet, ::isatty(2) == 1, shardTiles_, done_,
                    failedBefore_);
  while (true) {
    while (!stopSignal_ && running_.size() < jobs && next_ < todo_.size()) StartNext();
    if (running_.empty()) break;
    int sig = signals.Wait(0.2);
    if (sig != 0 && sig != SIGCHLD && !stopSignal_) Stop(sig);
    Reap();
    EnforceTimeouts();
  }
  progress_->Finish();
  journal_.Flush();
  WritePage(true);
  if (stopSignal_) {
    const std::size_t unfinished =
        shardTiles_ - done_ - failed_ - failedBefore_ - outdated_ - left_;
    console_.Error(Tr("stopped by signal %d; %zu tile(s) left for the next run", stopSignal_,
                      unfinished));
    return 128 + stopSignal_;
  }
  return done_ == shardTiles_ && !journalFailed_ ? 0 : kFailure;
}

void BatchCommand::StartNext() {
  const BatchTile& tile = *todo_[next_++];
  Running r{&tile, {}, logDir_ + "/" + std::to_string(tile.index) + ".log", {}};
  std::vector<std::string> argv = program_;
  argv.push_back(tile.source);
  argv.push_back(tile.output);
  // Before it runs: should the batch die with it, the tile is no longer done, whatever it was.
  r.inputs = TileInputs::Of(tile.source, options_.convert.mappingFile).Text();
  Journal(Record(tile, JournalRecord::Status::kStarted, r.inputs));
  std::string error;
  if (!r.process.Start(argv, r.log, error)) {
    JournalRecord record = Record(tile, JournalRecord::Status::kFailed);
    record.exitStatus = -1;
    record.error = error;
    Failed(tile, record);
    return;
  }
  running_.emplace(r.process.pid(), std::move(r));
}

void BatchCommand::Reap() {
  int status = 0;
  pid_t pid;
  while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
    auto it = running_.find(pid);
    if (it == running_.end()) continue;
    Finish(it->second, status);
    running_.erase(it);
  }
}

void BatchCommand::Finish(Running& r, int waitStatus) {
  std::string why;
  const int exitStatus = TileProcess::ExitStatus(waitStatus, why);
  using Status = JournalRecord::Status;
  const Status status = exitStatus == 0              ? Status::kDone
                        : stopSignal_ && !r.timedOut ? Status::kInterrupted
                                                     : Status::kFailed;
  JournalRecord record = Record(*r.tile, status, r.inputs);
  record.seconds = r.process.Seconds();
  record.exitStatus = exitStatus;
  if (status == Status::kInterrupted) record.error = _("stopped with the batch");
  if (status == Status::kFailed) {
    record.error = FailureText(r, why);
    return Failed(*r.tile, record);
  }
  Journal(record);
  if (status == Status::kDone) {
    ++done_;
    progress_->TileEnded(false);
  }
  WritePage(false);
}

std::string BatchCommand::FailureText(const Running& r, const std::string& why) const {
  const std::string said = ConversionLog::WhyFailed(r.log);
  std::string text;
  if (r.timedOut)
    text = Tr("timed out after %s", BatchProgress::Duration(options_.timeout).c_str()) +
           (said.empty() ? "" : "; " + said);
  else
    text = !said.empty() ? said : why.empty() ? _("failed without a message") : why;
  if (!why.empty() && text.find(why) == std::string::npos) text += " (" + why + ")";
  return text;
}

void BatchCommand::Failed(const BatchTile& tile, const JournalRecord& record) {
  ++failed_;
  console_.Error(tile.origin + ": " +
                 Tr("%s failed: %s", tile.source.c_str(), record.error.c_str()));
  Journal(record);
  progress_->TileEnded(true);
  WritePage(false);
}

// The page renders every tile's picture again: it is rewritten at most every ten seconds, and
// never sooner than four times as long as the last rewrite took, so that it costs a run at most
// a fifth of its time however large the set.
void BatchCommand::WritePage(bool last) {
  if (!options_.html || (!last && Now() < pageDue_)) return;
  const double start = Now();
  std::string error;
  if (!BatchReport(plan_.journalDir()).WritePage(*options_.html, error))
    console_.Warning(Tr("the page %s was not written: %s", options_.html->c_str(), error.c_str()));
  const double took = Now() - start;
  pageDue_ = Now() + std::max(10.0, 4 * took);
}

void BatchCommand::EnforceTimeouts() {
  for (auto& [pid, r] : running_) {
    double seconds = r.process.Seconds();
    if (options_.timeout > 0 && !r.timedOut && seconds > options_.timeout) {
      r.timedOut = true;
      r.killAt = seconds + kStopGraceSeconds;
      r.process.Signal(SIGTERM);
    } else if (r.killAt > 0 && seconds > r.killAt) {
      r.process.Signal(SIGKILL);
      r.killAt = 0;
    }
  }
}

void BatchCommand::Stop(int signal) {
  stopSignal_ = signal;
  // geodem convert stops cleanly on SIGINT and SIGTERM; SIGHUP would end it where it stands.
  const int passed = signal == SIGINT ? SIGINT : SIGTERM;
  for (auto& [pid, r] : running_) {
    r.process.Signal(passed);
    if (r.killAt == 0) r.killAt = r.process.Seconds() + kStopGraceSeconds;
  }
}
