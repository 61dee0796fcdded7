// geodem batch end to end: a set of 20 small tiles converted two at a time by the built program,
// each grid file compared with what a single geodem convert writes for its tile.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "TestRasters.h"
#include "gridfile/CnsdtfGridReader.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTiles = 20;

std::string TileName(int i) { return "t" + std::to_string(100 + i); }

// The journal's tile records of one status.
std::vector<std::string> JournalLines(const std::string& journal, const std::string& status) {
  std::vector<std::string> lines;
  std::istringstream in(TempDir::ReadFile(journal));
  for (std::string line; std::getline(in, line);)
    if (line.find("\"status\":\"" + status + "\"") != std::string::npos) lines.push_back(line);
  return lines;
}

// A child process the test may signal while it runs.
class RunningProcess {
 public:
  explicit RunningProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (log_ / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  bool Running() {
    if (pid_ < 0 || status_ != kRunning) return false;
    int w = 0;
    if (waitpid(pid_, &w, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    return false;
  }
  int Wait() {
    while (Running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return status_;
  }
  void Signal(int sig) const { ::kill(pid_, sig); }
  pid_t pid() const { return pid_; }
  std::string Err() const { return TempDir::ReadFile(log_ / "err"); }

 private:
  static constexpr int kRunning = -2;
  TempDir log_;
  pid_t pid_ = -1;
  int status_ = kRunning;
};

class BatchEndToEnd : public GeodemEndToEnd {
 protected:
  // kTiles GeoTIFF tiles side by side, each with cells of its own; `corrupt` is not a raster.
  void WriteTiles(int corrupt = -1) {
    fs::create_directories(dir_ / "tiles");
    std::string manifest;
    for (int i = 0; i < kTiles; ++i) {
      if (i == corrupt)
        TempDir::WriteFile(TilePath(i), "II*\0this is no raster");
      else
        WriteTile(i);
      // Relative to the manifest's folder, half with an explicit grid file.
      manifest += "tiles/" + TileName(i) + ".tif";
      if (i % 2) manifest += "\tout/" + TileName(i) + ".dem";
      manifest += "\n";
    }
    TempDir::WriteFile(dir_ / "set.txt", "# the test set\n" + manifest);
  }

  std::string TilePath(int i) { return dir_ / ("tiles/" + TileName(i) + ".tif"); }

  // Tile i, its heights raised by `lift` metres.
  void WriteTile(int i, double lift = 0) {
    TestRaster r;
    r.width = 120;
    r.height = 90;
    r.epsg = 32650;
    r.geoTransform = {500000.0 + 3600 * i, 30, 0, 4000000, 0, -30};
    r.cell = [i, lift](int, int x, int y) { return lift + i * 10.5 + x * 1.25 - y * 0.5; };
    EXPECT_TRUE(r.WriteGTiff(TilePath(i)));
  }

  // What a single geodem convert writes for tile i, with the batch's options.
  std::string SingleConvert(int i, const std::vector<std::string>& options) {
    fs::create_directories(dir_ / "single");
    std::string output = dir_ / ("single/" + TileName(i) + ".dem");
    std::vector<std::string> args = options;
    args.push_back(dir_ / ("tiles/" + TileName(i) + ".tif"));
    args.push_back(output);
    ProcessResult r = Convert(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return TempDir::ReadFile(output);
  }

  std::vector<std::string> BatchArgs(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {GeodemProcess::Binary(), "batch",   "-j", "2",
                                     "--manifest",            dir_ / "set.txt", "--out-dir",
                                     dir_ / "out"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  std::string Journal() { return dir_ / "out/geodem-batch.jsonl"; }
};

TEST_F(BatchEndToEnd, ConvertsEveryGoodTileAsConvertWouldAndReportsTheBadOne) {
  constexpr int kCorrupt = 7;
  WriteTiles(kCorrupt);
  const std::vector<std::string> options = {"--format-version", "GRD_2007", "--zoom", "10",
                                            "--prj"};
  ProcessResult r = GeodemProcess::Run(BatchArgs(options));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(TileName(kCorrupt) + ".tif failed"), std::string::npos) << r.err;

  for (int i = 0; i < kTiles; ++i) {
    std::string output = dir_ / ("out/" + TileName(i) + ".dem");
    if (i == kCorrupt) {
      EXPECT_FALSE(fs::exists(output));
      continue;
    }
    EXPECT_EQ(TempDir::ReadFile(output), SingleConvert(i, options)) << output;
    EXPECT_TRUE(fs::exists(dir_ / ("out/" + TileName(i) + ".prj"))) << i;
  }
  EXPECT_EQ(JournalLines(Journal(), "done").size(), kTiles - 1u);
  std::vector<std::string> failed = JournalLines(Journal(), "failed");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find(TileName(kCorrupt) + ".tif"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("\"exit\":1"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("\"error\":\"error: "), std::string::npos) << failed[0];

  ProcessResult report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out"});
  EXPECT_EQ(report.status, 1);
  EXPECT_NE(report.out.find("tiles: 20 (19 done, 1 failed, 0 outdated, 0 pending)"),
            std::string::npos)
      << report.out;
  // Named as the run named it: by its manifest line.
  const std::string named = dir_ / "set.txt:" + std::to_string(kCorrupt + 2) + ": ";
  EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
  EXPECT_NE(report.out.find(named + dir_ / ("tiles/" + TileName(kCorrupt) + ".tif")),
            std::string::npos)
      << report.out;
  EXPECT_NE(report.out.find("cells: " + std::to_string(19 * 120 * 90)), std::string::npos)
      << report.out;
  report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out", "--json"});
  EXPECT_NE(report.out.find("\"done\": 19, \"failed\": 1, \"outdated\": 0, \"pending\": 0"),
            std::string::npos)
      << report.out;

  // Run again: the done tiles are kept, the failed one is left until asked for; once the tile
  // is mended, --retry-failed converts it alone.
  r = GeodemProcess::Run(BatchArgs(options));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("--retry-failed"), std::string::npos) << r.err;
  fs::copy_file(dir_ / ("tiles/" + TileName(0) + ".tif"),
                dir_ / ("tiles/" + TileName(kCorrupt) + ".tif"),
                fs::copy_options::overwrite_existing);
  r = GeodemProcess::Run(BatchArgs(options));
  r = GeodemProcess::Run(BatchArgs([&] {
    auto o = options;
    o.push_back("--retry-failed");
    return o;
  }()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JournalLines(Journal(), "done").size(), static_cast<std::size_t>(kTiles));
  EXPECT_EQ(GeodemProcess::Geodem({"batch", "--report", dir_ / "out"}).status, 0);
}

// A tile converted once, then failing when converted again, is failed, whatever grid file the
// first conversion left, until it is converted again; a grid file made with another zoom is no
// result of a run with this one.
TEST_F(BatchEndToEnd, ATileIsDoneOnlyWhenItsLatestRecordAndItsFilesAgree) {
  WriteTiles();
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"batch", "-q", "--out-dir", dir_ / "out", TilePath(0),
                                     TilePath(1), TilePath(2)};
    args.insert(args.end(), extra.begin(), extra.end());
    return GeodemProcess::Geodem(args);
  };
  auto report = [&] { return GeodemProcess::Geodem({"batch", "--report", dir_ / "out"}); };
  ASSERT_EQ(run({}).status, 0);
  const std::string first = TempDir::ReadFile(dir_ / "out/t101.dem");

  // Heights that no zoom of 100 fits in 32 bits: the conversion fails, the earlier file stays.
  WriteTile(1, 3e7);
  ProcessResult r = run({"--force"});
  ASSERT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out/t101.dem"), first);

  r = run({});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("1 tile(s) failed in an earlier run"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("SRC 2: " + TilePath(1)), std::string::npos) << r.err;
  EXPECT_NE(report().out.find("(2 done, 1 failed, 0 outdated, 0 pending)"), std::string::npos)
      << report().out;

  WriteTile(1);
  r = run({"--retry-failed"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JournalLines(Journal(), "done").size(), 6u);
  EXPECT_EQ(report().status, 0) << report().out;

  r = run({"--zoom", "10"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("3 tile(s) made with other settings"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("t101.dem was made with --zoom 100 (now 10)"), std::string::npos) << r.err;
  const std::string text = report().out;
  EXPECT_NE(text.find("(0 done, 0 failed, 3 outdated, 0 pending)"), std::string::npos) << text;
  EXPECT_NE(text.find("t102.dem: --zoom 100 (now 10)"), std::string::npos) << text;
  // The page of the set says the same.
  ASSERT_EQ(GeodemProcess::Geodem({"batch", "--report", dir_ / "out", "--html", dir_ / "set.html"})
                .status,
            1);
  const std::string page = TempDir::ReadFile(dir_ / "set.html");
  for (const char* status : {"done", "failed", "pending"})
    EXPECT_EQ(page.find(std::string("\"status\":\"") + status + "\""), std::string::npos) << status;
  EXPECT_NE(page.find("\"status\":\"outdated\""), std::string::npos);
}

// Every conversion option works in a batch, -q and --verbose too; a manifest saved on Windows
// (a byte order mark, CR LF) is read as any other.
TEST_F(BatchEndToEnd, ConvertsWithQuietOrVerboseFromAWindowsManifest) {
  WriteTiles();
  TempDir::WriteFile(dir_ / "set.txt",
                     "\xEF\xBB\xBFtiles/t100.tif\r\n# two tiles\r\ntiles/t101.tif\tout/b.dem\r\n");
  for (const char* option : {"-q", "--verbose"}) {
    ProcessResult r = GeodemProcess::Run(BatchArgs({"--force", option}));
    EXPECT_EQ(r.status, 0) << option << "\n" << r.err;
  }
  EXPECT_EQ(JournalLines(Journal(), "done").size(), 4u);
  EXPECT_TRUE(fs::exists(dir_ / "out/b.dem"));
}

// One batch per journal: of two started together on one, one converts the set and the other is
// refused at once; two shards of one set run side by side and complete it.
TEST_F(BatchEndToEnd, OneBatchPerJournalAndShardsSideBySide) {
  WriteTiles();
  {
    RunningProcess a(BatchArgs({"-q"})), b(BatchArgs({"-q"}));
    const int statusA = a.Wait(), statusB = b.Wait();
    const std::string refused = statusA == 0 ? b.Err() : a.Err();
    EXPECT_EQ(std::min(statusA, statusB), 0) << a.Err() << b.Err();
    EXPECT_EQ(std::max(statusA, statusB), 1) << a.Err() << b.Err();
    EXPECT_NE(refused.find("is in use by another geodem batch (process "), std::string::npos)
        << refused;
    EXPECT_EQ(JournalLines(Journal(), "done").size(), static_cast<std::size_t>(kTiles));
  }
  fs::remove_all(dir_ / "out");
  RunningProcess a(BatchArgs({"-q", "--shard", "0/2"})), b(BatchArgs({"-q", "--shard", "1/2"}));
  EXPECT_EQ(a.Wait(), 0) << a.Err();
  EXPECT_EQ(b.Wait(), 0) << b.Err();
  ProcessResult report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out"});
  EXPECT_EQ(report.status, 0) << report.out;
  EXPECT_NE(report.out.find("tiles: 20 (20 done"), std::string::npos) << report.out;
}

TEST_F(BatchEndToEnd, StoppedMidwayThenRunAgainConvertsOnlyTheRest) {
  WriteTiles();
  RunningProcess batch(BatchArgs({"-q"}));
  // Watch the outputs while the batch runs: every grid file under its final name must read
  // back whole the moment it is seen.
  std::set<std::string> checked;
  std::vector<std::string> incomplete;
  auto checkOutputs = [&] {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir_ / "out", ec)) {
      std::string path = e.path().string();
      if (e.path().extension() != ".dem" || checked.count(path)) continue;
      CnsdtfGridReader grid;
      std::vector<std::int32_t> row;
      bool whole = grid.Open(path);
      row.resize(whole ? static_cast<std::size_t>(grid.Header().cols) : 0);
      for (int y = 0; whole && y < grid.Header().rows; ++y) whole = grid.ReadRow(y, row.data());
      if (whole && grid.Header().rows == 90)
        checked.insert(path);
      else
        incomplete.push_back(path + ": " + grid.Error());
    }
  };
  bool signalled = false;
  while (batch.Running()) {
    checkOutputs();
    if (!signalled && JournalLines(Journal(), "done").size() >= 5) {
      batch.Signal(SIGTERM);
      signalled = true;
    }
  }
  ASSERT_TRUE(signalled) << "the batch ended before it could be stopped\n" << batch.Err();
  EXPECT_EQ(batch.Wait(), 128 + SIGTERM) << batch.Err();
  checkOutputs();
  EXPECT_TRUE(incomplete.empty()) << incomplete.front();

  const std::size_t doneFirst = JournalLines(Journal(), "done").size();
  ASSERT_LT(doneFirst, static_cast<std::size_t>(kTiles)) << "nothing was left to resume";

  // The second run converts exactly the tiles the first did not finish, those stopped with it
  // too, even one whose grid file was committed just as the signal came.
  ProcessResult r = GeodemProcess::Run(BatchArgs({}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JournalLines(Journal(), "done").size(), static_cast<std::size_t>(kTiles));
  EXPECT_TRUE(JournalLines(Journal(), "skipped").empty());
  for (int i = 0; i < kTiles; ++i)
    EXPECT_EQ(TempDir::ReadFile(dir_ / ("out/" + TileName(i) + ".dem")), SingleConvert(i, {}))
        << i;
  for (const auto& e : fs::directory_iterator(dir_ / "out"))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

// The geodem convert that `parent` started for `source`, once it runs (before its exec, the child
// is a copy of the batch), or 0.
pid_t ConvertOf(pid_t parent, const std::string& source) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::istringstream stat(TempDir::ReadFile(e.path() / "stat"));
    std::string pid, command, state;
    long ppid = 0;
    stat >> pid >> command >> state >> ppid;
    const std::string cmdline = TempDir::ReadFile(e.path() / "cmdline");
    if (ppid == parent && cmdline.find(std::string("\0convert\0", 9)) != std::string::npos &&
        cmdline.find(source) != std::string::npos)
      return static_cast<pid_t>(std::stol(name));
  }
  return 0;
}

// A tile whose conversion hangs (its source a FIFO nobody writes: opening it blocks) and cannot
// even be ended by SIGTERM (it is stopped) is killed after --timeout and its grace, and fails;
// the other tile is done.
TEST_F(BatchEndToEnd, AHangingTileThatIgnoresSigtermIsKilledAtItsTimeout) {
  WriteTiles();
  const std::string hang = dir_ / "tiles/hang.tif";
  ASSERT_EQ(::mkfifo(hang.c_str(), 0644), 0);
  // Time enough to find the conversion on a busy machine before its timeout.
  RunningProcess batch({GeodemProcess::Binary(), "batch", "-q", "-j", "2", "--timeout", "2",
                        "--out-dir", dir_ / "out", hang, TilePath(0)});
  pid_t tile = 0;
  while (!tile && batch.Running()) tile = ConvertOf(batch.pid(), hang);
  ASSERT_GT(tile, 0) << batch.Err();
  ::kill(tile, SIGSTOP);
  EXPECT_EQ(batch.Wait(), 1) << batch.Err();
  EXPECT_TRUE(fs::exists(dir_ / "out/t100.dem")) << batch.Err();
  std::vector<std::string> failed = JournalLines(Journal(), "failed");
  ASSERT_EQ(failed.size(), 1u) << TempDir::ReadFile(Journal());
  EXPECT_NE(failed[0].find("hang.tif"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("timed out after 0:02"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("killed by signal 9"), std::string::npos) << failed[0];
}

// A run's page is there, with the tiles that ended, while a later tile still converts.
TEST_F(BatchEndToEnd, ThePageOfARunIsRewrittenAsTilesEnd) {
  WriteTiles();
  const std::string hang = dir_ / "tiles/hang.tif", page = dir_ / "set.html";
  ASSERT_EQ(::mkfifo(hang.c_str(), 0644), 0);
  RunningProcess batch({GeodemProcess::Binary(), "batch", "-q", "-j", "1", "--timeout", "30",
                        "--html", page, "--out-dir", dir_ / "out", TilePath(0), hang});
  while (!fs::exists(page) && batch.Running()) ::usleep(20000);
  const std::string during = TempDir::ReadFile(page);
  EXPECT_TRUE(batch.Running()) << "the page came only at the end";
  // The hanging tile reads an empty source, as often as it opens it, and fails: the batch ends.
  while (batch.Running())
    if (int fd = ::open(hang.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
  EXPECT_EQ(batch.Wait(), 1);
  EXPECT_NE(during.find("t100.dem\",\"status\":\"done\""), std::string::npos) << during;
  EXPECT_EQ(during.find("hang.dem"), std::string::npos) << during;
}

TEST_F(BatchEndToEnd, AnInvalidPlanConvertsNothing) {
  WriteTiles();
  TempDir::WriteFile(dir_ / "set.txt", TempDir::ReadFile(dir_ / "set.txt") +
                                           "tiles/T100.tif\tout/T100.DEM\nbroken\tline\there\n");
  ProcessResult r = GeodemProcess::Run(BatchArgs({}));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("set.txt:22: the grid file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("set.txt:23: more than one tab"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

// Tiles 0.. n-1 given as SRC..., with `extra` options, quiet.
ProcessResult RunTiles(const std::vector<std::string>& tiles, const std::string& out,
                       const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"batch", "-q", "--out-dir", out};
  args.insert(args.end(), extra.begin(), extra.end());
  args.insert(args.end(), tiles.begin(), tiles.end());
  return GeodemProcess::Geodem(args);
}

// A killed batch cannot remove its log folder: the next batch removes those of this user's
// batches that no longer run, and keeps those of batches still running.
TEST_F(BatchEndToEnd, LogFoldersOfKilledBatchesAreRemoved) {
  WriteTiles();
  const std::string temp = dir_ / "tmp";
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = temp + "/geodem-batch-" + std::to_string(gone) + "-abcdef",
                    alive = temp + "/geodem-batch-" + std::to_string(::getpid()) + "-abcdef";
  fs::create_directories(dead);
  fs::create_directories(alive);
  TempDir::WriteFile(dead + "/tile-0.log", "error: killed\n");
  ProcessResult r = GeodemProcess::Run({"env", "TMPDIR=" + temp, GeodemProcess::Binary(), "batch",
                                        "-q", "--out-dir", dir_ / "out", TilePath(0)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(alive));
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
}

int ZoomOf(const std::string& grid) {
  CnsdtfGridReader reader;
  return reader.Open(grid) ? reader.Header().zoom : -1;
}

// A done tile is the one this run asks for only while its source and its files are what its
// record says: a changed source, an emptied or a cut grid file make it outdated, named with
// the change, and the next run converts it again without --force.
TEST_F(BatchEndToEnd, ATileWhoseSourceOrGridChangedIsConvertedAgain) {
  WriteTiles();
  const std::vector<std::string> tiles = {TilePath(0), TilePath(1)};
  const std::string grid = dir_ / "out/t101.dem";
  struct Case {
    const char* what;
    std::function<void()> change;
    std::string named;
  };
  const std::vector<Case> cases = {
      {"source rewritten", [&] { WriteTile(1, 5); }, "source " + TilePath(1) + " changed ("},
      {"grid emptied", [&] { fs::resize_file(grid, 0); }, grid + " holds 0 bytes, not the "},
      {"grid cut short", [&] { fs::resize_file(grid, 1000); }, grid + " holds 1000 bytes"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "out");
    WriteTile(1);
    ASSERT_EQ(RunTiles(tiles, dir_ / "out", {}).status, 0) << c.what;
    // A source rewritten within the file system's time granularity keeps its time.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    c.change();
    ProcessResult report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out"});
    EXPECT_EQ(report.status, 1) << c.what;
    EXPECT_NE(report.out.find("(1 done, 0 failed, 1 outdated, 0 pending)"), std::string::npos)
        << c.what << "\n"
        << report.out;
    EXPECT_NE(report.out.find(c.named), std::string::npos) << c.what << "\n" << report.out;
    ProcessResult r = RunTiles(tiles, dir_ / "out", {});
    EXPECT_EQ(r.status, 0) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find("SRC 2: " + c.named), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_EQ(TempDir::ReadFile(grid), SingleConvert(1, {"--overwrite"})) << c.what;
    EXPECT_EQ(GeodemProcess::Geodem({"batch", "--report", dir_ / "out"}).status, 0) << c.what;
  }
}

// kill -9 of the batch alone ends its conversions too (one hangs on a FIFO source here); the
// tile, journalled as started, is not done, and the next run converts it with its settings.
TEST_F(BatchEndToEnd, ConversionsDieWithAKilledBatchAndTheirTilesAreNotDone) {
  WriteTiles();
  const std::string source = dir_ / "tiles/x.tif", grid = dir_ / "out/x.dem";
  fs::copy_file(TilePath(0), source);
  ASSERT_EQ(RunTiles({source}, dir_ / "out", {}).status, 0);
  fs::remove(source);
  ASSERT_EQ(::mkfifo(source.c_str(), 0644), 0);
  RunningProcess batch({GeodemProcess::Binary(), "batch", "-q", "--force", "--zoom", "10",
                        "--out-dir", dir_ / "out", source});
  pid_t convert = 0;
  while (!convert && batch.Running()) convert = ConvertOf(batch.pid(), source);
  ASSERT_GT(convert, 0) << batch.Err();
  batch.Signal(SIGKILL);
  batch.Wait();
  // Gone, or a zombie left to whoever reaps orphans: bounded, never a timing assert.
  auto alive = [&] {
    std::istringstream stat(TempDir::ReadFile("/proc/" + std::to_string(convert) + "/stat"));
    std::string pid, command, state;
    stat >> pid >> command >> state;
    return !pid.empty() && state != "Z";
  };
  for (int i = 0; i < 500 && alive(); ++i) ::usleep(20000);
  EXPECT_FALSE(alive()) << "the conversion outlived its batch";
  std::vector<std::string> started = JournalLines(Journal(), "started");
  ASSERT_EQ(started.size(), 2u) << TempDir::ReadFile(Journal());  // the first run's, this one's
  EXPECT_NE(started[1].find("\"zoom\":\"10\""), std::string::npos) << started[1];

  fs::remove(source);
  fs::copy_file(TilePath(0), source);
  EXPECT_EQ(GeodemProcess::Geodem({"batch", "--report", dir_ / "out"}).status, 1);
  ProcessResult r = RunTiles({source}, dir_ / "out", {});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JournalLines(Journal(), "done").size(), 2u) << TempDir::ReadFile(Journal());
  EXPECT_EQ(ZoomOf(grid), 100);
}

// A shard's journal written on a node whose clock is five minutes ahead does not hide a later
// conversion with other settings.
TEST_F(BatchEndToEnd, TheLaterRunWinsWhateverTheClocks) {
  WriteTiles();
  const std::vector<std::string> tiles = {TilePath(0), TilePath(1)};
  ASSERT_EQ(RunTiles(tiles, dir_ / "out", {"--shard", "0/1"}).status, 0);
  const std::string shard = dir_ / "out/geodem-batch.shard-0-of-1.jsonl";
  // Every "time": five minutes later (scanned by hand: std::regex does not build under the
  // sanitized build's warnings as errors).
  std::string text = TempDir::ReadFile(shard), ahead;
  const std::string key = "\"time\":";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key)) {
    const std::size_t from = at + key.size();
    const std::size_t end = text.find_first_not_of("0123456789.", from);
    ahead += text.substr(0, from) + std::to_string(std::stod(text.substr(from, end - from)) + 300);
    text = text.substr(end);
  }
  TempDir::WriteFile(shard, ahead + text);
  ASSERT_EQ(RunTiles(tiles, dir_ / "out", {"--force", "--zoom", "10"}).status, 0);
  ProcessResult r = RunTiles(tiles, dir_ / "out", {});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("t101.dem was made with --zoom 10 (now 100)"), std::string::npos) << r.err;
  EXPECT_EQ(ZoomOf(dir_ / "out/t101.dem"), 10);
}

// A journal that ends in half a line (a write cut short on a full disk) loses nothing of the
// next run: its plan line stands, and the report judges against it.
TEST_F(BatchEndToEnd, AHalfLineAtTheJournalsEndSwallowsNothing) {
  WriteTiles();
  const std::vector<std::string> tiles = {TilePath(0), TilePath(1), TilePath(2), TilePath(3)};
  ASSERT_EQ(RunTiles(tiles, dir_ / "out", {"--zoom", "10"}).status, 0);
  TempDir::WriteFile(Journal(), TempDir::ReadFile(Journal()) + "{\"tile\":2,\"source\":\"/t");
  ProcessResult r = RunTiles(tiles, dir_ / "out", {"--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("ended in half a line"), std::string::npos) << r.err;
  ProcessResult report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out"});
  EXPECT_EQ(report.status, 0) << report.out;
  EXPECT_NE(report.out.find("tiles: 4 (4 done, 0 failed, 0 outdated, 0 pending)"),
            std::string::npos)
      << report.out;
}

// The report counts the tiles of the latest plan; a tile dropped from it is left out, and said so.
TEST_F(BatchEndToEnd, TheReportJudgesTheLatestPlan) {
  WriteTiles(2);
  ASSERT_EQ(RunTiles({TilePath(0), TilePath(1), TilePath(2)}, dir_ / "out", {}).status, 1);
  ASSERT_EQ(RunTiles({TilePath(0), TilePath(1)}, dir_ / "out", {}).status, 0);
  ProcessResult report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out"});
  EXPECT_EQ(report.status, 0) << report.out;
  EXPECT_NE(report.out.find("tiles: 2 (2 done, 0 failed, 0 outdated, 0 pending)"),
            std::string::npos)
      << report.out;
  EXPECT_NE(report.out.find("1 tile(s) of earlier plans, not in the latest, left out"),
            std::string::npos)
      << report.out;
}

// Root's batch reads and appends only root's journals: another user's journal of this shard is
// refused, untouched; another's journal with a failed record does not stop the tile.
TEST_F(BatchEndToEnd, AnotherUsersJournalIsNeitherBelievedNorAppendedTo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a journal to nobody";
  const struct passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  WriteTiles();
  fs::create_directories(dir_ / "out");
  const std::string foreign = dir_ / "out/geodem-batch-x.jsonl";
  TempDir::WriteFile(foreign, "{\"tile\":0,\"source\":\"s\",\"output\":\"" + dir_ / "out/t100.dem" +
                                  "\",\"status\":\"failed\",\"exit\":1,\"seconds\":1,\"bytes\":0,"
                                  "\"cells\":0,\"error\":\"planted\",\"time\":1,\"run\":99}\n");
  ASSERT_EQ(::chown(foreign.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ProcessResult r = RunTiles({TilePath(0)}, dir_ / "out", {});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(foreign + " is not a journal of this user's"), std::string::npos) << r.err;

  TempDir::WriteFile(Journal(), "");
  ASSERT_EQ(::chown(Journal().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  r = RunTiles({TilePath(0)}, dir_ / "out", {});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(Journal() + " is not a journal of this user's"), std::string::npos) << r.err;
  EXPECT_EQ(fs::file_size(Journal()), 0u);
}

// The page of a set counts tiles, fills a done tile's heights and no-data share, and does not
// name a failed tile's source again before its error, which names it.
TEST_F(BatchEndToEnd, ThePageFillsDoneTilesAndNamesEachSourceOnce) {
  WriteTiles(1);
  ASSERT_EQ(RunTiles({TilePath(0), TilePath(1)}, dir_ / "out", {}).status, 1);
  const std::string page = dir_ / "set.html";
  ASSERT_EQ(GeodemProcess::Geodem({"batch", "--report", dir_ / "out", "--html", page}).status, 1);
  const std::string text = TempDir::ReadFile(page);
  EXPECT_NE(text.find("\"count\":\"tiles\""), std::string::npos);
  // Tile 0: heights 0 - 0.5 * 89 to 1.25 * 119, no no-data cell.
  EXPECT_NE(text.find("\"min_m\":-44.5,\"max_m\":148.75,\"nodata_share\":0"), std::string::npos)
      << text.substr(text.find("t100.dem"), 400);
  const std::size_t failed = text.find("\"status\":\"failed\"");
  ASSERT_NE(failed, std::string::npos);
  const std::string row = text.substr(failed, text.find('}', failed) - failed);
  // The conversion's error names its source: the page adds it no more.
  EXPECT_NE(row.find("{\"message\":\"error: cannot open source " + TilePath(1)), std::string::npos)
      << row;
}

}  // namespace
