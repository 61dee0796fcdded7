#pragma once
// The journal of a batch: JSON lines beside the outputs, one file per shard so that the shards
// of a cluster never write one file, a line appended as each tile ends. A killed
// batch loses only the tiles in flight; a later run and `geodem batch --report` read it back.
//   {"plan":20,"shard":"0/1","tiles":20,"time":...,"run":7,"outputs":"/o/a.dem\n...",
//    "format":"GEODEM",...}                                                 a run begins
//   {"tile":3,"source":"...","output":"...","status":"failed","exit":1,"seconds":0.8,
//    "bytes":0,"cells":0,"error":"error: ...","time":...,"run":7,"format":"GEODEM","zoom":"100",
//    "nodata":"-99999","band":1,"prj":false,"inputs":"..."}               a tile starts or ends
// The settings (format to prj) are those of the run; a record without them (an older journal, or
// a grid file found already there) says nothing of how its grid file was made. "inputs" is what
// the tile was made from (TileInputs), "prj_bytes" the size of its .prj.
// Which record is a tile's latest never depends on clocks, which differ between the nodes of a
// cluster: within a journal the later line wins, across journals the higher run number, each
// run taking one more than the highest it finds in the folder.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/batch/BatchOptions.h"
#include "apps/geodem/batch/TileSettings.h"
#include "host/TargetFileLock.h"

struct JournalRecord {
  // done: converted; skipped: its grid file was there, complete; failed; interrupted: stopped
  // with the batch, to be converted by the next run; started: its conversion began (a record
  // still latest later means the batch died with it).
  enum class Status { kDone, kSkipped, kFailed, kInterrupted, kStarted };

  std::size_t tile = 0;
  std::string origin;  // where the plan names the tile ("SRC 8", "sheets.txt:17"); older: none
  std::string source;
  std::string output;
  Status status = Status::kDone;
  int exitStatus = 0;  // of its geodem convert; -1 when it did not exit (a signal, a timeout)
  double seconds = 0;
  long long bytes = 0;  // of the grid file
  long long cells = 0;  // rows x columns of the grid
  std::string error;    // the first error line of the conversion
  double time = 0;      // when it ended, seconds since the epoch
  long long run = 0;    // of the batch that wrote it; 0 in journals older than run numbers
  long long prjBytes = -1;  // of the .prj, -1 when not recorded
  std::string inputs;       // TileInputs' text; empty when not known
  std::optional<TileSettings> settings;

  static const char* StatusName(Status status);
  std::string Json() const;
  // How the batch's own lines name the tile: its origin, else (older journals) its number from 1.
  std::string Name() const;
  // A record from a journal line; none for a line that is no tile record.
  static std::optional<JournalRecord> FromJson(const std::string& line);
};

struct JournalPlan {
  long long total = 0;  // tiles in the whole plan
  std::string shard;
  long long tiles = 0;  // in this shard
  double time = 0;
  long long run = 0;
  // The grid files of the shard's tiles; none in journals older than this member.
  std::optional<std::vector<std::string>> outputs;
  std::optional<TileSettings> settings;
  // The journal's folder as the run saw it (absolute); empty in older journals. The names under
  // it are taken against the folder the journal is read in, so a moved or copied set is judged
  // by its own files.
  std::string dir;
};

class BatchJournal {
 public:
  BatchJournal() = default;
  ~BatchJournal();
  BatchJournal(const BatchJournal&) = delete;
  BatchJournal& operator=(const BatchJournal&) = delete;

  // The journal of a shard (or of the whole plan) in `dir`.
  static std::string PathIn(const std::string& dir, const std::optional<ShardSpec>& shard);

  // Opens (creating) the journal for appending, for this process alone: two batches that shared
  // a journal would convert each other's tiles. Only a regular file of the running user with one
  // link is a journal: another user's could make this batch append to a file it may not. False
  // with `error` set, which names the process that holds the journal or what stands there.
  // A journal that ends in half a line (a write cut short) has that line ended first, so that
  // the next line stands whole; halfLineEnded() then says so.
  bool Open(const std::string& path, std::string& error);
  bool halfLineEnded() const { return halfLineEnded_; }
  bool Append(const JournalPlan& plan);
  bool Append(const JournalRecord& record);
  // Forces what was appended to disk.
  void Flush();

  // Everything the journals in `dir` hold: the latest record of each grid file, and the latest
  // plan line of each journal. Lines that are not records (a line cut short by a crash) are
  // counted in `unreadable`; journals that are not the running user's own regular files are
  // skipped (never waited on) and named in `skipped`. False when `dir` holds no journal.
  // Paths a journal names under the folder it was written in are read as the same names under
  // `dir`; `moved` says so for each journal written in another folder.
  struct Contents {
    std::map<std::string, JournalRecord> latest;  // by grid file
    std::vector<JournalPlan> plans;
    int unreadable = 0;
    long long lastRun = 0;  // the highest run number found
    std::vector<std::string> skipped;
    std::vector<std::string> moved;
  };
  static bool Read(const std::string& dir, Contents& contents);

 private:
  bool AppendLine(const std::string& line);
  bool EndHalfLine();
  static void ReadJournal(int fd, const std::string& path, const std::string& dir,
                          Contents& contents);

  TargetFileLock lock_;
  int fd_ = -1;
  bool halfLineEnded_ = false;
  bool halfLineLeft_ = false;  // a write was cut short and its half line is not ended yet
};
