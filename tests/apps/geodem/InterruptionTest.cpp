// geodem stopped by a signal at several moments, and two geodem runs writing one file: a grid file
// appears under its name only complete, nothing of a stopped run is left, and the next run needs no
// cleaning up by hand.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "TestRasters.h"
#include "host/TargetFileLock.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// A geodem child whose stderr is read as it comes, so that a signal can be sent at a given moment
// of its progress display.
class RunningGeodem {
 public:
  RunningGeodem(const std::vector<std::string>& args, const std::string& tmpdir) {
    std::vector<std::string> argv = {GeodemProcess::Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = {"TMPDIR=" + tmpdir};
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> a, e;
    for (std::string& s : argv) a.push_back(s.data());
    for (std::string& s : env) e.push_back(s.data());
    a.push_back(nullptr);
    e.push_back(nullptr);
    if (posix_spawn(&pid_, a[0], &actions, nullptr, a.data(), e.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    err_ = fds[0];
  }
  ~RunningGeodem() {
    if (err_ >= 0) ::close(err_);
  }

  // Reads stderr until `text` shows; false when the program ended first.
  bool WaitFor(const std::string& text) {
    while (text_.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }
  void Send(int signal) const { ::kill(pid_, signal); }
  // The exit status, or 128 + the signal that ended the program; stderr whole in err().
  int Finish() {
    while (ReadSome()) {
    }
    int wstatus = 0;
    if (::waitpid(pid_, &wstatus, 0) != pid_) return -1;
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
  const std::string& err() const { return text_; }

 private:
  bool ReadSome() {
    char buffer[4096];
    ssize_t n = ::read(err_, buffer, sizeof buffer);
    if (n <= 0) return false;
    text_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int err_ = -1;
  std::string text_;
};

class Interruption : public GeodemEndToEnd {
 protected:
  // Rasters large enough that each half of the work (blocks into the temporary raster, then the
  // grid file) lasts well beyond the moment a signal is sent.
  void SetUp() override {
    GeodemEndToEnd::SetUp();
    fs::create_directories(dir_ / "src");
    fs::create_directories(dir_ / "tmp");
    TestRaster r;
    r.width = 1500;
    r.height = 1200;
    r.cell = [](int, int x, int y) { return 0.25 * x + 0.125 * y; };
    west_ = Write(r, "src/west.tif");
    r.geoTransform[0] += r.width * r.geoTransform[1];
    east_ = Write(r, "src/east.tif");
  }

  std::string west_, east_;
};

TEST_F(Interruption, StoppedRunLeavesNothingAndTheRerunSucceeds) {
  struct Case {
    const char* what;
    bool mosaic;
    const char* moment;  // the progress display's text after which the signal goes
    int signal;
    int status;
    std::vector<std::string> left;  // in the output folder after the stopped run
  };
  const Case cases[] = {
      {"SIGINT while blocks are written", false, "...20...", SIGINT, 130, {}},
      {"SIGTERM while the grid file is written", false, "...70...", SIGTERM, 143, {}},
      {"SIGINT while a mosaic's grid file is written", true, "...70...", SIGINT, 130, {}},
      // Killed outright, the run cannot clean up: the next one does, as the lock file tells it
      // that the temporary raster is the leftover of a writer that died.
      {"SIGKILL while blocks are written", false, "...20...", SIGKILL, 128 + SIGKILL,
       {"out.dem.lock", "out.dem.tmp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    const std::string grid = out / "out.dem";
    std::vector<std::string> args = {"convert", west_};
    if (c.mosaic) args.push_back(east_);
    args.push_back(grid);

    // On a loaded machine the run may commit its grid file before the signal lands; such a try
    // shows nothing of a stop, so the files it left go and it is made again.
    std::unique_ptr<RunningGeodem> stopped;
    int status = -1;
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (attempt > 0) {
        for (const fs::path& folder : {out.Path(), fs::path(dir_ / "tmp")})
          for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
      }
      stopped = std::make_unique<RunningGeodem>(args, dir_ / "tmp");
      ASSERT_TRUE(stopped->WaitFor(c.moment)) << stopped->err();
      stopped->Send(c.signal);
      status = stopped->Finish();
      if (!fs::exists(grid)) break;
    }
    RunningGeodem& run = *stopped;
    EXPECT_EQ(status, c.status) << run.err();
    EXPECT_EQ(TempDir::Entries(out.Path()), c.left);
    // The job's mapping file goes with the run; one killed outright leaves its folder.
    EXPECT_EQ(TempDir::Entries(dir_ / "tmp").size(), c.signal == SIGKILL ? 1u : 0u);
    if (c.signal != SIGKILL) {
      // The progress line is ended, and one line says what happened.
      const std::string said = std::string("\nerror: interrupted by ") +
                               (c.signal == SIGINT ? "SIGINT" : "SIGTERM") +
                               ": stopped, and the files this run had begun are removed\n";
      EXPECT_TRUE(run.err().ends_with(said)) << run.err();
      EXPECT_EQ(run.err().find("error:"), run.err().size() - said.size() + 1) << run.err();
    }

    // The next run clears what the killed one left, its mapping file's folder included.
    args.insert(args.begin() + 1, "-q");
    RunningGeodem rerun(args, dir_ / "tmp");
    EXPECT_EQ(rerun.Finish(), 0) << rerun.err();
    EXPECT_EQ(TempDir::Entries(out.Path()), std::vector<std::string>{"out.dem"});
    EXPECT_TRUE(TempDir::Entries(dir_ / "tmp").empty());
    if (!c.mosaic) {
      EXPECT_TRUE(TempDir::ReadFile(grid) == Expect(TestRaster{}, west_).Text());
    }
  }
}

// A second signal, of either kind, ends geodem at once instead of waiting for the stop. Both are
// sent while the program is stopped, so that they arrive together, before any stop could finish;
// threads may take them in either order, and the second one ends the program.
TEST_F(Interruption, SecondSignalEndsAtOnce) {
  TempDir out;
  RunningGeodem run({"convert", west_, out / "out.dem"}, dir_ / "tmp");
  ASSERT_TRUE(run.WaitFor("...20...")) << run.err();
  run.Send(SIGSTOP);
  run.Send(SIGINT);
  run.Send(SIGTERM);
  run.Send(SIGCONT);
  const int status = run.Finish();
  EXPECT_TRUE(status == 128 + SIGINT || status == 128 + SIGTERM) << status;
  EXPECT_EQ(run.err().find("stopped, and the files"), std::string::npos) << run.err();
}

// Two conversions of one file at once: the second is refused, and the file is the complete grid
// of one of them, never a mix.
TEST_F(Interruption, SecondWriterOfAFileIsRefused) {
  const std::string grid = dir_ / "out.dem";
  {
    // A writer at work (this process holds the file's lock).
    TargetFileLock other;
    ASSERT_EQ(other.Acquire(grid), TargetFileLock::Result::kLocked);
    ProcessResult r = Convert({"--overwrite", west_, grid});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(grid + " is being written by another conversion (process " +
                         std::to_string(::getpid()) + ")"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(grid));
  }
  // Real races: both start together; whichever comes second fails, before or in the writer.
  const std::string expected = Expect(TestRaster{}, west_).Text();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    RunningGeodem a({"convert", "--overwrite", west_, grid}, dir_ / "tmp");
    RunningGeodem b({"convert", "--overwrite", west_, grid}, dir_ / "tmp");
    const int statusA = a.Finish(), statusB = b.Finish();
    EXPECT_TRUE(statusA == 0 || statusB == 0) << a.err() << b.err();
    for (const RunningGeodem* run : {&a, &b}) {
      if (run == &a ? statusA == 0 : statusB == 0) continue;
      EXPECT_TRUE(run->err().find("is being written by another conversion") != std::string::npos ||
                  run->err().find("正由另一个转换") != std::string::npos)
          << run->err();
    }
    EXPECT_TRUE(TempDir::ReadFile(grid) == expected);
    EXPECT_EQ(TempDir::Entries(dir_.Path()), (std::vector<std::string>{"out.dem", "src", "tmp"}));
  }
}

}  // namespace
