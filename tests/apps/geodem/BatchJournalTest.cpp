// What the journal remembers of a tile and how a tile stands: its latest record and its files.
#include <fcntl.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/batch/TileInputs.h"
#include "apps/geodem/batch/TileSettings.h"
#include "apps/geodem/batch/TileStanding.h"
#include "support/TempDir.h"

namespace {

TileSettings Settings(const std::string& zoom, bool prj = false) {
  ConvertOptions o;
  o.zoom = zoom;
  o.prj = prj;
  return TileSettings::Of(o);
}

TEST(TileSettings, OneSettingHowEverItIsGiven) {
  ConvertOptions plain;
  ConvertOptions viaParameters;
  viaParameters.parameters = {{"dem_zoom", "0100"}, {"version", "geodem"}};
  EXPECT_TRUE(TileSettings::Of(plain).SameGrid(TileSettings::Of(viaParameters)));

  ConvertOptions other = plain;
  other.noData = "-9999";
  other.band = 2;
  EXPECT_EQ(TileSettings::Of(plain).Differences(TileSettings::Of(other)),
            "--nodata -9999 (now -99999), --band 2 (now 1)");
  ConvertOptions mapped;
  mapped.mappingFile = "/jobs/a.xml";
  EXPECT_EQ(TileSettings::Of(mapped).zoom, "in /jobs/a.xml");
  // A .prj more or less does not change the grid.
  EXPECT_TRUE(Settings("10", true).SameGrid(Settings("10")));
}

TEST(JournalRecord, KeepsTheSettingsAndReadsOlderLinesWithout) {
  JournalRecord r;
  r.output = "/o/a.dem";
  r.settings = Settings("10", true);
  std::optional<JournalRecord> back = JournalRecord::FromJson(r.Json());
  ASSERT_TRUE(back && back->settings);
  EXPECT_EQ(back->settings->JsonMembers(), r.settings->JsonMembers());

  back = JournalRecord::FromJson(
      R"({"tile":0,"source":"a","output":"/o/a.dem","status":"done","exit":0,"seconds":1,)"
      R"("bytes":9,"cells":1,"error":"","time":5})");
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->settings);
}

TEST(TileStanding, TheLatestRecordAndTheFilesAgree) {
  using Status = JournalRecord::Status;
  TempDir dir;
  const std::string grid = dir / "t.dem";
  struct Case {
    const char* what;
    std::optional<Status> latest;          // none: no record
    std::optional<TileSettings> recorded;  // the record's settings
    bool gridThere, prjThere;
    std::optional<TileSettings> wanted;
    TileStanding::Kind expected;
    long long recordedBytes = 4;  // the grid file written holds "grid"
    long long recordedPrjBytes = -1;
  };
  const std::vector<Case> cases = {
      {"done and there", Status::kDone, Settings("10"), true, false, Settings("10"),
       TileStanding::kDone},
      {"failed after an earlier success", Status::kFailed, Settings("10"), true, false,
       Settings("10"), TileStanding::kFailed},
      {"interrupted, its file there", Status::kInterrupted, Settings("10"), true, false,
       Settings("10"), TileStanding::kInterrupted},
      {"done with another zoom", Status::kDone, Settings("100"), true, false, Settings("10"),
       TileStanding::kOutdated},
      {"done, settings not recorded", Status::kSkipped, std::nullopt, true, false, Settings("10"),
       TileStanding::kDone},
      {"done, no run's settings to compare", Status::kDone, Settings("100"), true, false,
       std::nullopt, TileStanding::kDone},
      {"done, then its file removed", Status::kDone, Settings("10"), false, false, Settings("10"),
       TileStanding::kMissing},
      {"asked with --prj, no .prj", Status::kDone, Settings("10"), true, false,
       Settings("10", true), TileStanding::kMissing},
      {"made with --prj, its .prj gone", Status::kDone, Settings("10", true), true, false,
       std::nullopt, TileStanding::kMissing},
      {"with --prj, both there", Status::kDone, Settings("10"), true, true, Settings("10", true),
       TileStanding::kDone},
      {"there without a record", std::nullopt, std::nullopt, true, false, Settings("10"),
       TileStanding::kFound},
      {"never made", std::nullopt, std::nullopt, false, false, Settings("10"),
       TileStanding::kMissing},
      {"started, never ended (its batch died)", Status::kStarted, Settings("10"), true, false,
       Settings("10"), TileStanding::kInterrupted},
      {"emptied since it was done", Status::kDone, Settings("10"), true, false, Settings("10"),
       TileStanding::kChanged, 4000},
      {"cut short since it was done", Status::kDone, Settings("10"), true, false, Settings("10"),
       TileStanding::kChanged, 3},
      {"its .prj cut short", Status::kDone, Settings("10", true), true, true, Settings("10", true),
       TileStanding::kChanged, 4, 300},
      {"its .prj as recorded", Status::kDone, Settings("10", true), true, true,
       Settings("10", true), TileStanding::kDone, 4, 3},
      {"made with --prj, asked without", Status::kDone, Settings("10", true), true, false,
       Settings("10"), TileStanding::kDone, 4, 3},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(grid);
    std::filesystem::remove(dir / "t.prj");
    if (c.gridThere) TempDir::WriteFile(grid, "grid");
    if (c.prjThere) TempDir::WriteFile(dir / "t.prj", "prj");
    JournalRecord record;
    if (c.latest) record.status = *c.latest;
    record.settings = c.recorded;
    record.bytes = c.recordedBytes;
    record.prjBytes = c.recordedPrjBytes;
    std::string why;
    EXPECT_EQ(TileStanding::Of(c.latest ? &record : nullptr, grid, c.wanted, nullptr, &why),
              c.expected)
        << c.what;
    EXPECT_EQ(why.empty(), c.expected != TileStanding::kChanged) << c.what << ": " << why;
  }
}

// A tile's inputs as the journal keeps them, and what a change of each is called.
TEST(TileInputs, NameWhatChangedSinceTheTileWasMade) {
  TempDir dir;
  const std::string tif = dir / "geo.tif", other = dir / "other.tif", vrt = dir / "s.vrt",
                    mapping = dir / "job.xml";
  auto cut = [&](const std::string& source, int xOff) {
    TempDir::WriteFile(vrt,
                       "<VRTDataset><VRTRasterBand><SimpleSource><SourceFilename "
                       "relativeToVRT=\"1\">" +
                           std::filesystem::path(source).filename().string() +
                           "</SourceFilename><SrcRect xOff=\"" + std::to_string(xOff) +
                           "\"/></SimpleSource></VRTRasterBand></VRTDataset>");
  };
  auto reset = [&] {
    TempDir::WriteFile(tif, "cells");
    TempDir::WriteFile(other, "cells");
    TempDir::WriteFile(mapping, "<job/>");
    cut(tif, 0);
  };
  struct Case {
    const char* what;
    std::function<void()> change;
    std::string expected;  // empty: nothing changed
  };
  const std::vector<Case> cases = {
      {"nothing", [] {}, ""},
      {"the source rewritten",
       [&] {
         TempDir::WriteFile(tif, "other cells");
         std::filesystem::last_write_time(
             tif, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
       },
       "source " + tif + " changed (size, time, ctime)"},
      {"the source touched",
       [&] {
         std::filesystem::last_write_time(
             tif, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
       },
       "source " + tif + " changed (time, ctime)"},
      {"another window (buffer)", [&] { cut(tif, 5); }, "the cut " + vrt + " changed"},
      {"another source", [&] { cut(other, 0); },
       "the cut " + vrt + " changed, " + tif + " is no longer read, " + other + " is read now"},
      {"the source gone", [&] { std::filesystem::remove(tif); }, tif + " is gone"},
      {"the mapping file", [&] { TempDir::WriteFile(mapping, "<job2/>"); },
       "the mapping file " + mapping + " changed"},
  };
  for (const Case& c : cases) {
    reset();
    const std::string before = TileInputs::Of(vrt, mapping).Text();
    c.change();
    const TileInputs now = TileInputs::Of(vrt, mapping);
    EXPECT_EQ(now.ChangesSince(TileInputs::FromText(before)), c.expected) << c.what;
  }
  EXPECT_EQ(TileInputs::FromText(TileInputs::Of(vrt, mapping).Text()).mapping(), mapping);
  // A cut over a mosaic VRT: the mosaic's own sources are inputs too.
  reset();
  const std::string mosaic = dir / "mosaic.vrt";
  std::filesystem::rename(vrt, mosaic);
  TempDir::WriteFile(vrt, "<VRTDataset><SourceFilename relativeToVRT=\"0\">" + mosaic +
                              "</SourceFilename></VRTDataset>");
  EXPECT_NE(TileInputs::Of(vrt, std::nullopt).Text().find("source\t" + tif + "\t5\t"),
            std::string::npos)
      << TileInputs::Of(vrt, std::nullopt).Text();
}

// What GDAL reads of a source is its fingerprint: a file put in its place by rename with the same
// size and time, a time changed by nanoseconds only, a side file GDAL reads added, a VRT's
// member changed; each names the file.
TEST(TileInputs, EveryFileGdalReadsIsFingerprinted) {
  TempDir dir;
  const std::string tif = dir / "a.tif", vrt = dir / "cut.vrt", aux = tif + ".aux.xml";
  auto reset = [&] {
    std::filesystem::remove(aux);
    GDALAllRegister();
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), tif.c_str(), 4, 4, 1, GDT_Float32,
                                 nullptr);
    double transform[6] = {0, 1, 0, 0, 0, -1};
    GDALSetGeoTransform(ds, transform);
    GDALClose(ds);
    TempDir::WriteFile(vrt, "<VRTDataset><VRTRasterBand><SimpleSource><SourceFilename "
                            "relativeToVRT=\"1\">a.tif</SourceFilename></SimpleSource>"
                            "</VRTRasterBand></VRTDataset>");
  };
  auto times = [](const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
  };
  struct Case {
    const char* what;
    std::string source;
    std::function<void()> change;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"replaced by rename, same size and time", tif,
       [&] {
         const timespec then = times(tif);
         std::filesystem::copy_file(tif, dir / "new.tif");
         const timespec both[2] = {then, then};
         ::utimensat(AT_FDCWD, (dir / "new.tif").c_str(), both, 0);
         std::filesystem::rename(dir / "new.tif", tif);
       },
       "source " + tif + " changed (ctime, inode)"},
      {"time changed by a nanosecond", tif,
       [&] {
         timespec then = times(tif);
         then.tv_nsec = then.tv_nsec == 0 ? 1 : then.tv_nsec - 1;
         const timespec both[2] = {then, then};
         ::utimensat(AT_FDCWD, tif.c_str(), both, 0);
       },
       "source " + tif + " changed (time, ctime)"},
      {"an .aux.xml added beside", tif,
       [&] { TempDir::WriteFile(aux, "<PAMDataset><NoDataValue>100</NoDataValue></PAMDataset>"); },
       aux + " is read now"},
      {"a VRT's member replaced", vrt,
       [&] {
         std::filesystem::copy_file(tif, dir / "new.tif");
         std::filesystem::rename(dir / "new.tif", tif);
       },
       "source " + tif + " changed (time, ctime, inode)"},
  };
  for (const Case& c : cases) {
    reset();
    const std::string before = TileInputs::Of(c.source, std::nullopt).Text();
    // File times move in clock ticks: a change within the tick of the file's making would keep
    // its times.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    c.change();
    EXPECT_EQ(TileInputs::Of(c.source, std::nullopt).ChangesSince(TileInputs::FromText(before)),
              c.expected)
        << c.what;
  }
  // A journal from before the status-change time and inode compares the time alone.
  reset();
  const std::string old = "source\t" + tif + "\t" + std::to_string(std::filesystem::file_size(tif)) +
                          "\t" + std::to_string(times(tif).tv_sec) + "." +
                          std::to_string(times(tif).tv_nsec);
  EXPECT_EQ(TileInputs::Of(tif, std::nullopt).ChangesSince(TileInputs::FromText(old)), "");
}

// Every writer parameter reaches the grid: one changed, added or dropped makes the tile
// outdated, naming its key; the order or case of keys given does not.
TEST(TileSettings, EveryWriterParameterCounts) {
  auto with = [](std::vector<std::pair<std::string, std::string>> p) {
    ConvertOptions o;
    o.parameters = std::move(p);
    return TileSettings::Of(o);
  };
  const TileSettings made = with({{"LINE_WIDTH", "10"}, {"dem_zoom", "100"}});
  EXPECT_TRUE(made.SameGrid(with({{"line_width", "5"}, {"LINE_WIDTH", "10"}})));
  EXPECT_EQ(with({{"LINE_WIDTH", "12"}}).Differences(made), "-p LINE_WIDTH 10 (now 12)");
  EXPECT_EQ(with({}).Differences(made), "-p LINE_WIDTH 10 (now -)");
  EXPECT_FALSE(with({{"PRECISION", "2"}, {"LINE_WIDTH", "10"}}).SameGrid(made));
  std::optional<JournalRecord> back = [&] {
    JournalRecord r;
    r.output = "/o/a.dem";
    r.settings = made;
    return JournalRecord::FromJson(r.Json());
  }();
  ASSERT_TRUE(back && back->settings);
  EXPECT_TRUE(back->settings->SameGrid(made));
}

JournalRecord Done(const std::string& output, long long run, double time, const char* zoom) {
  JournalRecord r;
  r.output = output;
  r.run = run;
  r.time = time;
  r.settings = Settings(zoom);
  return r;
}

// The latest record of a tile: the later line of a journal, the higher run across journals, and
// never the clock, which a node of a cluster may have ahead.
TEST(BatchJournal, TheLatestRecordIsTheLaterRunNotTheLaterClock) {
  TempDir dir;
  const std::string out = dir / "a.dem", late = dir / "late.dem";
  std::string error;
  {
    BatchJournal ahead;  // a shard on a node five minutes ahead
    ASSERT_TRUE(ahead.Open(BatchJournal::PathIn(dir.Path(), ShardSpec{0, 2}), error)) << error;
    ASSERT_TRUE(ahead.Append(Done(out, 1, 1300, "100")));
    ASSERT_TRUE(ahead.Append(Done(late, 2, 1300, "100")));
    ASSERT_TRUE(ahead.Append(Done(late, 2, 1000, "50")));  // the later line of one journal
  }
  BatchJournal journal;
  ASSERT_TRUE(journal.Open(BatchJournal::PathIn(dir.Path(), std::nullopt), error)) << error;
  ASSERT_TRUE(journal.Append(Done(out, 2, 1000, "10")));
  BatchJournal::Contents contents;
  ASSERT_TRUE(BatchJournal::Read(dir.Path(), contents));
  EXPECT_EQ(contents.latest[out].settings->zoom, "10");
  EXPECT_EQ(contents.latest[late].settings->zoom, "50");
  EXPECT_EQ(contents.lastRun, 2);
}

// A journal that ends in half a line (a write cut short on a full disk) has it ended before the
// next line, which then reads whole; the half line is counted unreadable.
TEST(BatchJournal, AHalfLineAtTheEndIsEndedBeforeTheNextLine) {
  TempDir dir;
  const std::string path = BatchJournal::PathIn(dir.Path(), std::nullopt);
  TempDir::WriteFile(path, Done(dir / "a.dem", 1, 1, "10").Json() + "\n{\"tile\":1,\"sou");
  std::string error;
  BatchJournal journal;
  ASSERT_TRUE(journal.Open(path, error)) << error;
  EXPECT_TRUE(journal.halfLineEnded());
  ASSERT_TRUE(journal.Append(
      JournalPlan{1, "0/1", 1, 2, 2, std::vector<std::string>{"/x.dem"}, Settings("100"), ""}));
  BatchJournal::Contents contents;
  ASSERT_TRUE(BatchJournal::Read(dir.Path(), contents));
  ASSERT_EQ(contents.plans.size(), 1u);
  EXPECT_EQ(contents.plans[0].run, 2);
  EXPECT_EQ(contents.plans[0].outputs, std::vector<std::string>{"/x.dem"});
  EXPECT_EQ(contents.unreadable, 1);
  EXPECT_EQ(contents.latest.size(), 1u);
}

// A line whose write comes back short (a file size limit here, a full disk in the field) is ended
// at once: the next record reads whole, and the cut line is counted once.
TEST(BatchJournal, AWriteCutShortHidesNoLaterRecord) {
  TempDir dir;
  const std::string path = BatchJournal::PathIn(dir.Path(), std::nullopt);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    std::string error;
    BatchJournal journal;
    if (!journal.Open(path, error)) ::_exit(2);
    const std::string first = Done(dir / "a.dem", 1, 1, "10").Json();
    const rlimit limit{static_cast<rlim_t>(first.size() / 2), RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool cut = !journal.Append(Done(dir / "a.dem", 1, 1, "10"));
    const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &none);
    ::_exit(cut && journal.Append(Done(dir / "b.dem", 1, 2, "10")) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  BatchJournal::Contents contents;
  ASSERT_TRUE(BatchJournal::Read(dir.Path(), contents));
  EXPECT_EQ(contents.unreadable, 1);
  EXPECT_EQ(contents.latest.count(dir / "b.dem"), 1u);
  EXPECT_EQ(contents.latest.count(dir / "a.dem"), 0u);
}

// A set moved or copied to another folder is judged by its own files: the names a journal gives
// under the folder it was written in are read under the folder it is read in, and said so.
TEST(BatchJournal, AMovedFolderNamesItsOwnFiles) {
  TempDir dir;
  const std::string old = dir / "old", now = dir / "new", outside = "/elsewhere/x.dem";
  std::filesystem::create_directory(old);
  {
    std::string error;
    BatchJournal journal;
    ASSERT_TRUE(journal.Open(BatchJournal::PathIn(old, std::nullopt), error)) << error;
    JournalPlan plan{2, "0/1", 2, 1, 1, std::vector<std::string>{old + "/a.dem", outside},
                     Settings("10"), old};
    ASSERT_TRUE(journal.Append(plan));
    JournalRecord r = Done(old + "/a.dem", 1, 1, "10");
    r.source = old + "/plan/a.vrt";
    r.inputs = "cut\t" + old + "/plan/a.vrt\t10\tab";
    ASSERT_TRUE(journal.Append(r));
    ASSERT_TRUE(journal.Append(Done(outside, 1, 1, "10")));
  }
  std::filesystem::rename(old, now);
  BatchJournal::Contents contents;
  ASSERT_TRUE(BatchJournal::Read(now, contents));
  ASSERT_EQ(contents.latest.count(now + "/a.dem"), 1u);
  const JournalRecord& a = contents.latest[now + "/a.dem"];
  EXPECT_EQ(a.source, now + "/plan/a.vrt");
  EXPECT_EQ(a.inputs, "cut\t" + now + "/plan/a.vrt\t10\tab");
  EXPECT_EQ(contents.latest.count(outside), 1u);
  ASSERT_EQ(contents.plans.size(), 1u);
  EXPECT_EQ(contents.plans[0].outputs, (std::vector<std::string>{now + "/a.dem", outside}));
  ASSERT_EQ(contents.moved.size(), 1u);
  EXPECT_NE(contents.moved[0].find("written in " + old), std::string::npos) << contents.moved[0];
}

// Only the running user's own journals are read or appended to: another user's is named and
// skipped, never waited on, and never written.
TEST(BatchJournal, AnotherUsersJournalIsSkippedAndNeverAppendedTo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a journal to nobody";
  const struct passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  TempDir dir;
  const std::string own = BatchJournal::PathIn(dir.Path(), std::nullopt);
  const std::string foreign = dir / "geodem-batch-x.jsonl";
  JournalRecord failed = Done(dir / "a.dem", 9, 1, "100");
  failed.status = JournalRecord::Status::kFailed;
  TempDir::WriteFile(foreign, failed.Json() + "\n");
  TempDir::WriteFile(own, "");
  for (const std::string& path : {own, foreign})
    ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);

  BatchJournal::Contents contents;
  EXPECT_TRUE(BatchJournal::Read(dir.Path(), contents));
  EXPECT_TRUE(contents.latest.empty());
  ASSERT_EQ(contents.skipped.size(), 2u);
  EXPECT_NE(contents.skipped[0].find(foreign), std::string::npos) << contents.skipped[0];

  std::string error;
  BatchJournal journal;
  EXPECT_FALSE(journal.Open(own, error));
  EXPECT_NE(error.find(own + " is not a journal of this user's"), std::string::npos) << error;
  EXPECT_EQ(std::filesystem::file_size(own), 0u);
  // Nor a FIFO in its place, which is not waited on.
  std::filesystem::remove(own);
  ASSERT_EQ(::mkfifo(own.c_str(), 0600), 0);
  EXPECT_FALSE(journal.Open(own, error));
  contents = {};
  EXPECT_TRUE(BatchJournal::Read(dir.Path(), contents));
}

}  // namespace
