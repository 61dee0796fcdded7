#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "gridfile/GridFileSet.h"
#include "host/AtomicFile.h"
#include "support/TempDir.h"
#include "support/Wkt.h"

namespace {

using Files = std::map<std::string, std::string>;  // name -> content

void Lay(const TempDir& dir, const Files& files) {
  for (const auto& [name, content] : files) TempDir::WriteFile(dir / name, content);
}

Files Read(const TempDir& dir) {
  Files files;
  for (const std::string& name : TempDir::Entries(dir.Path()))
    files[name] = std::filesystem::is_directory(dir / name) ? "(folder)" : TempDir::ReadFile(dir / name);
  return files;
}

TEST(GridFileSet, PrjNamesAsGdalMatchesThem) {
  struct Case {
    const char* grid;
    const char* name;
    bool prj;
  };
  const Case cases[] = {
      {"g.dem", "g.prj", true},      {"g.dem", "g.PRJ", true},   {"g.dem", "G.Prj", true},
      {"g", "g.prj", true},          {"a.b.dem", "a.b.prj", true}, {"g.dem", "g.prjx", false},
      {"g.dem", "gg.prj", false},    {"g.dem", "g.dem.prj", false}, {"g.dem", "g.prj.1.kept", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GridFileSet::IsPrjOf(c.grid, c.name), c.prj) << c.grid << " " << c.name;
  }
}

// Whatever the earlier set, a commit leaves exactly the new one: the grid, its .prj when it has
// one, nothing of the earlier set beside it and no side file.
TEST(GridFileSet, CommitReplacesTheWholeSet) {
  struct Case {
    const char* what;
    Files earlier;
    bool newPrj;
  };
  const Case cases[] = {
      {"nothing before", {}, true},
      {"a grid alone", {{"g.dem", "old"}}, true},
      {"grid and .prj", {{"g.dem", "old"}, {"g.prj", "old srs"}}, true},
      {"grid and .PRJ", {{"g.dem", "old"}, {"g.PRJ", "old srs"}}, true},
      {"grid, .prj and statistics",
       {{"g.dem", "old"}, {"g.prj", "old srs"}, {"g.dem.aux.xml", "<PAMDataset/>"}},
       true},
      {"a new grid without a coordinate system", {{"g.dem", "old"}, {"G.prj", "old srs"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Lay(dir, c.earlier);
    Lay(dir, {{"other.prj", "not ours"}});
    GridFileSet files(dir / "g.dem");
    std::string error;
    if (c.newPrj) {
      ASSERT_TRUE(files.PreparePrj("new srs", error)) << error;
    }
    AtomicFile grid;
    ASSERT_TRUE(grid.Create(dir / "g.dem"));
    ASSERT_TRUE(grid.Write("new", 3));
    ASSERT_TRUE(files.Commit(grid, error)) << error;
    Files expected{{"g.dem", "new"}, {"other.prj", "not ours"}};
    if (c.newPrj) expected["g.prj"] = "new srs\n";
    EXPECT_EQ(Read(dir), expected);
  }
}

// A replacement that never commits leaves the earlier set as it was, and no side file.
TEST(GridFileSet, UncommittedLeavesTheEarlierSet) {
  TempDir dir;
  const Files earlier{{"g.dem", "old"}, {"g.prj", "old srs"}};
  Lay(dir, earlier);
  {
    GridFileSet files(dir / "g.dem");
    std::string error;
    ASSERT_TRUE(files.PreparePrj("new srs", error));
    AtomicFile grid;
    ASSERT_TRUE(grid.Create(dir / "g.dem"));
  }
  EXPECT_EQ(Read(dir), earlier);
}

// What the next writer makes of a writer killed at each point of its commit (process 4242): the
// earlier set, or the new one, complete.
TEST(GridFileSet, LeftoversOfAKilledCommitComplete) {
  const std::string part = "g.dem.4242.part", prjPart = "g.prj.4242.part",
                    ready = "g.prj.4242.ready";
  const Files earlier{{"g.dem", "old"}, {"g.PRJ", "old srs"}};
  const Files replaced{{"g.dem", "new"}, {"g.prj", "new srs"}};
  struct Case {
    const char* what;
    Files left;
    Files expected;
  };
  const Case cases[] = {
      {"while writing", {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {part, "ne"}}, earlier},
      {"with the .prj ready",
       {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {part, "new"}, {ready, "new srs"}},
       earlier},
      {"the earlier .prj aside",
       {{"g.dem", "old"}, {"g.PRJ.4242.kept", "old srs"}, {part, "new"}, {ready, "new srs"}},
       earlier},
      {"the grid in place", {{"g.dem", "new"}, {"g.PRJ.4242.kept", "old srs"}, {ready, "new srs"}},
       replaced},
      {"the .prj in place", {{"g.dem", "new"}, {"g.PRJ.4242.kept", "old srs"}, {"g.prj", "new srs"}},
       replaced},
      {"before the grid was begun", {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {prjPart, "new srs"}},
       earlier},
      // The writer after it, killed while it completed them: whatever it did first, the same
      // decision again, whichever process's lock the folder shows.
      {"a second writer killed after putting the .prj back",
       {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {"g.dem.aux.xml.4242.kept", "stats"}, {part, "new"},
        {ready, "new srs"}},
       {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {"g.dem.aux.xml", "stats"}}},
      {"a second writer killed after removing the ready .prj",
       {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {part, "new"}}, earlier},
      {"a second writer killed after finishing the .prj",
       {{"g.dem", "new"}, {"g.prj", "new srs"}, {"g.PRJ.4242.kept", "old srs"},
        {"g.dem.aux.xml.4242.kept", "stats"}},
       replaced},
      {"two dead writers", {{"g.dem", "new"}, {ready, "new srs"}, {"g.prj.77.part", "other"}},
       replaced},
      {"the writer component's raster and the driver's",
       {{"g.dem", "old"}, {"g.PRJ", "old srs"}, {"g.dem.tmp", "hfa"}, {"g.dem.tmp.tif", "tiff"}},
       earlier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Lay(dir, c.left);
    GridFileSet(dir / "g.dem").ClearLeftovers();
    EXPECT_EQ(Read(dir), c.expected);
  }
}

// Another dataset's .prj (area.asc, roads.shp beside the grid) is not the grid's: it is no
// companion, a commit and a removal leave it, and a grid is refused beside it unless the .prj
// states the grid's coordinate system.
TEST(GridFileSet, APrjAnotherDatasetSharesIsNotTheGrids) {
  const std::string utm = "PROJCS[\"WGS_1984_UTM_Zone_50N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\","
                          "SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],"
                          "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
                          "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
                          "PARAMETER[\"Central_Meridian\",117.0],PARAMETER[\"Scale_Factor\",0.9996],"
                          "PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]";
  struct Case {
    const char* what;
    Files folder;
    const char* grid;
    const char* sharer;  // empty: the .prj is the grid's
    bool gridInUtm;      // the new grid's system: UTM 50N, else EPSG:4547 (or none: below)
    bool refused;
  };
  const Case cases[] = {
      {"an ASCII grid", {{"area.asc", "x"}, {"area.prj", utm}}, "area.dem", "area.asc", true, false},
      {"an ASCII grid, another system", {{"area.asc", "x"}, {"area.prj", utm}}, "area.dem",
       "area.asc", false, true},
      {"a shapefile, the .prj in capitals",
       {{"roads.shp", "x"}, {"roads.dbf", "x"}, {"roads.PRJ", utm}}, "roads.dem", "roads.dbf", true,
       false},
      {"an earlier grid of another case", {{"area.DEM", "x"}, {"area.prj", utm}}, "area.dem",
       "area.DEM", false, true},
      {"the grid's own set and side files", {{"area.dem", "old"}, {"area.prj", utm},
       {"area.dem.aux.xml", "s"}, {"area.dem.lock", ""}, {"area.prj.12.kept", utm}},
       "area.dem", "", false, false},
      {"side files of a grid without an extension", {{"area", "old"}, {"area.prj", utm},
       {"area.lock", ""}, {"area.tmp", ""}}, "area", "", false, false},
      {"a folder of the stem", {{"area.gdb/x", "x"}, {"area.prj", utm}}, "area.dem", "", false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "area.gdb");
    Lay(dir, c.folder);
    const Files before = Read(dir);
    GridFileSet files(dir / c.grid);
    const std::string sharer = files.PrjSharer();
    EXPECT_EQ(sharer.starts_with(dir / c.sharer), *c.sharer != '\0') << sharer;
    const std::string refusal =
        files.SharedPrjRefusal(c.gridInUtm ? Wkt(32650) : Wkt(4547));
    EXPECT_EQ(!refusal.empty(), c.refused) << refusal;
    if (*c.sharer == '\0') continue;
    EXPECT_FALSE(files.SharedPrjRefusal("").empty()) << "a grid without a system beside it";
    std::string error;
    AtomicFile grid;
    ASSERT_TRUE(grid.Create(dir / c.grid));
    ASSERT_TRUE(files.PreparePrj("new srs", error)) << error;
    ASSERT_TRUE(files.Commit(grid, error)) << error;
    ASSERT_TRUE(files.Remove(error)) << error;
    EXPECT_EQ(Read(dir), before);
  }
}

// The .aux.xml that names a grid's no-data value is part of its set: it replaces the earlier one,
// a grid without one takes the earlier one away, and a killed commit completes or rolls back as
// with the .prj.
TEST(GridFileSet, AuxXmlTravelsWithTheGrid) {
  struct Case {
    const char* what;
    Files earlier;
    bool newAux;
  };
  const Case cases[] = {
      {"nothing before", {}, true},
      {"statistics before", {{"g.dem", "old"}, {"g.dem.aux.xml", "<stats/>"}}, true},
      {"a no-data value before, none now", {{"g.dem", "old"}, {"g.dem.aux.xml", "<nd/>"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Lay(dir, c.earlier);
    GridFileSet files(dir / "g.dem");
    std::string error;
    if (c.newAux) {
      files.PrepareAux("<new/>");
    }
    ASSERT_TRUE(files.PreparePrj("new srs", error)) << error;
    AtomicFile grid;
    ASSERT_TRUE(grid.Create(dir / "g.dem"));
    ASSERT_TRUE(grid.Write("new", 3));
    ASSERT_TRUE(files.Commit(grid, error)) << error;
    Files expected{{"g.dem", "new"}, {"g.prj", "new srs\n"}};
    if (c.newAux) expected["g.dem.aux.xml"] = "<new/>";
    EXPECT_EQ(Read(dir), expected);
  }

  const std::string gridPart = "g.dem.4242.part", auxReady = "g.dem.aux.xml.4242.ready";
  const Case killed[] = {
      {"killed before the grid stood",
       {{"g.dem", "old"}, {"g.dem.aux.xml.4242.kept", "<old/>"}, {gridPart, "new"},
        {auxReady, "<new/>"}},
       false},
      {"killed once the grid stood",
       {{"g.dem", "new"}, {"g.dem.aux.xml.4242.kept", "<old/>"}, {auxReady, "<new/>"}},
       true},
  };
  for (const Case& c : killed) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Lay(dir, c.earlier);
    GridFileSet(dir / "g.dem").ClearLeftovers();
    const Files expected = c.newAux ? Files{{"g.dem", "new"}, {"g.dem.aux.xml", "<new/>"}}
                                    : Files{{"g.dem", "old"}, {"g.dem.aux.xml", "<old/>"}};
    EXPECT_EQ(Read(dir), expected);
  }
}

// Root replacing another user's set leaves it theirs, with its access rights; whatever another
// user left under the dead writer's side names is not taken for the writer's own.
TEST(GridFileSet, OwnersAndStrangersSideFiles) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and user nobody to own files";
  TempDir dir;
  Lay(dir, {{"g.dem", "old"}, {"g.prj", "old srs"}});
  for (const char* name : {"g.dem", "g.prj"}) {
    ASSERT_EQ(::chown((dir / name).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chmod((dir / name).c_str(), 0600), 0);
  }
  GridFileSet files(dir / "g.dem");
  std::string error;
  ASSERT_TRUE(files.PreparePrj("new srs", error));
  AtomicFile grid;
  ASSERT_TRUE(grid.Create(dir / "g.dem"));
  ASSERT_TRUE(grid.Write("new", 3));
  ASSERT_TRUE(files.Commit(grid, error));
  for (const char* name : {"g.dem", "g.prj"}) {
    struct stat st {};
    ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody->pw_uid) << name;
    EXPECT_EQ(st.st_gid, nobody->pw_gid) << name;
    EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
  }

  Lay(dir, {{"g.prj.4242.kept", "planted"}, {"g.dem.4242.part", "planted"}});
  ASSERT_EQ(::chown((dir / "g.prj.4242.kept").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(::chown((dir / "g.dem.4242.part").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  GridFileSet(dir / "g.dem").ClearLeftovers();
  EXPECT_EQ(TempDir::ReadFile(dir / "g.prj"), "new srs\n");
  EXPECT_EQ(TempDir::ReadFile(dir / "g.prj.4242.kept"), "planted");
}

}  // namespace
