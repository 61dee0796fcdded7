// Grid files written through the driver (CreateCopy, Create, gdal_translate, gdalwarp), compared
// with what geodem convert writes for the same source, and the failures that must leave no file.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>

#include "GeodemDriverTest.h"
#include "apps/geodem/GeodemProcess.h"
#include "host/AtomicFile.h"
#include "host/TargetFileLock.h"

using namespace geodem_driver_test;

namespace {

std::vector<const char*> Options(const std::vector<std::string>& options) {
  std::vector<const char*> list;
  for (const std::string& o : options) list.push_back(o.c_str());
  list.push_back(nullptr);
  return list;
}

// A source as a GeoTIFF: the surface's cells in the given type, its no-data cells holding noData.
std::string WriteSource(const std::string& path, const SourceRaster& r, GDALDataType type,
                        std::optional<double> noData, int bands = 1,
                        const std::vector<std::string>& creationOptions = {}) {
  std::vector<const char*> list = Options(creationOptions);
  Dataset ds(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), r.cols, r.rows, bands, type,
                        const_cast<char**>(list.data())));
  EXPECT_TRUE(ds);
  std::array<double, 6> transform = r.transform;
  GDALSetGeoTransform(ds.get(), transform.data());
  if (!r.wkt.empty()) GDALSetProjection(ds.get(), r.wkt.c_str());
  for (int b = 1; b <= bands; ++b) {
    std::vector<double> cells(r.cells.begin(), r.cells.end());
    for (double& c : cells) c = c == static_cast<float>(kInvalid) ? noData.value_or(0) : c + b - 1;
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), b);
    if (noData) GDALSetRasterNoDataValue(band, *noData);
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.cols, r.rows, cells.data(), r.cols, r.rows,
                           GDT_Float64, 0, 0),
              CE_None);
  }
  return path;
}

// CreateCopy through the driver; whether a dataset came back.
bool CreateCopy(const std::string& target, GDALDatasetH source,
                const std::vector<std::string>& options = {}, GDALProgressFunc progress = nullptr,
                void* progressData = nullptr) {
  std::vector<const char*> list = Options(options);
  Dataset out(GDALCreateCopy(GDALGetDriverByName("GEODEM"), target.c_str(), source, FALSE,
                             const_cast<char**>(list.data()), progress, progressData));
  return out != nullptr;
}

// Create through the driver, the source's georeference, no-data value and band 1 written into it,
// then closed.
void CreateAndFill(const std::string& target, GDALDatasetH source,
                   const std::vector<std::string>& options = {}) {
  const int cols = GDALGetRasterXSize(source), rows = GDALGetRasterYSize(source);
  GDALRasterBandH from = GDALGetRasterBand(source, 1);
  std::vector<const char*> list = Options(options);
  Dataset ds(GDALCreate(GDALGetDriverByName("GEODEM"), target.c_str(), cols, rows, 1,
                        GDALGetRasterDataType(from), const_cast<char**>(list.data())));
  ASSERT_TRUE(ds) << CPLGetLastErrorMsg();
  double transform[6];
  if (GDALGetGeoTransform(source, transform) == CE_None) GDALSetGeoTransform(ds.get(), transform);
  GDALSetProjection(ds.get(), GDALGetProjectionRef(source));
  GDALRasterBandH to = GDALGetRasterBand(ds.get(), 1);
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(from, &hasNoData);
  if (hasNoData) GDALSetRasterNoDataValue(to, noData);
  std::vector<double> cells(static_cast<std::size_t>(cols) * rows);
  ASSERT_EQ(GDALRasterIO(from, GF_Read, 0, 0, cols, rows, cells.data(), cols, rows, GDT_Float64, 0,
                         0),
            CE_None);
  ASSERT_EQ(GDALRasterIO(to, GF_Write, 0, 0, cols, rows, cells.data(), cols, rows, GDT_Float64, 0,
                         0),
            CE_None);
  // What GRASS's r.out.gdal and QGIS attach beside the heights, whatever the band's type.
  GDALColorTableH colours = GDALCreateColorTable(GPI_RGB);
  const GDALColorEntry green{0, 128, 0, 255};
  GDALSetColorEntry(colours, 0, &green);
  EXPECT_EQ(GDALSetRasterColorTable(to, colours), CE_None) << CPLGetLastErrorMsg();
  GDALDestroyColorTable(colours);
  const char* categories[] = {"low", "high", nullptr};
  EXPECT_EQ(GDALSetRasterCategoryNames(to, const_cast<char**>(categories)), CE_None);
  GDALRasterAttributeTableH table = GDALCreateRasterAttributeTable();
  EXPECT_EQ(GDALSetDefaultRAT(to, table), CE_None);
  GDALDestroyRasterAttributeTable(table);
}

std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class GeodemDriverWrite : public testing::Test {
 protected:
  // geodem convert needs the writer registered, in a registry of the tests' own; gdal_translate
  // and gdalwarp find the plug-in through GDAL_DRIVER_PATH.
  static void SetUpTestSuite() {
    LoadPlugin();
    registry_ = new TempDir;
    ::setenv("GEODEM_REGISTRY", (*registry_ / "registry").c_str(), 1);
    ::setenv("GDAL_DRIVER_PATH", GEODEM_GDAL_PLUGIN_DIR, 1);
    registered_ = GeodemProcess::Geodem({"register"}).status == 0;
  }
  static void TearDownTestSuite() {
    ::unsetenv("GDAL_DRIVER_PATH");
    delete registry_;
  }

  static ProcessResult Convert(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"convert", "-q", "--prj"};
    all.insert(all.end(), args.begin(), args.end());
    return GeodemProcess::Geodem(all);
  }

  static inline TempDir* registry_ = nullptr;
  static inline bool registered_ = false;
  TempDir m_dir;
};

struct SameBytesCase {
  const char* version;
  GDALDataType type;
  std::optional<double> noData;
  int epsg;
  std::array<double, 6> transform;
  std::int32_t zoom;
  double gridNoData;
  // Large enough for several reads of tiles, whose rows are not a whole number of tiles.
  bool tiledAndLarge = false;
};

class GeodemDriverSameBytes : public GeodemDriverWrite,
                              public testing::WithParamInterface<SameBytesCase> {};

// CreateCopy and Create + write + close give geodem convert's grid file and .prj, byte for byte.
TEST_P(GeodemDriverSameBytes, AsGeodemConvertWrites) {
  ASSERT_TRUE(registered_) << "geodem register failed; is the writer module built?";
  const SameBytesCase& c = GetParam();
  const std::string source =
      c.tiledAndLarge
          ? WriteSource(m_dir / "source.tif", Surface(1030, 1100, c.transform, Wkt(c.epsg)),
                        c.type, c.noData, 1,
                        {"TILED=YES", "BLOCKXSIZE=64", "BLOCKYSIZE=48", "COMPRESS=DEFLATE"})
          : WriteSource(m_dir / "source.tif", Surface(53, 27, c.transform, Wkt(c.epsg)), c.type,
                        c.noData);
  const std::string zoom = std::to_string(c.zoom),
                    noData = std::to_string(static_cast<std::int64_t>(c.gridNoData));
  const ProcessResult convert = Convert(
      {"--format-version", c.version, "--zoom", zoom, "--nodata", noData, source, m_dir / "g.dem"});
  ASSERT_EQ(convert.status, 0) << convert.err;
  const std::vector<std::string> options = {std::string("VERSION=") + c.version, "ZOOM=" + zoom,
                                            "NODATA=" + noData};
  Dataset src(GDALOpen(source.c_str(), GA_ReadOnly));
  ASSERT_TRUE(CreateCopy(m_dir / "copy.dem", src.get(), options)) << CPLGetLastErrorMsg();
  CreateAndFill(m_dir / "created.dem", src.get(), options);

  const std::string expected = TempDir::ReadFile(m_dir / "g.dem");
  const std::string prj = TempDir::ReadFile(m_dir / "g.prj");
  ASSERT_FALSE(prj.empty());
  // Another no-data value than the default is recorded beside each grid, alike.
  const bool aux = c.gridNoData != -99999;
  for (const char* name : {"copy", "created"}) {
    EXPECT_EQ(TempDir::ReadFile(m_dir / (std::string(name) + ".dem")), expected) << name;
    EXPECT_EQ(TempDir::ReadFile(m_dir / (std::string(name) + ".prj")), prj) << name;
    if (aux) {
      EXPECT_EQ(TempDir::ReadFile(m_dir / (std::string(name) + ".dem.aux.xml")),
                TempDir::ReadFile(m_dir / "g.dem.aux.xml"))
          << name;
    }
  }
  std::vector<std::string> files{"copy.dem", "copy.prj", "created.dem", "created.prj",
                                 "g.dem",    "g.prj",    "source.tif"};
  if (aux)
    files.insert(files.end(), {"copy.dem.aux.xml", "created.dem.aux.xml", "g.dem.aux.xml"});
  std::sort(files.begin(), files.end());
  EXPECT_EQ(FilesIn(m_dir), files);
}

INSTANTIATE_TEST_SUITE_P(
    , GeodemDriverSameBytes,
    testing::Values(
        SameBytesCase{"GRD_2007", GDT_Float32, -9999.9, 32650, {500012.5, 2.5, 0, 4400007.25, 0,
                                                               -2.5}, 100, -99999},
        SameBytesCase{"GRD_1999", GDT_Int16, -32768, 4326,
                      {116.123456789, 1.0 / 1200, 0, 40.987654321, 0, -1.0 / 1200}, 1, -32768},
        SameBytesCase{"GEODEM", GDT_Float64, std::nullopt, 4490,
                      {73.5, 1.0 / 3600, 0, 53.5, 0, -1.0 / 3600}, 1000, -9999},
        SameBytesCase{"GRD_2007", GDT_Float32, -9999.9, 32650, {500012.5, 2.5, 0, 4400007.25, 0,
                                                               -2.5}, 100, -99999, true}),
    [](const auto& info) {
      return std::string(info.param.version) + (info.param.tiledAndLarge ? "_tiled" : "");
    });

// A GeoTIFF still open for writing, whose cells are in GDAL's block cache and not yet on disk,
// gives the grid that the same file gives once closed.
TEST_F(GeodemDriverWrite, CellsStillInGdalsCacheAreTheOnesWritten) {
  const SourceRaster r = Surface(300, 260, {500012.5, 2.5, 0, 4400007.25, 0, -2.5}, Wkt(32650));
  const std::string path = m_dir / "open.tif";
  const std::vector<std::string> tiles = {"TILED=YES", "BLOCKXSIZE=64", "BLOCKYSIZE=64"};
  std::vector<const char*> list = Options(tiles);  // pointers into tiles
  {
    Dataset open(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), r.cols, r.rows, 1,
                            GDT_Float32, const_cast<char**>(list.data())));
    ASSERT_TRUE(open);
    std::array<double, 6> transform = r.transform;
    GDALSetGeoTransform(open.get(), transform.data());
    GDALSetProjection(open.get(), r.wkt.c_str());
    GDALRasterBandH band = GDALGetRasterBand(open.get(), 1);
    GDALSetRasterNoDataValue(band, kInvalid);
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.cols, r.rows,
                           const_cast<float*>(r.cells.data()), r.cols, r.rows, GDT_Float32, 0, 0),
              CE_None);
    ASSERT_TRUE(CreateCopy(m_dir / "cached.dem", open.get())) << CPLGetLastErrorMsg();
  }
  Dataset closed(GDALOpen(path.c_str(), GA_ReadOnly));
  ASSERT_TRUE(CreateCopy(m_dir / "closed.dem", closed.get())) << CPLGetLastErrorMsg();
  EXPECT_EQ(TempDir::ReadFile(m_dir / "cached.dem"), TempDir::ReadFile(m_dir / "closed.dem"));
}

// gdal_translate -of GEODEM, and gdalwarp -of GEODEM through a reprojection (its source is then a
// warped VRT), against the same commands writing GeoTIFF: every cell within half a zoom unit, no
// data where GDAL put no data, the same geotransform and coordinate system.
TEST_F(GeodemDriverWrite, CommandLineToolsWriteGridsThatReadBack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a plug-in built with AddressSanitizer cannot load into GDAL's own tools";
#endif
  const std::string source =
      WriteSource(m_dir / "source.tif", Surface(60, 45, {500000, 30, 0, 4400000, 0, -30},
                                                Wkt(32650)),
                  GDT_Float32, -9999);
  const std::vector<std::vector<std::string>> commands = {
      {"gdal_translate", "-q"},
      {"gdalwarp", "-q", "-t_srs", "EPSG:4326", "-r", "bilinear"},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> grid = command, tiff = command;
    for (const char* a : {"-of", "GEODEM", "-co", "ZOOM=10"}) grid.push_back(a);
    grid.insert(grid.end(), {source, m_dir / (command[0] + ".dem")});
    tiff.insert(tiff.end(), {"-of", "GTiff", source, m_dir / (command[0] + ".tif")});
    const ProcessResult written = GeodemProcess::Run(grid);
    ASSERT_EQ(written.status, 0) << written.err;
    ASSERT_EQ(GeodemProcess::Run(tiff).status, 0);

    Dataset ds = OpenGrid(m_dir / (command[0] + ".dem"));
    Dataset reference(GDALOpen((m_dir / (command[0] + ".tif")).c_str(), GA_ReadOnly));
    ASSERT_TRUE(ds && reference);
    ASSERT_EQ(GDALGetRasterXSize(ds.get()), GDALGetRasterXSize(reference.get()));
    ASSERT_EQ(GDALGetRasterYSize(ds.get()), GDALGetRasterYSize(reference.get()));
    double t[6], r[6];
    GDALGetGeoTransform(ds.get(), t);
    GDALGetGeoTransform(reference.get(), r);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(t[i], r[i], 1e-9) << i;
    // ESRI WKT, what the .prj holds, says nothing about the axis order of geographic systems.
    const char* criterion[] = {"CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS",
                               "IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    EXPECT_TRUE(OSRIsSameEx(GDALGetSpatialRef(ds.get()), GDALGetSpatialRef(reference.get()),
                            criterion));

    const std::vector<double> cells = ReadBand(ds.get()), expected = ReadBand(reference.get());
    int noData = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (expected[i] == -9999) {
        EXPECT_EQ(cells[i], -99999) << i;
        ++noData;
      } else {
        EXPECT_NEAR(cells[i] / 10, expected[i], 0.05 + 1e-9) << i;
      }
    }
    EXPECT_GT(noData, 0);
  }
}

struct FailureCase {
  const char* name;
  std::vector<std::string> options;
  std::string message;  // a part of the failure's message
};

// Each failure of CreateCopy: a CE_Failure with its message, no dataset, and no file left.
TEST_F(GeodemDriverWrite, FailuresSayWhyAndLeaveNoFile) {
  const SourceRaster surface = Surface(30, 20, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
  const std::string source = WriteSource(m_dir / "source.tif", surface, GDT_Float32, -9999);
  Dataset north(GDALOpen(source.c_str(), GA_ReadOnly));
  const std::vector<FailureCase> cases = {
      {"version", {"VERSION=GRD_2000"}, "VERSION=GRD_2000: expected GRD_2007, GRD_1999 or GEODEM"},
      {"zoom zero", {"ZOOM=0"}, "ZOOM=0: expected a whole number from 1"},
      {"zoom fraction", {"ZOOM=0.5"}, "ZOOM=0.5: expected a whole number from 1"},
      {"no data", {"NODATA=abc"}, "NODATA=abc: expected a whole number from -2147483648 to"},
      {"no data fraction", {"NODATA=1.5"}, "NODATA=1.5: expected a whole number from"},
      {"no data range", {"NODATA=2147483648"}, "NODATA=2147483648: expected a whole number"},
      {"no data below range", {"NODATA=-2147483649"}, "NODATA=-2147483649: expected a whole"},
      {"zoom range", {"ZOOM=2147483648"}, "ZOOM=2147483648: expected a whole number from 1"},
      {"prj", {"PRJ=maybe"}, "PRJ=maybe: expected YES or NO"},
      {"band", {"BAND=2"}, "BAND=2: expected a band number from 1 to 1"},
  };
  for (const FailureCase& c : cases) {
    QuietGdal quiet;
    EXPECT_FALSE(CreateCopy(m_dir / "out.dem", north.get(), c.options)) << c.name;
    EXPECT_EQ(CPLGetLastErrorType(), CE_Failure) << c.name;
    EXPECT_NE(std::string(CPLGetLastErrorMsg()).find(c.message), std::string::npos)
        << c.name << ": " << CPLGetLastErrorMsg();
    std::vector<const char*> list = Options(c.options);
    EXPECT_EQ(GDALCreate(GDALGetDriverByName("GEODEM"), (m_dir / "out.dem").c_str(), 20, 30, 1,
                         GDT_Float32, const_cast<char**>(list.data())),
              nullptr)
        << c.name;
    EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{"source.tif"}) << c.name;
  }
}

// A rotated source, one without geotransform, a cancel and a folder that cannot be written: through
// CreateCopy and, for the sources, through Create (a geotransform refused when it is set) and close
// (a failure that stays GDAL's last error and keeps the caller's raster).
TEST_F(GeodemDriverWrite, SourcesAndTargetsThatCannotBeWrittenLeaveNoFile) {
  const SourceRaster surface = Surface(30, 20, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
  SourceRaster rotated = surface, southUp = surface;
  rotated.transform = {500000, 5, 0.5, 4400000, 0.5, -5};
  southUp.transform = {500000, 5, 0, 4400000, 0, 5};
  TempDir sources;
  Dataset north(GDALOpen(WriteSource(sources / "north.tif", surface, GDT_Float32, -9999).c_str(),
                         GA_ReadOnly));
  struct Case {
    const char* name;
    Dataset source;
    std::string message;
    std::string refused;  // what SetGeoTransform says on the Create path
  };
  Case cases[] = {
      {"rotated", Dataset(GDALOpen(WriteSource(sources / "r.tif", rotated, GDT_Float32, -9999)
                                       .c_str(),
                                   GA_ReadOnly)),
       "r.tif is rotated or sheared; warp it to a north-up raster first (gdalwarp)",
       "The geotransform given for " + (m_dir / "out.dem") + " is rotated or sheared"},
      {"south up", Dataset(GDALOpen(WriteSource(sources / "s.tif", southUp, GDT_Float32, -9999)
                                        .c_str(),
                                    GA_ReadOnly)),
       "s.tif is not north-up", "The geotransform given for " + (m_dir / "out.dem") +
                                    " is not north-up"},
      {"no geotransform",
       Dataset(GDALCreate(GDALGetDriverByName("MEM"), "", 20, 30, 1, GDT_Float32, nullptr)),
       "has no georeferencing (geotransform)", ""},
  };
  for (Case& c : cases) {
    QuietGdal quiet;
    ASSERT_TRUE(c.source) << c.name;
    EXPECT_FALSE(CreateCopy(m_dir / "out.dem", c.source.get())) << c.name;
    EXPECT_NE(std::string(CPLGetLastErrorMsg()).find(c.message), std::string::npos)
        << c.name << ": " << CPLGetLastErrorMsg();
    CreateAndFill(m_dir / "out.dem", c.source.get());
    EXPECT_TRUE(c.refused.empty() ||
                std::any_of(quiet.messages.begin(), quiet.messages.end(),
                            [&](const std::string& m) { return m.starts_with(c.refused); }))
        << c.name;
    // Closing writes the grid, which has no georeference then.
    EXPECT_EQ(CPLGetLastErrorType(), CE_Failure) << c.name;
    const std::string keptName = "out.dem." + std::to_string(::getpid()) + ".tif";
    const std::string kept = m_dir / keptName;
    EXPECT_TRUE(std::string(CPLGetLastErrorMsg())
                    .ends_with("The raster written to it is kept in " + kept + "."))
        << c.name << ": " << CPLGetLastErrorMsg();
    EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{keptName}) << c.name;
    std::filesystem::remove(kept);
  }

  QuietGdal quiet;
  EXPECT_FALSE(CreateCopy(m_dir / "out.dem", north.get(), {"ZOOM=100000000"}));
  EXPECT_TRUE(std::string(CPLGetLastErrorMsg())
                  .starts_with("ZOOM=100000000 pushes the height "))
      << CPLGetLastErrorMsg();
  EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{});
  // The cell named is the one that does not fit, counted from 1.
  SourceRaster peak = surface;
  peak.cells[6 * peak.cols + 12] = 1e6f;
  Dataset peaked(GDALOpen(WriteSource(sources / "peak.tif", peak, GDT_Float32, -9999).c_str(),
                          GA_ReadOnly));
  EXPECT_FALSE(CreateCopy(m_dir / "out.dem", peaked.get(), {"ZOOM=10000"}));
  EXPECT_NE(std::string(CPLGetLastErrorMsg()).find("(row 7, column 13 of"), std::string::npos)
      << CPLGetLastErrorMsg();

  int calls = 0;
  auto cancelHalfway = [](double done, const char*, void* data) -> int {
    ++*static_cast<int*>(data);
    return done < 0.5;
  };
  EXPECT_FALSE(CreateCopy(m_dir / "out.dem", north.get(), {}, cancelHalfway, &calls));
  EXPECT_EQ(CPLGetLastErrorNo(), CPLE_UserInterrupt);
  EXPECT_STREQ(CPLGetLastErrorMsg(),
               ("Writing " + (m_dir / "out.dem") + " was cancelled; the unfinished new file is removed.")
                   .c_str());
  EXPECT_EQ(calls, 16);  // the start, then rows 1 to 15 of 30
  EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{});

  // A full disk is told in the system's words, not guessed.
  EXPECT_FALSE(CreateCopy("/dev/full", north.get()));
  EXPECT_STREQ(CPLGetLastErrorMsg(),
               "Cannot write /dev/full: No space left on device; the unfinished new file is removed.");

  // Root writes into read-only folders; a folder under /proc is closed to everyone.
  const std::string locked = m_dir / "locked";
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0555);
  const std::string folder = ::access(locked.c_str(), W_OK) == 0 ? "/proc/geodem" : locked;
  EXPECT_FALSE(CreateCopy(folder + "/out.dem", north.get()));
  EXPECT_TRUE(std::string(CPLGetLastErrorMsg()).starts_with("Cannot create " + folder))
      << CPLGetLastErrorMsg();
  EXPECT_FALSE(GDALCreate(GDALGetDriverByName("GEODEM"), (folder + "/out.dem").c_str(), 20, 30, 1,
                          GDT_Float32, nullptr));
  EXPECT_TRUE(std::filesystem::is_empty(locked));
  ::chmod(locked.c_str(), 0755);
}

// The Create path's failures, each as the caller meets it: a write the zoom cannot hold fails
// there and then; closing fails with the reason; the GeoTIFF is kept only when it holds cells the
// caller wrote (the last failure names it), never when every write was refused or none was made.
TEST_F(GeodemDriverWrite, CreatePathFailuresSayWhyAndKeepOnlyWrittenCells) {
  const std::string keptSuffix = "." + std::to_string(::getpid()) + ".tif";
  double northUp[6] = {500000, 30, 0, 4400000, 0, -30};
  double rotated[6] = {500000, 30, 5, 4400000, 5, -30};
  const struct Case {
    const char* name;
    std::vector<std::string> options;
    double* transform;
    double cell;   // every cell written, but the one at (12, 6)
    double peak;   // that one
    double scale;  // the band's scale set after the writes; 1 for none
    const char* writeRefused;  // the start of the write's failure, none when it succeeds
    const char* closing;       // what the failure at closing says after "<target> is not written: "
    bool kept;
    bool wholeDataset;  // written through the dataset, as rasterio writes, not the band
  } cases[] = {
      {"rotated, nothing written", {}, rotated, NAN, NAN, 1, nullptr,
       "no geotransform was set on it (SetGeoTransform), and a grid needs its corner and cell size. "
       "No cell was written to it.",
       false, false},
      {"a height the zoom cannot hold", {"ZOOM=10000"}, northUp, 0, 1e6, 1,
       "ZOOM=10000 pushes the height 1000000 (row 7, column 13 of ",
       "a write to it failed: ZOOM=10000 pushes the height 1000000", false, false},
      {"a height no zoom holds", {}, northUp, 0, 1e12, 1,
       "ZOOM=100 pushes the height 1e+12 (row 7, column 13 of ",
       "a write to it failed: ZOOM=100 pushes the height 1e+12", false, false},
      {"a scale set after the cells", {}, northUp, 100, 100, 1e6, nullptr,
       "ZOOM=100 pushes the height 100000000", true, false},
      {"a dataset-wide write the zoom cannot hold", {"ZOOM=10000000"}, northUp, 1000, 1000, 1,
       nullptr, "ZOOM=10000000 pushes the height 1000 ", true, true},
  };
  for (const Case& c : cases) {
    QuietGdal quiet;
    const std::string target = m_dir / "c.dem";
    std::vector<const char*> list = Options(c.options);
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GEODEM"), target.c_str(), 20, 10, 1,
                                 GDT_Float32, const_cast<char**>(list.data()));
    ASSERT_NE(ds, nullptr) << c.name << ": " << CPLGetLastErrorMsg();
    GDALSetGeoTransform(ds, c.transform);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (!std::isnan(c.cell)) {
      std::vector<double> cells(200, c.cell);
      cells[6 * 20 + 12] = c.peak;
      const CPLErr written =
          c.wholeDataset
              ? GDALDatasetRasterIO(ds, GF_Write, 0, 0, 20, 10, cells.data(), 20, 10, GDT_Float64,
                                    1, nullptr, 0, 0, 0)
              : GDALRasterIO(band, GF_Write, 0, 0, 20, 10, cells.data(), 20, 10, GDT_Float64, 0, 0);
      EXPECT_EQ(written, c.writeRefused ? CE_Failure : CE_None) << c.name;
      const std::string refusal = CPLGetLastErrorMsg();
      if (c.writeRefused) {
        EXPECT_TRUE(refusal.starts_with(c.writeRefused)) << c.name << ": " << refusal;
      }
      // A height that no zoom holds is no matter of the zoom: the cell is to be mended.
      if (c.peak > 1e10) {
        EXPECT_TRUE(refusal.ends_with(", as any zoom would; if it means no data, make it the "
                                      "band's no-data value, else correct the heights."))
            << refusal;
      }
    }
    if (c.scale != 1) GDALSetRasterScale(band, c.scale);
    CPLErrorReset();
    GDALClose(ds);
    const std::string said = CPLGetLastErrorMsg();
    EXPECT_EQ(CPLGetLastErrorType(), CE_Failure) << c.name;
    EXPECT_TRUE(said.starts_with(target + " is not written: " + c.closing)) << c.name << ": " << said;
    const std::vector<std::string> left = FilesIn(m_dir);
    if (c.kept) {
      EXPECT_TRUE(said.ends_with("kept in " + target + keptSuffix + ".")) << c.name << ": " << said;
      EXPECT_EQ(left, std::vector<std::string>{"c.dem" + keptSuffix}) << c.name;
    } else {
      EXPECT_EQ(left, std::vector<std::string>{}) << c.name;
    }
    for (const std::string& f : left) std::filesystem::remove(m_dir / f);
  }
}

// A Create-path dataset closed on a full file system: the failure names the system's reason and
// the GeoTIFF kept with the cells written (gdal_create fills them), in a tmpfs of a mount
// namespace of the test's own, with room for the GeoTIFF but not for the grid's text.
TEST_F(GeodemDriverWrite, CreateClosedOnAFullFileSystemKeepsTheCellsWritten) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a plug-in built with AddressSanitizer cannot load into GDAL's own tools";
#endif
  if (GeodemProcess::Run({"unshare", "-rm", "true"}).status != 0)
    GTEST_SKIP() << "no mount namespace here";
  const std::string small = m_dir / "small";
  std::filesystem::create_directory(small);
  const ProcessResult r = GeodemProcess::Run(
      {"unshare", "-rm", "sh", "-c",
       "mount -t tmpfs -o size=720k tmpfs \"$0\" && gdal_create -q -of GEODEM -outsize 256 256 "
       "-ot Float32 -burn 100 -a_srs EPSG:32650 -a_ullr 500000 4400000 507680 4392320 "
       "\"$0/c.dem\"; ls -A \"$0\"",
       small});
  EXPECT_NE(r.err.find(small + "/c.dem is not written: Cannot write " + small +
                       "/c.dem: No space left on device;"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("The raster written to it is kept in " + small + "/c.dem."),
            std::string::npos)
      << r.err;
  // Only the kept GeoTIFF: no grid file, no part of one.
  EXPECT_TRUE(r.out.starts_with("c.dem.") && r.out.ends_with(".tif\n") &&
              r.out.find('\n') == r.out.size() - 1)
      << r.out;
}

// A source of several bands: a warning names the band written, BAND chooses another.
// A writer at work keeps the others off its file; what a writer that died left (its lock and its
// unfinished file) the next one clears away.
TEST_F(GeodemDriverWrite, OneWriterAFileAndNoLeftoversOfADeadOne) {
  const std::string target = m_dir / "out.dem";
  Dataset north(GDALOpen(WriteSource(m_dir / "north.tif",
                                     Surface(30, 20, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650)),
                                     GDT_Float32, -9999)
                             .c_str(),
                         GA_ReadOnly));
  {
    TargetFileLock other;
    ASSERT_EQ(other.Acquire(target), TargetFileLock::Result::kLocked);
    QuietGdal quiet;
    EXPECT_FALSE(CreateCopy(target, north.get()));
    EXPECT_NE(std::string(CPLGetLastErrorMsg())
                  .find(target + " is being written by another conversion (process " +
                        std::to_string(::getpid()) + ")"),
              std::string::npos)
        << CPLGetLastErrorMsg();
  }
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  TempDir::WriteFile(TargetFileLock::LockPathOf(target), std::to_string(dead));
  TempDir::WriteFile(AtomicFile::TemporaryPathOf(target, dead), "half a grid");
  ASSERT_TRUE(CreateCopy(target, north.get())) << CPLGetLastErrorMsg();
  EXPECT_EQ(FilesIn(m_dir), (std::vector<std::string>{"north.tif", "out.dem", "out.prj"}));
}

TEST_F(GeodemDriverWrite, BandOptionChoosesTheBandOfSeveral) {
  const SourceRaster surface = Surface(12, 9, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
  Dataset source(GDALOpen(
      WriteSource(m_dir / "source.tif", surface, GDT_Float32, -9999, 3).c_str(), GA_ReadOnly));
  for (int band : {1, 3}) {
    QuietGdal quiet;
    const std::string target = m_dir / ("band" + std::to_string(band) + ".dem");
    ASSERT_TRUE(CreateCopy(target, source.get(), {"BAND=" + std::to_string(band)}));
    EXPECT_TRUE(quiet.Saw("source " + (m_dir / "source.tif") + " has 3 bands: band " +
                          std::to_string(band) +
                          " is converted (the creation option BAND chooses another)"));
    Dataset grid = OpenGrid(target);
    const std::vector<double> cells = ReadBand(grid.get());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (surface.cells[i] == static_cast<float>(kInvalid)) continue;
      EXPECT_NEAR(cells[i] / 100, surface.cells[i] + band - 1, 0.005 + 1e-6) << i;
    }
  }
}

// What geodem convert --prj and gdal_translate -of GEODEM write for a source, opened again
// through the driver; the two must read back alike.
std::vector<Dataset> BothWays(const TempDir& dir, const std::string& source,
                              const std::vector<std::string>& zoom) {
  std::vector<std::string> convert = {"convert", "-q", "--prj", "--overwrite"};
  std::vector<std::string> translate = {"gdal_translate", "-q", "-of", "GEODEM"};
  if (!zoom.empty()) {
    convert.insert(convert.end(), {"--zoom", zoom[0]});
    translate.insert(translate.end(), {"-co", "ZOOM=" + zoom[0]});
  }
  convert.insert(convert.end(), {source, dir / "convert.dem"});
  translate.insert(translate.end(), {source, dir / "translate.dem"});
  std::vector<Dataset> read;
  for (const ProcessResult& r : {GeodemProcess::Geodem(convert), GeodemProcess::Run(translate)}) {
    EXPECT_EQ(r.status, 0) << r.err;
  }
  for (const char* name : {"convert.dem", "translate.dem"}) read.push_back(OpenGrid(dir / name));
  return read;
}

// The longitude and latitude (WGS 84) of a point in a dataset's coordinate system.
std::array<double, 2> LonLat(OGRSpatialReferenceH srs, double x, double y) {
  OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(wgs84, 4326);
  OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
  OGRCoordinateTransformationH to = OCTNewCoordinateTransformation(srs, wgs84);
  EXPECT_TRUE(to);
  if (to) OCTTransform(to, 1, &x, &y, nullptr);
  OCTDestroyCoordinateTransformation(to);
  OSRDestroySpatialReference(wgs84);
  return {x, y};
}

// The coordinate system's code survives the .prj (EPSG:4490 and its zones, 4326, UTM), and a
// source in kilometres is written in metres at the same place, by geodem and by the driver.
TEST_F(GeodemDriverWrite, CoordinateSystemsReadBackWithTheirCodeAndPlace) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a plug-in built with AddressSanitizer cannot load into GDAL's own tools";
#endif
  ASSERT_TRUE(registered_);
  struct Case {
    const char* srs;
    std::array<double, 6> transform;
    const char* code;  // nullptr: none expected
    double toHeader;   // the header's coordinates per source unit
  };
  const Case cases[] = {
      {"EPSG:4490", {113.5, 0.0005, 0, 23.25, 0, -0.0005}, "4490", 1},
      {"EPSG:4547", {500000, 5, 0, 2570000, 0, -5}, "4547", 1},
      {"EPSG:4326", {113.5, 0.0005, 0, 23.25, 0, -0.0005}, "4326", 1},
      {"EPSG:32650", {500000, 5, 0, 4400000, 0, -5}, "32650", 1},
      {"+proj=lcc +lat_1=30 +lat_2=60 +lat_0=40 +lon_0=105 +datum=WGS84 +units=km",
       {-778.75, 1, 0, 500, 0, -1}, nullptr, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.srs);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    ASSERT_EQ(OSRSetFromUserInput(srs, c.srs), OGRERR_NONE);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    char* wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    const std::string source =
        WriteSource(m_dir / "source.tif", Surface(6, 5, c.transform, wkt), GDT_Float32, -9999);
    CPLFree(wkt);
    for (const Dataset& grid : BothWays(m_dir, source, {})) {
      ASSERT_TRUE(grid);
      OGRSpatialReferenceH read = GDALGetSpatialRef(grid.get());
      ASSERT_TRUE(read);
      if (c.code) {
        EXPECT_STREQ(OSRGetAuthorityCode(read, nullptr), c.code);
      }
      double t[6];
      GDALGetGeoTransform(grid.get(), t);
      EXPECT_DOUBLE_EQ(t[1], c.transform[1] * c.toHeader);
      // The far corner lies where the source's does.
      const double x = c.transform[0] + 5 * c.transform[1], y = c.transform[3] + 6 * c.transform[5];
      const std::array<double, 2> want = LonLat(srs, x, y);
      const std::array<double, 2> got = LonLat(read, t[0] + 5 * t[1], t[3] + 6 * t[5]);
      EXPECT_NEAR(got[0], want[0], 1e-9);
      EXPECT_NEAR(got[1], want[1], 1e-9);
    }
    OSRDestroySpatialReference(srs);
  }
}

// Heights at zoom 1 become the nearest integer, halves away from zero, to the last ulp and at both
// ends of the 32-bit range, whether geodem or the driver writes them.
TEST_F(GeodemDriverWrite, HalvesRoundAwayFromZeroToTheLastUlp) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a plug-in built with AddressSanitizer cannot load into GDAL's own tools";
#endif
  ASSERT_TRUE(registered_);
  const std::pair<double, double> cases[] = {
      {0.49999999999999994, 0},  {-0.49999999999999994, 0},  {0.5, 1},
      {-0.5, -1},                {1.4999999999999998, 1},    {-1.4999999999999998, -1},
      {2.5, 3},                  {-2.5, -3},                 {2147483647.4999998, 2147483647},
      {-2147483648.4999995, -2147483648.0}, {-2147483647.4, -2147483647}, {7, 7}};
  const int n = static_cast<int>(std::size(cases));
  Dataset mem(GDALCreate(GDALGetDriverByName("GTiff"), (m_dir / "halves.tif").c_str(), n, 1, 1,
                         GDT_Float64, nullptr));
  double transform[6] = {500000, 5, 0, 4400000, 0, -5};
  GDALSetGeoTransform(mem.get(), transform);
  GDALSetProjection(mem.get(), Wkt(32650).c_str());
  std::vector<double> heights;
  for (const auto& [height, cell] : cases) heights.push_back(height);
  ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(mem.get(), 1), GF_Write, 0, 0, n, 1, heights.data(), n,
                         1, GDT_Float64, 0, 0),
            CE_None);
  mem.reset();
  for (const Dataset& grid : BothWays(m_dir, m_dir / "halves.tif", {"1"})) {
    ASSERT_TRUE(grid);
    const std::vector<double> cells = ReadBand(grid.get());
    for (int i = 0; i < n; ++i) EXPECT_EQ(cells[i], cases[i].second) << cases[i].first;
  }
}

// The .prj is part of the dataset: GDAL's Rename and Delete take it along.
TEST_F(GeodemDriverWrite, RenameAndDeleteCarryThePrj) {
  const SourceRaster surface = Surface(12, 9, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
  TempDir sources;
  Dataset source(GDALOpen(WriteSource(sources / "source.tif", surface, GDT_Float32, -9999).c_str(),
                          GA_ReadOnly));
  ASSERT_TRUE(CreateCopy(m_dir / "a.dem", source.get()));
  EXPECT_EQ(FilesIn(m_dir), (std::vector<std::string>{"a.dem", "a.prj"}));
  GDALDriverH driver = GDALGetDriverByName("GEODEM");
  ASSERT_EQ(GDALRenameDataset(driver, (m_dir / "b.dem").c_str(), (m_dir / "a.dem").c_str()),
            CE_None);
  EXPECT_EQ(FilesIn(m_dir), (std::vector<std::string>{"b.dem", "b.prj"}));
  ASSERT_EQ(GDALDeleteDataset(driver, (m_dir / "b.dem").c_str()), CE_None);
  EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{});
}

// GDAL's delete contract, whoever calls: when the call returns, nothing of the set is left for
// whatever is written at the name next to take for its own.
TEST_F(GeodemDriverWrite, DeleteRemovesTheWholeSetWhoeverCalls) {
  const SourceRaster surface = Surface(6, 5, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
  TempDir sources;
  Dataset source(GDALOpen(WriteSource(sources / "source.tif", surface, GDT_Float32, -9999).c_str(),
                          GA_ReadOnly));
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GEODEM");
  const std::string grid = m_dir / "a.dem";
  const std::pair<const char*, std::function<CPLErr()>> callers[] = {
      {"GDALDeleteDataset with the driver",
       [&] { return GDALDeleteDataset(driver, grid.c_str()); }},
      {"GDALDeleteDataset, the driver found", [&] { return GDALDeleteDataset(nullptr, grid.c_str()); }},
      {"GDALDriver::QuietDelete", [&] { return driver->QuietDelete(grid.c_str()); }},
  };
  for (const auto& [who, call] : callers) {
    SCOPED_TRACE(who);
    ASSERT_TRUE(CreateCopy(grid, source.get()));
    ASSERT_EQ(std::rename((m_dir / "a.prj").c_str(), (m_dir / "a.PRJ").c_str()), 0);
    TempDir::WriteFile(grid + ".aux.xml", "<PAMDataset/>");
    EXPECT_EQ(call(), CE_None);
    EXPECT_EQ(FilesIn(m_dir), std::vector<std::string>{});
  }
}

}  // namespace
