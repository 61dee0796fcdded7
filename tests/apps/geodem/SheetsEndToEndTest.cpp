// geodem sheets end to end: a DEM cut into national map sheets and converted by the built
// program, each grid file read back; the sheet arithmetic and its refusals on the command line.
#include <cpl_conv.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "TestRasters.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr double kSecond = 1.0 / 3600;
constexpr double kNoData = -9999;

class SheetsEndToEnd : public GeodemEndToEnd {
 protected:
  static void SetUpTestSuite() {
    GeodemEndToEnd::SetUpTestSuite();
    LoadGeodemDriver();
  }

  // Cells of `seconds`" (1" by default) over 116.0-116.5 E, 39.8-40.0 N, heights that tell
  // every cell apart.
  std::string GeographicDem(int seconds = 1) {
    TestRaster r;
    r.width = 1800 / seconds;
    r.height = 720 / seconds;
    r.type = GDT_Float32;
    r.epsg = 4490;
    r.noData = kNoData;
    r.geoTransform = {116.0, seconds * kSecond, 0, 40.0, 0, -seconds * kSecond};
    r.cell = [seconds](int, int x, int y) { return 100 + (x * 0.25 + y * 0.5) * seconds; };
    return Write(r, "dem.tif");
  }

  std::vector<std::string> Outputs(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().extension() == ".dem") names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  struct Grid {
    int width = 0, height = 0;
    double transform[6] = {};
    std::vector<double> cells;  // no data as NaN
  };
  // A raster read whole, band 1, no-data cells as NaN.
  static Grid Read(GDALDatasetH ds) {
    Grid g;
    g.width = GDALGetRasterXSize(ds);
    g.height = GDALGetRasterYSize(ds);
    GDALGetGeoTransform(ds, g.transform);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    g.cells.resize(static_cast<std::size_t>(g.width) * g.height);
    EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, g.width, g.height, g.cells.data(), g.width,
                           g.height, GDT_Float64, 0, 0),
              CE_None);
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    const double scale = GDALGetRasterScale(band, nullptr);  // a grid file's zoom
    for (double& c : g.cells) c = hasNoData && c == noData ? NAN : c * scale;
    return g;
  }
  static Grid ReadGridFile(const std::string& path) {
    const char* drivers[] = {"GEODEM", nullptr};
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER, drivers, nullptr, nullptr);
    EXPECT_NE(ds, nullptr) << path << ": " << CPLGetLastErrorMsg();
    if (!ds) return {};
    Grid g = Read(ds);
    GDALClose(ds);
    return g;
  }
  // What gdalwarp -te makes of the source over the extent, on the source's grid.
  static Grid WarpCut(const std::string& source, double west, double south, double east,
                      double north) {
    std::vector<std::string> words = {"-of",
                                      "MEM",
                                      "-te",
                                      std::to_string(west),
                                      std::to_string(south),
                                      std::to_string(east),
                                      std::to_string(north),
                                      "-tr",
                                      "0.000277777777777778",
                                      "0.000277777777777778",
                                      "-dstnodata",
                                      "-9999"};
    CPLStringList argv;
    for (const std::string& w : words) argv.AddString(w.c_str());
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.List(), nullptr);
    GDALDatasetH src = GDALOpen(source.c_str(), GA_ReadOnly);
    GDALDatasetH out = GDALWarp("", nullptr, 1, &src, options, nullptr);
    GDALWarpAppOptionsFree(options);
    Grid g = Read(out);
    GDALClose(out);
    GDALClose(src);
    return g;
  }
};

TEST_F(SheetsEndToEnd, GeographicDemGivesItsFourSheetsEqualToAWarpCut) {
  const std::string source = GeographicDem();
  ProcessResult r = GeodemProcess::Geodem(
      {"sheets", "--scale", "50000", "-q", "--out-dir", dir_ / "out", source});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Outputs(dir_ / "out"),
            (std::vector<std::string>{"J50E001009", "J50E001010", "J50E002009", "J50E002010"}));
  for (const std::string& number : Outputs(dir_ / "out")) {
    ProcessResult extent = GeodemProcess::Geodem({"sheets", "--extent", number});
    double w, s, e, n;
    ASSERT_EQ(std::sscanf(extent.out.c_str(), "%lf %lf %lf %lf", &w, &s, &e, &n), 4);
    Grid grid = ReadGridFile(dir_ / ("out/" + number + ".dem"));
    ASSERT_EQ(grid.width, 900) << number;
    ASSERT_EQ(grid.height, 600) << number;
    EXPECT_NEAR(grid.transform[0], w, 1e-9) << number;
    EXPECT_NEAR(grid.transform[3], n, 1e-9) << number;
    const std::string header = TempDir::ReadFile(dir_ / ("out/" + number + ".dem")).substr(0, 200);
    EXPECT_NE(header.find("\nD"), std::string::npos) << header;

    Grid cut = WarpCut(source, w, s, e, n);
    ASSERT_EQ(cut.cells.size(), grid.cells.size());
    std::size_t noData = 0, differ = 0;
    for (std::size_t i = 0; i < cut.cells.size(); ++i) {
      noData += std::isnan(grid.cells[i]);
      bool same = std::isnan(cut.cells[i]) ? std::isnan(grid.cells[i])
                                           : std::fabs(cut.cells[i] - grid.cells[i]) < 0.006;
      differ += !same;
    }
    EXPECT_EQ(differ, 0u) << number;
    // The source ends at 39.8 N, 120 rows into the southern sheets' 600.
    EXPECT_EQ(noData, number.substr(4, 3) == "002" ? 480u * 900 : 0u) << number;
  }
}

// Cells of a sheet outside every source are no data whatever marks the sources' own no data: a
// no-data value, a mask, nothing at all (an alpha band the cut adds), and across two pieces of a
// mosaic. The sources hold 116.0-116.25 E, 39.8167-39.9 N: 240 of J50E001009's 600 rows.
TEST_F(SheetsEndToEnd, CellsOutsideTheSourcesAreNoDataWhateverMarksTheirOwn) {
  auto piece = [&](const std::string& name, double west, int width, std::optional<double> noData,
                   bool mask) {
    TestRaster r;
    r.width = width;
    r.height = 300;
    r.type = GDT_Int16;
    r.epsg = 4490;
    r.noData = noData;
    r.geoTransform = {west, kSecond, 0, 39.9, 0, -kSecond};
    std::string path = Write(r, name);
    if (mask) {  // the first row masked out
      GDALDatasetH ds = GDALOpen(path.c_str(), GA_Update);
      GDALCreateDatasetMaskBand(ds, GMF_PER_DATASET);
      GDALRasterBandH m = GDALGetMaskBand(GDALGetRasterBand(ds, 1));
      std::vector<GByte> row(static_cast<std::size_t>(width), 255);
      for (int y = 0; y < 300; ++y) {
        row.assign(row.size(), y == 0 ? 0 : 255);
        EXPECT_EQ(GDALRasterIO(m, GF_Write, 0, y, width, 1, row.data(), width, 1, GDT_Byte, 0, 0),
                  CE_None);
      }
      GDALClose(ds);
    }
    return path;
  };
  struct Case {
    const char* what;
    std::vector<std::string> sources;
    std::size_t noData;
  } cases[] = {
      {"no-data value", {piece("nodata.tif", 116.0, 900, -1.0, false)}, 360 * 900},
      {"nothing", {piece("plain.tif", 116.0, 900, std::nullopt, false)}, 360 * 900},
      {"mask", {piece("mask.tif", 116.0, 900, std::nullopt, true)}, 361 * 900},
      {"mosaic",
       {piece("west.tif", 116.0, 450, -1.0, false), piece("east.tif", 116.125, 450, -1.0, false)},
       360 * 900},
  };
  for (const Case& c : cases) {
    const std::string out = dir_ / c.what;
    std::vector<std::string> args = {"sheets", "--scale", "50000", "-q", "--out-dir", out};
    args.insert(args.end(), c.sources.begin(), c.sources.end());
    ProcessResult r = GeodemProcess::Geodem(args);
    ASSERT_EQ(r.status, 0) << c.what << "\n" << r.err;
    Grid grid = ReadGridFile(out + "/J50E001009.dem");
    std::size_t noData = 0;
    for (double cell : grid.cells) noData += std::isnan(cell);
    EXPECT_EQ(noData, c.noData) << c.what;
  }
}

// EPSG:4547 is CGCS2000 / 3-degree Gauss-Kruger CM 114E; the source, 100 m cells, holds
// 114.0-115.0 E, 38.0-38.67 N with a margin.
TEST_F(SheetsEndToEnd, GaussKrugerWindowsHoldTheTransformedSheetsAndTheBuffer) {
  OGRSpatialReferenceH geo = OSRNewSpatialReference(nullptr), gk = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(geo, 4490);
  OSRImportFromEPSG(gk, 4547);
  OSRSetAxisMappingStrategy(geo, OAMS_TRADITIONAL_GIS_ORDER);
  OSRSetAxisMappingStrategy(gk, OAMS_TRADITIONAL_GIS_ORDER);
  OGRCoordinateTransformationH toGk = OCTNewCoordinateTransformation(geo, gk);
  double minx, miny, maxx, maxy;
  ASSERT_TRUE(
      OCTTransformBounds(toGk, 114.0, 38.0, 115.0, 38.0 + 2 / 3.0, &minx, &miny, &maxx, &maxy, 21));
  TestRaster r;
  r.epsg = 4547;
  r.noData = kNoData;
  r.geoTransform = {std::floor(minx / 100) * 100 - 2000, 100, 0,
                    std::ceil(maxy / 100) * 100 + 2000,  0,   -100};
  r.width = static_cast<int>((maxx - r.geoTransform[0]) / 100) + 40;
  r.height = static_cast<int>((r.geoTransform[3] - miny) / 100) + 40;
  r.cell = [](int, int x, int y) { return 500 + x * 0.5 - y * 0.25; };
  const std::string source = Write(r, "gk.tif");

  ProcessResult list = GeodemProcess::Geodem(
      {"sheets", "--scale", "100000", "--buffer", "3", "--list", "--json", source});
  ASSERT_EQ(list.status, 0) << list.err;
  int inside = 0;
  for (std::size_t at = list.out.find("{\"number\""); at != std::string::npos;
       at = list.out.find("{\"number\"", at + 1)) {
    char number[16];
    double w, s, e, n;
    long column, row, columns, rows;
    ASSERT_EQ(std::sscanf(list.out.c_str() + at,
                          "{\"number\":\"%10[^\"]\",\"west\":%lf,\"south\":%lf,\"east\":%lf,"
                          "\"north\":%lf,\"column\":%ld,\"row\":%ld,\"columns\":%ld,\"rows\":%ld",
                          number, &w, &s, &e, &n, &column, &row, &columns, &rows),
              9);
    const double left = r.geoTransform[0] + column * 100, top = r.geoTransform[3] - row * 100;
    const double right = left + columns * 100, bottom = top - rows * 100;
    for (double lon : {w, (w + e) / 2, e}) {
      for (double lat : {s, (s + n) / 2, n}) {
        double x = lon, y = lat;
        ASSERT_TRUE(OCTTransform(toGk, 1, &x, &y, nullptr));
        EXPECT_GE(x - left, 3 * 100) << number;
        EXPECT_GE(right - x, 3 * 100) << number;
        EXPECT_GE(top - y, 3 * 100) << number;
        EXPECT_GE(y - bottom, 3 * 100) << number;
      }
    }
    // The sheets inside the source: 114-115 E, 38-38.67 N at 1:100 000 are J50D005001 to
    // J50D006002.
    if (w >= 114.0 && e <= 115.0 && s >= 38.0 - 1e-9 && n <= 38.0 + 2 / 3.0 + 1e-9) ++inside;
  }
  EXPECT_EQ(inside, 4) << list.out;
  OCTDestroyCoordinateTransformation(toGk);
  OSRDestroySpatialReference(geo);
  OSRDestroySpatialReference(gk);

  ProcessResult r2 = GeodemProcess::Geodem(
      {"sheets", "--scale", "100000", "--buffer", "3", "-q", "--out-dir", dir_ / "out", source});
  ASSERT_EQ(r2.status, 0) << r2.err;
  for (const char* number : {"J50D005001", "J50D005002", "J50D006001", "J50D006002"}) {
    Grid grid = ReadGridFile(dir_ / ("out/" + std::string(number) + ".dem"));
    ASSERT_FALSE(grid.cells.empty()) << number;
    std::size_t noData = 0;
    for (double c : grid.cells) noData += std::isnan(c);
    EXPECT_EQ(noData, 0u) << number;
  }
}

// Stopped after its first sheets and run again, and as the two tasks of a Slurm job array, a
// sheet set ends as the uninterrupted run does.
TEST_F(SheetsEndToEnd, InterruptedResumedAndShardedRunsEqualOneRun) {
  const std::string source = GeographicDem();
  auto run = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"sheets", "--scale",   "25000",    "-q",  "-j",
                                     "1",      "--out-dir", dir_ / out, source};
    args.insert(args.end(), extra.begin(), extra.end());
    return GeodemProcess::Geodem(args);
  };
  ProcessResult whole = run("whole", {});
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::vector<std::string> sheets = Outputs(dir_ / "whole");
  ASSERT_EQ(sheets.size(), 12u);

  std::vector<std::string> argv = {
      GeodemProcess::Binary(), "sheets", "--scale", "25000", "-q", "-j", "1", "--out-dir",
      dir_ / "resumed",        source};
  pid_t pid = 0;
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  ASSERT_EQ(posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ), 0);
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0 &&
         (!fs::exists(dir_ / "resumed") || Outputs(dir_ / "resumed").size() < 2))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ::kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  ASSERT_LT(Outputs(dir_ / "resumed").size(), sheets.size()) << "nothing was left to resume";
  ProcessResult resumed = run("resumed", {});
  ASSERT_EQ(resumed.status, 0) << resumed.err;

  for (const char* task : {"0", "1"}) {
    ::setenv("SLURM_ARRAY_TASK_ID", task, 1);
    ::setenv("SLURM_ARRAY_TASK_MIN", "0", 1);
    ::setenv("SLURM_ARRAY_TASK_MAX", "1", 1);
    ::setenv("SLURM_ARRAY_TASK_COUNT", "2", 1);
    ProcessResult shard = run("array", {});
    EXPECT_EQ(shard.status, 0) << shard.err;
  }
  for (const char* name : {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_MAX",
                           "SLURM_ARRAY_TASK_COUNT"})
    ::unsetenv(name);

  for (const char* out : {"resumed", "array"}) {
    ASSERT_EQ(Outputs(dir_ / out), sheets) << out;
    for (const std::string& number : sheets)
      EXPECT_EQ(TempDir::ReadFile(dir_ / (std::string(out) + "/" + number + ".dem")),
                TempDir::ReadFile(dir_ / ("whole/" + number + ".dem")))
          << out << " " << number;
  }
}

// The arithmetic on the command line, and every refusal with its reason and exit status 2.
TEST_F(SheetsEndToEnd, CommandLineArithmeticAndRefusals) {
  const std::string source = GeographicDem();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* expected;  // on stdout for 0, on stderr otherwise
  } cases[] = {
      {{"--scale", "50000", "--number-of", "116.4736,39.9083"}, 0, "J50E001010\n"},
      {{"--scale", "1000000", "--number-of", "116,40"}, 0, "K50\n"},
      {{"--extent", "J50E001010"}, 0, "116.25 39.833333333333336 116.5 40\n"},
      {{"--extent", "J50E001010", "--json"},
       0,
       "{\"number\":\"J50E001010\",\"scale\":50000,\"west\":116.25,\"south\":39.833333333333336,"
       "\"east\":116.5,\"north\":40}\n"},
      {{"--extent", "J50E025001"}, 2, "001 to 024"},
      {{"--scale", "50000", "--number-of", "116,75"}, 2, "outside the sheet grid"},
      {{"--scale", "50000", "--number-of", "116.4"}, 2, "LON,LAT"},
      {{"--scale", "2000", "--number-of", "116,40"}, 2, "not a scale of the sheet grid"},
      {{"--scale", "50000", "--buffer", "0", "--list", source}, 0, "J50E002010"},
      {{"--scale", "50000", "--buffer", "10000", "--list", source}, 0, "J50E002010"},
      {{"--scale", "50000", "--buffer", "-1", "--list", source}, 2, "--buffer"},
      {{"--scale", "50000", "--buffer", "10001", "--list", source}, 2, "--buffer"},
      {{"--scale", "50000", source}, 2, "--out-dir"},
      {{"--scale", "50000", "--list", "--extent", "J50", source}, 2, "one of"},
      {{"--scale", "50000", "--plan-only", "--format-version", "GRD_2007", "--out-dir",
        dir_ / "plan", source},
       2,
       "--plan-only writes the plan and converts nothing, so it takes no --format-version"},
      {{"--scale", "50000", "--list", "--html", dir_ / "list.html", source}, 2, "--html goes"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"sheets"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcessResult r = GeodemProcess::Geodem(args);
    const std::string where = c.args[0] + " " + c.args[1] + " " + c.args.back();
    EXPECT_EQ(r.status, c.status) << where << "\n" << r.err;
    const bool listing = std::find(c.args.begin(), c.args.end(), "--list") != c.args.end();
    if (c.status == 0 && !listing)
      EXPECT_EQ(r.out, c.expected) << where;
    else
      EXPECT_NE((c.status ? r.err : r.out).find(c.expected), std::string::npos) << where << "\n"
                                                                                << r.out << r.err;
  }
}

// A sheet is made from its cut and its sources: a run with another --buffer, or over a source
// that changed, converts the sheets again without --force, naming what changed.
TEST_F(SheetsEndToEnd, AnotherBufferOrAChangedSourceConvertsTheSheetsAgain) {
  const std::string source = GeographicDem();
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"sheets",    "--scale",    "50000", "-q",
                                     "--out-dir", dir_ / "out", source};
    args.insert(args.end(), extra.begin(), extra.end());
    return GeodemProcess::Geodem(args);
  };
  auto columns = [&](const std::string& number) {
    return ReadGridFile(dir_ / ("out/" + number + ".dem")).width;
  };
  ASSERT_EQ(run({}).status, 0);
  const std::vector<std::string> sheets = Outputs(dir_ / "out");
  ASSERT_FALSE(sheets.empty());
  const int before = columns(sheets[0]);

  ProcessResult r = run({"--buffer", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("the cut " + dir_ / ("out/sheets-plan/" + sheets[0] + ".vrt") + " changed"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(columns(sheets[0]), before + 10);

  GeographicDem(2);  // the same place in cells twice the size
  r = run({"--buffer", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("source " + source + " changed"), std::string::npos) << r.err;
  EXPECT_LT(columns(sheets[0]), before);

  // The report as geodem batch's, its page too.
  ProcessResult report =
      GeodemProcess::Geodem({"sheets", "--report", dir_ / "out", "--html", dir_ / "sheets.html"});
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_NE(TempDir::ReadFile(dir_ / "sheets.html").find(sheets[0] + ".dem"), std::string::npos);
}

// A set moved to another folder is judged by its own files, and the report says the journal
// was written elsewhere.
TEST_F(SheetsEndToEnd, AMovedSetReportsItsOwnFiles) {
  const std::string source = GeographicDem(10);
  ASSERT_EQ(GeodemProcess::Geodem({"sheets", "--scale", "50000", "-q", "--out-dir", dir_ / "out",
                                   source})
                .status,
            0);
  const std::size_t sheets = Outputs(dir_ / "out").size();
  ASSERT_GT(sheets, 1u);
  fs::rename(dir_ / "out", dir_ / "moved");
  ProcessResult report = GeodemProcess::Geodem({"sheets", "--report", dir_ / "moved", "--json"});
  EXPECT_EQ(report.status, 0) << report.out << report.err;
  EXPECT_NE(report.out.find("\"done\": " + std::to_string(sheets) + ","), std::string::npos)
      << report.out;
  EXPECT_NE(report.err.find("was written in " + dir_ / "out"), std::string::npos) << report.err;
}

// A source reaching past the sheet grid is cut into the sheets inside it, with one warning that
// names how far the sources reach; one wholly outside it is refused.
TEST_F(SheetsEndToEnd, SourcesBeyondTheSheetGridGiveTheSheetsInsideIt) {
  TestRaster r;
  r.width = r.height = 400;
  r.type = GDT_Float32;
  r.epsg = 4490;
  const struct {
    double west, north;
    int status;
    const char* said;  // on stdout for 0, on stderr otherwise
  } cases[] = {
      {-2, 62, 0, "O31  "},
      {-10, 62, 1, "is outside the sheet grid"},
  };
  for (const auto& c : cases) {
    r.geoTransform = {c.west, 0.01, 0, c.north, 0, -0.01};
    const std::string source = Write(r, "wide.tif");
    ProcessResult run = GeodemProcess::Geodem({"sheets", "--scale", "1000000", "--list", source});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE((c.status ? run.err : run.out).find(c.said), std::string::npos) << run.out << run.err;
    if (c.status) continue;
    EXPECT_EQ(run.out.find("\n", run.out.find("\n") + 1), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: the sources reach from -2 to 2 degrees of longitude and from "
                           "58 to 62 degrees of latitude; the sheet grid covers"),
              std::string::npos)
        << run.err;
  }
}

// The plan's files are replaced on every run: never inside a folder another user made.
TEST_F(SheetsEndToEnd, APlanFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to nobody";
  const std::string source = GeographicDem();
  fs::create_directories(dir_ / "out/sheets-plan");
  ASSERT_EQ(::chown((dir_ / "out/sheets-plan").c_str(), 65534, 65534), 0);
  ProcessResult r = GeodemProcess::Geodem(
      {"sheets", "--scale", "50000", "-q", "--out-dir", dir_ / "out", source});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a folder of yours"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(dir_ / "out/sheets-plan"));
}

}  // namespace
