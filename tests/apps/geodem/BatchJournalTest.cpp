// What the journal remembers of a tile and how a tile stands: its latest record and its files.
#include <gtest/gtest.h>

#include "apps/geodem/batch/BatchJournal.h"
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
  };
  for (const Case& c : cases) {
    std::filesystem::remove(grid);
    std::filesystem::remove(dir / "t.prj");
    if (c.gridThere) TempDir::WriteFile(grid, "grid");
    if (c.prjThere) TempDir::WriteFile(dir / "t.prj", "prj");
    JournalRecord record;
    if (c.latest) record.status = *c.latest;
    record.settings = c.recorded;
    EXPECT_EQ(TileStanding::Of(c.latest ? &record : nullptr, grid, c.wanted), c.expected) << c.what;
  }
}

}  // namespace
