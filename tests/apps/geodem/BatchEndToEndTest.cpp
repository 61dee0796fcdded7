// geodem batch end to end: a set of 20 small tiles converted two at a time by the built program,
// each grid file compared with what a single geodem convert writes for its tile.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
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
      std::string path = dir_ / ("tiles/" + TileName(i) + ".tif");
      if (i == corrupt) {
        TempDir::WriteFile(path, "II*\0this is no raster");
      } else {
        TestRaster r;
        r.width = 120;
        r.height = 90;
        r.epsg = 32650;
        r.geoTransform = {500000.0 + 3600 * i, 30, 0, 4000000, 0, -30};
        r.cell = [i](int, int x, int y) { return i * 10.5 + x * 1.25 - y * 0.5; };
        EXPECT_TRUE(r.WriteGTiff(path));
      }
      // Relative to the manifest's folder, half with an explicit grid file.
      manifest += "tiles/" + TileName(i) + ".tif";
      if (i % 2) manifest += "\tout/" + TileName(i) + ".dem";
      manifest += "\n";
    }
    TempDir::WriteFile(dir_ / "set.txt", "# the test set\n" + manifest);
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
  EXPECT_NE(report.out.find("tiles: 20 (19 done, 1 failed, 0 pending)"), std::string::npos)
      << report.out;
  EXPECT_NE(report.out.find("tile 7: " + dir_ / ("tiles/" + TileName(kCorrupt) + ".tif")),
            std::string::npos)
      << report.out;
  EXPECT_NE(report.out.find("cells: " + std::to_string(19 * 120 * 90)), std::string::npos)
      << report.out;
  report = GeodemProcess::Geodem({"batch", "--report", dir_ / "out", "--json"});
  EXPECT_NE(report.out.find("\"done\": 19, \"failed\": 1, \"pending\": 0"), std::string::npos)
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
  std::size_t outputs = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "out"))
    outputs += e.path().extension() == ".dem";
  // A tile whose grid file was committed just as the signal came is journalled as interrupted,
  // though its file is complete: the rerun skips it.
  ASSERT_GE(outputs, doneFirst);
  ASSERT_LT(outputs, static_cast<std::size_t>(kTiles)) << "nothing was left to resume";

  ProcessResult r = GeodemProcess::Run(BatchArgs({}));
  EXPECT_EQ(r.status, 0) << r.err;
  // The second run converted exactly the tiles the first left.
  EXPECT_EQ(JournalLines(Journal(), "done").size(), doneFirst + (kTiles - outputs));
  EXPECT_EQ(JournalLines(Journal(), "skipped").size(), outputs - doneFirst);
  for (int i = 0; i < kTiles; ++i)
    EXPECT_EQ(TempDir::ReadFile(dir_ / ("out/" + TileName(i) + ".dem")), SingleConvert(i, {}))
        << i;
  for (const auto& e : fs::directory_iterator(dir_ / "out"))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

// A tile whose conversion hangs (its source a FIFO nobody writes: opening it blocks) is stopped
// at --timeout and fails; the other tile is done.
TEST_F(BatchEndToEnd, AHangingTileTimesOutAndTheOthersAreDone) {
  WriteTiles();
  ASSERT_EQ(::mkfifo((dir_ / "tiles/hang.tif").c_str(), 0644), 0);
  ProcessResult r = GeodemProcess::Geodem({"batch", "-q", "-j", "2", "--timeout", "1",
                                           "--out-dir", dir_ / "out", dir_ / "tiles/hang.tif",
                                           dir_ / "tiles/t100.tif"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "out/t100.dem"));
  std::vector<std::string> failed = JournalLines(Journal(), "failed");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("hang.tif"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("timed out after 0:01"), std::string::npos) << failed[0];
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

}  // namespace
