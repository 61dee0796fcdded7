// The built geodem program on rasters made here, its grid files compared with what the format
// gives for the source cells (worked out in ExpectedGrid, never by the writer's own code).
#include <gdal_utils.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ExpectedGrid.h"
#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "TestRasters.h"
#include "support/TempDir.h"

namespace {

const char* const kVersions[] = {"GRD_2007", "GRD_1999", "GEODEM"};

TEST(ExpectedGrid, MatchesTheFormatsWorkedExample) {
  ExpectedGrid g;
  g.version = "GRD_2007";
  g.x0 = 100, g.y0 = 900, g.dx = 25, g.dy = 25;
  g.rows = 2, g.cols = 3;
  g.cells = {1.5, 2.25, -3.0, 0.0, 10.0, -1};
  g.sourceNoData = -1;
  EXPECT_EQ(g.Text(),
            "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
            "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\n"
            "Col: 3\r\nValueType: Integer\r\nHzoom: 100\r\nXYUnit: M\r\nZUnit: M\r\n\r\n"
            "   150    225    -300 \r\n\r\n   0    1000    -99999 \r\n\r\n");
}

// What fails before the writer is looked for needs no registry.
TEST(GeodemProgram, UsageErrorsExitWithTwo) {
  ProcessResult r = GeodemProcess::Geodem({"convert", "only-one.tif"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(r.err.empty());
  r = GeodemProcess::Geodem({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("geodem ", 0), 0u) << r.out;
}

TEST(GeodemProgram, MissingOrUnreadableSources) {
  TempDir dir;
  ProcessResult r = GeodemProcess::Geodem({"convert", dir / "missing.tif", dir / "out.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.tif"), std::string::npos) << r.err;
  TempDir::WriteFile(dir / "notes.tif", "not a raster");
  r = GeodemProcess::Geodem({"convert", dir / "notes.tif", dir / "out.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error:"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.dem"));
}

// A projected Float32 surface with negative, zero, half and fractional heights.
TestRaster ProjectedFloat32() {
  TestRaster r;
  r.width = 37;
  r.height = 23;
  r.epsg = 32650;
  r.geoTransform = {500000.5, 30, 0, 4000000.25, 0, -30};
  r.cell = [](int, int x, int y) { return (x - 18) * 1.255 + (y - 11) * 0.5; };
  return r;
}

// gdal_translate of `from` to `to` with the options given.
bool Translate(const std::string& from, const std::string& to, std::vector<std::string> options) {
  CPLStringList list;
  for (const std::string& o : options) list.AddString(o.c_str());
  GDALTranslateOptions* parsed = GDALTranslateOptionsNew(list.List(), nullptr);
  GDALDatasetH source = GDALOpen(from.c_str(), GA_ReadOnly);
  GDALDatasetH made = GDALTranslate(to.c_str(), source, parsed, nullptr);
  GDALTranslateOptionsFree(parsed);
  GDALClose(source);
  if (made) GDALClose(made);
  return made != nullptr;
}

// A VRT over tiles of side x side cells cut from `from`.
bool TiledVrt(const std::string& from, const std::string& vrt, int width, int height, int side) {
  std::vector<std::string> tiles;
  for (int y = 0; y < height; y += side)
    for (int x = 0; x < width; x += side) {
      tiles.push_back(vrt + "." + std::to_string(tiles.size()) + ".tif");
      if (!Translate(from, tiles.back(),
                     {"-srcwin", std::to_string(x), std::to_string(y),
                      std::to_string(std::min(side, width - x)),
                      std::to_string(std::min(side, height - y))}))
        return false;
    }
  std::vector<const char*> names;
  for (const std::string& t : tiles) names.push_back(t.c_str());
  GDALDatasetH made = GDALBuildVRT(vrt.c_str(), static_cast<int>(names.size()), nullptr,
                                   names.data(), nullptr, nullptr);
  if (made) GDALClose(made);
  return made != nullptr;
}

// A geographic Int16 surface with no-data cells.
TestRaster GeographicInt16() {
  TestRaster r;
  r.width = 25;
  r.height = 12;
  r.type = GDT_Int16;
  r.epsg = 4326;
  r.geoTransform = {116.25, 1.0 / 1200, 0, 40.5, 0, -1.0 / 1200};
  r.noData = -9999;
  r.cell = [](int, int x, int y) { return (x + y) % 7 == 0 ? -9999 : x * 37 - y * 11 + 100; };
  return r;
}

TestRaster Float64Surface() {
  TestRaster r;
  r.width = 12;
  r.height = 9;
  r.type = GDT_Float64;
  r.epsg = 3857;
  r.geoTransform = {12958000.125, 12.5, 0, 4852000.75, 0, -12.5};
  r.cell = [](int, int x, int y) { return 1234.56789 * (x + 1) / (y + 1) - 500; };
  return r;
}

TEST(GeodemProgram, TwoSourcesForOneFileAreRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "x");
  std::filesystem::create_directories(dir.Path() / "y");
  ASSERT_TRUE(ProjectedFloat32().WriteGTiff(dir / "x/dem.tif"));
  ASSERT_TRUE(Float64Surface().WriteGTiff(dir / "y/dem.tif"));
  ProcessResult r =
      GeodemProcess::Geodem({"convert", dir / "x/dem.tif", dir / "y/dem.tif", dir / "out/"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("dem.dem"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST_F(GeodemEndToEnd, EachSourceKindInTheThreeLayouts) {
  const std::pair<const char*, TestRaster> kinds[] = {{"float32.tif", ProjectedFloat32()},
                                                      {"int16.tif", GeographicInt16()},
                                                      {"float64.tif", Float64Surface()}};
  for (const auto& [name, raster] : kinds) {
    std::string source = Write(raster, name);
    for (const char* version : kVersions) {
      SCOPED_TRACE(std::string(name) + " " + version);
      std::string output = dir_ / (std::string(name) + "." + version + ".dem");
      ProcessResult r =
          Convert({"--format-version", version, "--block-size", "16", source, output});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(TempDir::ReadFile(output), Expect(raster, source, version).Text());
      EXPECT_FALSE(std::filesystem::exists(output + ".tmp"));
    }
  }
}

// The grid does not depend on how the source stores its cells: tiles, strips, one compressed strip,
// NetCDF chunks or a VRT over tiles are each read in their own order.
TEST_F(GeodemEndToEnd, EverySourceLayoutGivesTheSameGrid) {
  TestRaster raster = ProjectedFloat32();
  raster.width = 150;
  raster.height = 130;
  raster.noData = -9999;
  raster.cell = [](int, int x, int y) {
    return (x * 7 + y) % 97 == 0 ? -9999 : x * 0.37 - y * 1.25;
  };
  const std::string plain = Write(raster, "plain.tif");
  const std::string expected = Expect(raster, plain).Text();
  const struct {
    const char* name;
    std::vector<std::string> options;
  } layouts[] = {
      {"tiles.tif", {"-co", "TILED=YES", "-co", "BLOCKXSIZE=16", "-co", "BLOCKYSIZE=16"}},
      {"strips.tif", {"-co", "BLOCKYSIZE=7", "-co", "COMPRESS=LZW"}},
      {"one_strip.tif", {"-co", "BLOCKYSIZE=130", "-co", "COMPRESS=DEFLATE"}},
      {"chunks.nc", {"-of", "netCDF", "-co", "FORMAT=NC4"}},
  };
  std::vector<std::string> sources;
  for (const auto& layout : layouts) {
    sources.push_back(dir_ / layout.name);
    ASSERT_TRUE(Translate(plain, sources.back(), layout.options)) << layout.name;
  }
  sources.push_back(dir_ / "mosaic.vrt");
  ASSERT_TRUE(TiledVrt(plain, sources.back(), raster.width, raster.height, 30));
  for (const std::string& source : sources) {
    // Windows that cross the source's blocks, with and without margins.
    for (const char* overlap : {"0", "6"}) {
      SCOPED_TRACE(source + " overlap " + overlap);
      const std::string output = dir_ / "out.dem";
      ProcessResult r = Convert(
          {"-q", "--overwrite", "--block-size", "40", "--overlap", overlap, source, output});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(TempDir::ReadFile(output), expected);
    }
  }
  // A VRT over 195 files under a low limit on open files.
  const std::string many = dir_ / "many.vrt";
  ASSERT_TRUE(TiledVrt(plain, many, raster.width, raster.height, 10));
  ProcessResult r = GeodemProcess::Run({"bash", "-c", "ulimit -n 24 && exec \"$0\" \"$@\"",
                                        GeodemProcess::Binary(), "convert", "-q", "--overwrite",
                                        many, dir_ / "out.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out.dem"), expected);
}

// A source whose row of blocks does not fit in a quarter of the memory the process may use (here
// under an address-space limit of 600000 KiB) is refused before anything is read or written.
TEST_F(GeodemEndToEnd, SourceWhoseRowOfBlocksCannotBeCachedIsRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  const std::string source = dir_ / "one_strip.tif";
  const char* options[] = {"COMPRESS=DEFLATE", "BLOCKYSIZE=6600", nullptr};
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), source.c_str(), 6600, 6600, 1,
                               GDT_Float32, const_cast<char**>(options));
  ASSERT_NE(ds, nullptr);
  double geoTransform[] = {500000, 10, 0, 4400000, 0, -10};
  GDALSetGeoTransform(ds, geoTransform);
  GDALFillRaster(GDALGetRasterBand(ds, 1), 5, 0);
  GDALClose(ds);
  const std::string output = dir_ / "one_strip.dem";
  ProcessResult r = GeodemProcess::Run({"bash", "-c", "ulimit -v 600000 && exec \"$0\" \"$@\"",
                                        GeodemProcess::Binary(), "convert", source, output});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: reading " + source + " needs "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("to hold a row of its blocks of 6600 x 6600 cells (166 MiB), more than the "
                       "146 MiB (a quarter of the memory available)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("gdal_translate -co TILED=YES " + source), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_FALSE(std::filesystem::exists(output + ".tmp"));
}

TEST_F(GeodemEndToEnd, ShowsProgressLogAndStatisticsOnStderr) {
  std::string source = Write(ProjectedFloat32(), "dem.tif");
  ProcessResult r = Convert({source, dir_ / "dem.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("0...10...20...30"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("100 - done."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("info:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("输出对象统计"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  // -q: nothing but what went wrong.
  r = Convert({"-q", "--overwrite", source, dir_ / "dem.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  r = Convert({"-q", source, dir_ / "dem.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("info:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("error:"), std::string::npos) << r.err;
}

TEST_F(GeodemEndToEnd, MosaicOfTwoHalvesEqualsTheWhole) {
  TestRaster whole = ProjectedFloat32();
  whole.noData = -9999;
  whole.cell = [](int, int x, int y) { return x == y ? -9999 : x * 0.75 - y * 1.5; };
  TestRaster left = whole, right = whole;
  left.width = 20;
  right.width = whole.width - 20;
  right.geoTransform[0] += 20 * whole.geoTransform[1];
  right.cell = [&whole](int b, int x, int y) { return whole.cell(b, x + 20, y); };
  std::string wholePath = Write(whole, "whole.tif");
  ProcessResult r = Convert({"--block-size", "8", wholePath, dir_ / "whole.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "whole.dem"), Expect(whole, wholePath).Text());

  r = Convert({"--block-size", "8", Write(left, "left.tif"), Write(right, "right.tif"),
               dir_ / "mosaic.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "mosaic.dem"), TempDir::ReadFile(dir_ / "whole.dem"));
}

TEST_F(GeodemEndToEnd, FolderAndSeparateGiveOneFilePerSource) {
  TestRaster a = ProjectedFloat32(), b = Float64Surface();
  std::string pathA = Write(a, "a.tif"), pathB = Write(b, "b.tif");
  ProcessResult r = Convert({pathA, pathB, dir_ / "out/"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out/a.dem"), Expect(a, pathA).Text());
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out/b.dem"), Expect(b, pathB).Text());

  r = Convert({"--separate", pathA, pathB, dir_ / "area.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "area_a.dem"), Expect(a, pathA).Text());
  EXPECT_EQ(TempDir::ReadFile(dir_ / "area_b.dem"), Expect(b, pathB).Text());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "area.dem"));
}

TEST_F(GeodemEndToEnd, OverlapGivesTheSameFileAsNone) {
  TestRaster r = ProjectedFloat32();
  r.width = 150;
  r.height = 130;
  std::string source = Write(r, "big.tif");
  ProcessResult plain = Convert({"--block-size", "64", source, dir_ / "plain.dem"});
  ProcessResult overlapped =
      Convert({"--block-size", "64", "--overlap", "8", source, dir_ / "overlap.dem"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(overlapped.status, 0) << overlapped.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "overlap.dem"), TempDir::ReadFile(dir_ / "plain.dem"));
  EXPECT_EQ(TempDir::ReadFile(dir_ / "plain.dem"), Expect(r, source).Text());
}

TEST_F(GeodemEndToEnd, OwnMappingFileAndExplicitOptionsOnTop) {
  TestRaster raster = GeographicInt16();
  std::string source = Write(raster, "dem.tif");
  std::string mapping = dir_ / "job.xml";
  TempDir::WriteFile(
      mapping,
      "<?xml version=\"1.0\"?>\n<HVX_MappingFile>\n"
      "  <WRITER_DIRECTIVE><KeyValuePair><Key>LOG_OUTPUT</Key><Value>YES</Value>"
      "</KeyValuePair></WRITER_DIRECTIVE>\n"
      "  <WRITER_PARAMETER>\n"
      "    <KeyValuePair><Key>VERSION</Key><Value>GRD_1999</Value></KeyValuePair>\n"
      "    <KeyValuePair><Key>DEM_ZOOM</Key><Value>5</Value></KeyValuePair>\n"
      "    <KeyValuePair><Key>RASTER_NODATA</Key><Value>-32000</Value></KeyValuePair>\n"
      "  </WRITER_PARAMETER>\n</HVX_MappingFile>\n");
  ExpectedGrid expected = Expect(raster, source, "GRD_1999");
  expected.zoom = 5;
  expected.noDataOut = -32000;
  ProcessResult r = Convert({"--mapping", mapping, source, dir_ / "file.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "file.dem"), expected.Text());

  // An explicit option overrides the file; what is not given keeps the file's value.
  expected.zoom = 10;
  r = Convert({"--mapping", mapping, "--zoom", "10", source, dir_ / "zoom.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "zoom.dem"), expected.Text());
}

TEST_F(GeodemEndToEnd, WriterParametersFromTheCommandLine) {
  TestRaster raster = GeographicInt16();
  std::string source = Write(raster, "dem.tif");
  ExpectedGrid expected = Expect(raster, source, "GRD_2007");
  expected.zoom = 1;
  expected.noDataOut = -1;
  ProcessResult r = Convert(
      {"-p", "VERSION=GRD_2007", "-p", "DEM_ZOOM=1", "--nodata", "-1", source, dir_ / "p.dem"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "p.dem"), expected.Text());
}

TEST_F(GeodemEndToEnd, ExistingOutputIsKeptWithoutOverwrite) {
  std::string source = Write(ProjectedFloat32(), "dem.tif");
  const std::string output = dir_ / "dem.dem", before = "an earlier grid file\r\n";
  TempDir::WriteFile(output, before);
  ProcessResult r = Convert({source, output});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(output), std::string::npos) << r.err;
  EXPECT_EQ(TempDir::ReadFile(output), before);
  EXPECT_FALSE(std::filesystem::exists(output + ".tmp"));

  // The same for a mosaic, which the writer converts when the target is closed.
  TestRaster other = ProjectedFloat32();
  other.geoTransform[0] += other.width * other.geoTransform[1];
  r = Convert({source, Write(other, "east.tif"), output});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(TempDir::ReadFile(output), before);

  r = Convert({"--overwrite", source, output});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(output), Expect(ProjectedFloat32(), source).Text());
}

TEST_F(GeodemEndToEnd, OutputFolderThatCannotBeCreated) {
  std::string source = Write(ProjectedFloat32(), "dem.tif");
  TempDir::WriteFile(dir_ / "file", "a file where a folder would have to be");
  ProcessResult r = Convert({source, dir_ / "file/sub/out.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("file/sub"), std::string::npos) << r.err;
}

TEST_F(GeodemEndToEnd, InvalidMappingFile) {
  std::string source = Write(ProjectedFloat32(), "dem.tif");
  TempDir::WriteFile(dir_ / "job.xml", "<HVX_MappingFile><WRITER_PARAMETER>");
  ProcessResult r = Convert({"--mapping", dir_ / "job.xml", source, dir_ / "out.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("job.xml"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.dem"));
  r = Convert({"--mapping", dir_ / "none.xml", source, dir_ / "out.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("none.xml"), std::string::npos) << r.err;
}

TEST_F(GeodemEndToEnd, SourcesThatCannotBeMosaicked) {
  TestRaster coarse = ProjectedFloat32();
  coarse.geoTransform[1] = 60;
  coarse.geoTransform[5] = -60;
  ProcessResult r = Convert(
      {Write(ProjectedFloat32(), "fine.tif"), Write(coarse, "coarse.tif"), dir_ / "mosaic.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("their cell sizes differ (30 x 30 and 60 x 60)"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "mosaic.dem"));
}

// A file system of 256 KiB, mounted in a mount namespace of the test's own.
TEST_F(GeodemEndToEnd, DiskThatFillsUp) {
  TestRaster big = ProjectedFloat32();
  big.width = 300;
  big.height = 300;
  std::string source = Write(big, "big.tif");
  std::string small = dir_ / "small";
  std::filesystem::create_directories(small);
  std::string why;
  ProcessResult r = GeodemProcess::OnSmallDisk(
      small, "256k", {"convert", "--no-space-check", source, small + "/big.dem"}, why);
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("space"), std::string::npos) << r.err;
}

TEST_F(GeodemEndToEnd, UnregisteredWriterSaysHowToRegister) {
  std::string source = Write(ProjectedFloat32(), "dem.tif");
  ASSERT_EQ(GeodemProcess::Geodem({"unregister"}).status, 0);
  ProcessResult r = Convert({source, dir_ / "out.dem"});
  ASSERT_EQ(GeodemProcess::Geodem({"register"}).status, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("geodem register"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.dem"));
}

}  // namespace
