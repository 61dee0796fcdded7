#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/GridBandReader.h"
#include "host/CodePage.h"
#include "host/GeoCancel.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"
#include "support/Wkt.h"

namespace {

const double kInvalid = -FLT_MAX;  // the source's invalid value of a 32-bit float raster
const float kNaN = std::nanf("");

struct TestRaster {
  int rows = 0;
  int cols = 0;
  std::vector<float> cells;
  std::vector<double> doubles;  // the cells instead, for types wider than floats
  std::array<double, 6> transform{100, 25, 0, 900, 0, -25};
  std::string wkt;
};

TestRaster Raster(int rows, int cols, std::vector<float> cells) {
  TestRaster r;
  r.rows = rows;
  r.cols = cols;
  r.cells = std::move(cells);
  return r;
}

// A one-band raster counting 1, 2, 3, ... row by row.
TestRaster Counting(int rows, int cols) {
  std::vector<float> cells(static_cast<std::size_t>(rows) * cols);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<float>(i + 1);
  return Raster(rows, cols, std::move(cells));
}

// The temporary raster as the pipeline leaves it: HFA, one band (32-bit floats unless the source
// had another type), closed.
struct RasterFormat {
  const char* driver = "HFA";
  GDALDataType type = GDT_Float32;
  std::vector<const char*> options;
};

void CreateTemporaryRaster(const std::string& path, const TestRaster& r,
                           const RasterFormat& format = {}) {
  std::vector<char*> options;
  for (const char* o : format.options) options.push_back(const_cast<char*>(o));
  options.push_back(nullptr);
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName(format.driver), path.c_str(), r.cols, r.rows, 1,
                               format.type, options.data());
  ASSERT_NE(ds, nullptr);
  std::array<double, 6> transform = r.transform;
  GDALSetGeoTransform(ds, transform.data());
  if (!r.wkt.empty()) GDALSetProjection(ds, r.wkt.c_str());
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  if (r.doubles.empty()) {
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.cols, r.rows, const_cast<float*>(r.cells.data()),
                           r.cols, r.rows, GDT_Float32, 0, 0),
              CE_None);
  } else if (format.type == GDT_Byte) {
    // Signed bytes are stored as their bit patterns; GDAL would clamp negative values to 0.
    std::vector<std::uint8_t> bytes;
    for (double v : r.doubles) bytes.push_back(static_cast<std::uint8_t>(static_cast<int>(v)));
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.cols, r.rows, bytes.data(), r.cols, r.rows,
                           GDT_Byte, 0, 0),
              CE_None);
  } else {
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.cols, r.rows, const_cast<double*>(r.doubles.data()),
                           r.cols, r.rows, GDT_Float64, 0, 0),
              CE_None);
  }
  GDALClose(ds);
}

struct GridRun {
  int result = -1;
  std::string text;
  bool temporaryKept = false;
};

struct GridOptions {
  std::string version = "GEODEM";
  std::int32_t zoom = 100;
  double noData = -99999.0;
  std::vector<double> invalid{kInvalid};
  bool progress = true;
  bool log = true;
};

GridRun WriteGrid(const TestRaster& raster, const GridOptions& o = {},
                  const RasterFormat& format = {}) {
  TempDir dir;
  std::string final = dir / "out.dem";
  CreateTemporaryRaster(final + ".tmp", raster, format);
  DemWriterParameters params;
  params.version = o.version;
  params.zoom = o.zoom;
  params.noDataValue = o.noData;
  GridRun run;
  run.result = DemGridWriter(params, o.invalid, o.log, o.progress).Write(final, final + ".tmp");
  run.text = TempDir::ReadFile(final);
  run.temporaryKept = std::filesystem::exists(final + ".tmp");
  return run;
}

// What follows the header's empty line.
std::string DataSection(const std::string& text) {
  std::size_t end = text.find("\r\n\r\n");
  return end == std::string::npos ? "" : text.substr(end + 4);
}

std::string Header(const std::string& text) {
  std::size_t end = text.find("\r\n\r\n");
  return end == std::string::npos ? text : text.substr(0, end + 4);
}

// "   a    a+1 ... b " for a run of values.
std::string Values(int from, int to) {
  std::string s;
  for (int v = from; v <= to; ++v) s += "   " + std::to_string(v) + " ";
  return s;
}

class QuietGdal {
 public:
  QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
  ~QuietGdal() { CPLPopErrorHandler(); }
};

TEST(DemGridWriter, WritesTheWorkedExampleByteForByteAndDeletesTheTemporaryRaster) {
  GridOptions o;
  o.version = "GRD_2007";
  GridRun run = WriteGrid(Raster(2, 3, {1.5f, 2.25f, -3.0f, 0.0f, 10.0f, -FLT_MAX}), o);
  EXPECT_EQ(run.result, 1);
  EXPECT_FALSE(run.temporaryKept);
  EXPECT_EQ(run.text,
            "DataMark: CNSDTF-DEM\r\n"
            "Version: GB/T17798-2007\r\n"
            "Alpha: 0.000000\r\n"
            "Compress: 0\r\n"
            "X0: 100.000000\r\n"
            "Y0: 900.000000\r\n"
            "DX: 25.000000\r\n"
            "DY: 25.000000\r\n"
            "Row: 2\r\n"
            "Col: 3\r\n"
            "ValueType: Integer\r\n"
            "Hzoom: 100\r\n"
            "XYUnit: M\r\n"
            "ZUnit: M\r\n"
            "\r\n"
            "   150    225    -300 \r\n"
            "\r\n"
            "   0    1000    -99999 \r\n"
            "\r\n");
}

TEST(DemGridWriter, VersionSelectsTheLayoutIgnoringCase) {
  TestRaster raster = Raster(1, 2, {1.0f, 2.0f});
  raster.transform = {-12.5, 0.5, 0, 4000.25, 0, -0.75};
  const std::string data = "   100    200 \r\n\r\n";
  const std::string edition2007 =
      "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
      "X0: -12.500000\r\nY0: 4000.250000\r\nDX: 0.500000\r\nDY: 0.750000\r\nRow: 1\r\nCol: 2\r\n"
      "ValueType: Integer\r\nHzoom: 100\r\nXYUnit: M\r\nZUnit: M\r\n\r\n";
  const std::string edition1999 =
      "DataMark: CNSDTF-DEM\r\nVersion: 1.0\r\nUnit: M\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
      "X0: -12.500000\r\nY0: 4000.250000\r\nDX: 0.500000\r\nDY: 0.750000\r\nRow: 1\r\nCol: 2\r\n"
      "ValueType: Integer\r\nHzoom: 100\r\n\r\n";
  const std::string positional =
      "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n-12.500000\r\n4000.250000\r\n0.500000\r\n"
      "0.750000\r\n1\r\n2\r\n100\r\n\r\n";
  const std::pair<const char*, const std::string*> cases[] = {
      {"GRD_2007", &edition2007}, {"grd_2007", &edition2007}, {"Grd_1999", &edition1999},
      {"GEODEM", &positional},    {"GRD_2008", &positional},  {"", &positional},
      {" GRD_2007", &positional},
  };
  for (const auto& [version, expected] : cases) {
    GridOptions o;
    o.version = version;
    GridRun run = WriteGrid(raster, o);
    EXPECT_EQ(run.result, 1) << version;
    EXPECT_EQ(run.text, *expected + data) << '"' << version << '"';
  }
}


TEST(DemGridWriter, GeographicRasterIsWrittenInDegreesWithTenDecimals) {
  TestRaster raster = Raster(1, 1, {1.0f});
  raster.transform = {73.5, 1.0 / 1200, 0, 53.5, 0, -1.0 / 1200};
  raster.wkt = Wkt(4326);
  GridOptions o;
  o.version = "GRD_2007";
  std::string header = Header(WriteGrid(raster, o).text);
  EXPECT_NE(header.find("X0: 73.5000000000\r\nY0: 53.5000000000\r\n"
                        "DX: 0.0008333333\r\nDY: 0.0008333333\r\n"),
            std::string::npos)
      << header;
  EXPECT_NE(header.find("XYUnit: D\r\n"), std::string::npos) << header;

  raster.wkt = Wkt(32650);  // UTM in metres
  raster.transform = {500000, 30, 0, 4400000, 0, -30};
  o.version = "GEODEM";
  EXPECT_EQ(Header(WriteGrid(raster, o).text),
            "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n500000.000000\r\n4400000.000000\r\n"
            "30.000000\r\n30.000000\r\n1\r\n1\r\n100\r\n\r\n");
}

TEST(DemGridWriter, HeaderLinesLongerThanUsualAreWrittenWhole) {
  TestRaster raster = Raster(1, 1, {1.0f});
  raster.transform = {-1e125, 1e100, 0, 1e125, 0, -1e100};
  GridOptions o;
  o.version = "GRD_2007";
  char expected[1024];
  std::snprintf(expected, sizeof expected, "X0: %f\r\nY0: %f\r\nDX: %f\r\nDY: %f\r\n", -1e125,
                1e125, 1e100, 1e100);
  // HFA cannot hold such a georeference; the grid writer reads any raster.
  const std::string header = Header(WriteGrid(raster, o, {"GTiff", GDT_Float32, {}}).text);
  EXPECT_NE(header.find(expected), std::string::npos) << header;
}

TEST(DemGridWriter, RowsBreakIntoLinesOfTenValues) {
  GridOptions o;
  o.zoom = 1;
  // Up to ten columns: one line per row and an empty line after it.
  EXPECT_EQ(DataSection(WriteGrid(Counting(2, 7), o).text),
            Values(1, 7) + "\r\n\r\n" + Values(8, 14) + "\r\n\r\n");
  EXPECT_EQ(DataSection(WriteGrid(Counting(1, 1), o).text), "   1 \r\n\r\n");
  // A multiple of ten: the last line is followed by an empty one.
  EXPECT_EQ(DataSection(WriteGrid(Counting(1, 20), o).text),
            Values(1, 10) + "\r\n" + Values(11, 20) + "\r\n\r\n");
  // Otherwise the short last line ends the row.
  EXPECT_EQ(DataSection(WriteGrid(Counting(2, 25), o).text),
            Values(1, 10) + "\r\n" + Values(11, 20) + "\r\n" + Values(21, 25) + "\r\n" +
                Values(26, 35) + "\r\n" + Values(36, 45) + "\r\n" + Values(46, 50) + "\r\n");
}

TEST(DemGridWriter, CellsAreScaledAndRoundedHalfAwayFromZero) {
  GridOptions o;
  o.zoom = 1;
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 5, {2.5f, -2.5f, 0.0f, -0.0f, 2.49f}), o).text),
            "   3    -3    0    0    2 \r\n\r\n");
  o.zoom = 100;
  // 0.005f lies just below 0.005, so it rounds down.
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 4, {12.5f, -0.004f, 0.005f, 0.006f}), o).text),
            "   1250    0    0    1 \r\n\r\n");
  o.zoom = -10;  // a negative zoom is used unchanged, and -12.5 is rounded away from zero too
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 2, {1.25f, -1.25f}), o).text), "   -13    13 \r\n\r\n");
}

TEST(DemGridWriter, NoDataCellsCarryTheTruncatedNoDataValueUnscaled) {
  GridOptions o;
  o.noData = -9999.9;
  o.invalid = {-32768.0};
  for (std::int32_t zoom : {1, 100}) {
    o.zoom = zoom;
    EXPECT_EQ(DataSection(WriteGrid(Raster(1, 3, {-32768.0f, kNaN, -32767.0f}), o).text),
              "   -9999    -9999    " + std::to_string(-32767 * zoom) + " \r\n\r\n");
  }
  // Without an invalid value only NaN is no data; the value a source might use is an elevation.
  o.invalid.clear();
  o.zoom = 1;
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 3, {-32768.0f, kNaN, 0.0f}), o).text),
            "   -32768    -9999    0 \r\n\r\n");
}

TEST(DemGridWriter, ValuesBeyondTheIntegerRangeSaturate) {
  GridOptions o;
  o.zoom = 100;
  o.noData = 1e12;
  o.invalid = {-1.0};
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 5, {3e7f, -3e7f, FLT_MAX, -FLT_MAX, -1.0f}), o).text),
            "   2147483647    -2147483648    2147483647    -2147483648    2147483647 \r\n\r\n");
  o.noData = -1e12;
  EXPECT_EQ(DataSection(WriteGrid(Raster(1, 1, {-1.0f}), o).text), "   -2147483648 \r\n\r\n");
}

TEST(DemGridWriter, BandsHoldAtMostTwentyMebibytesAndAtLeastOneRow) {
  EXPECT_EQ(GridBandReader::BandHeight(2000, 3000), 1747);
  EXPECT_EQ(2000 % GridBandReader::BandHeight(2000, 3000), 253);
  EXPECT_EQ(GridBandReader::BandHeight(4000, 4000), 1310);
  EXPECT_EQ(GridBandReader::BandHeight(2048, 2560), 2048);  // exactly 5 242 880 cells: one band
  EXPECT_EQ(GridBandReader::BandHeight(7, 3), 7);
  EXPECT_EQ(GridBandReader::BandHeight(3, 5242881), 1);
  EXPECT_EQ(GridBandReader::BandHeight(2, 100000000), 1);
}

TEST(DemGridWriter, ProgressFallsOnEveryTenthOfTheRows) {
  EventCapture events;
  GridRun run = WriteGrid(Raster(1000, 1, std::vector<float>(1000, 1.0f)));
  EXPECT_EQ(run.result, 1);
  ASSERT_EQ(events.progress.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    const CapturedProgress& p = events.progress[i];
    EXPECT_EQ(p.done, i * 100);
    EXPECT_EQ(p.total, 1000);
    EXPECT_EQ(p.reserved, 0);
    EXPECT_EQ(p.code, 0x20102u);
    EXPECT_EQ(p.Utf8(), "已输出对象：" + std::to_string(i * 10) + "% ");
  }
  EXPECT_TRUE(events.logs.empty());
}

TEST(DemGridWriter, ProgressOfAFewRowsComesEveryRowAndCanBeSwitchedOff) {
  EventCapture events;
  WriteGrid(Counting(3, 2));
  ASSERT_EQ(events.progress.size(), 3u);
  EXPECT_EQ(events.progress[1].done, 1);
  EXPECT_EQ(events.progress[1].total, 3);
  EXPECT_EQ(events.progress[2].Utf8(), "已输出对象：66% ");

  events.Clear();
  GridOptions o;
  o.progress = false;
  WriteGrid(Counting(30, 2), o);
  EXPECT_TRUE(events.progress.empty());
}

// Paths arrive in GBK; the file system (and GDAL) see them in UTF-8.
TEST(DemGridWriter, GbkPathsReachTheFileSystemAsUtf8) {
  TempDir dir;
  const std::string utf8 = dir / "高程 数据.dem";
  CreateTemporaryRaster(utf8 + ".tmp", Counting(2, 2));
  const std::string gbk = dir.Path().string() + "/" + Utf8ToGbk("高程 数据.dem");
  EXPECT_EQ(DemGridWriter(DemWriterParameters{}, {kInvalid}, true, true).Write(gbk, gbk + ".tmp"),
            1);
  EXPECT_TRUE(TempDir::ReadFile(utf8).starts_with("NSDTF-DEM\r\n"));
  EXPECT_FALSE(std::filesystem::exists(utf8 + ".tmp"));
}

TEST(DemGridWriter, MissingTemporaryRasterLeavesTheFinalPathAlone) {
  QuietGdal quiet;
  TempDir dir;
  std::string final = dir / "out.dem";
  TempDir::WriteFile(final, "old content");
  EXPECT_EQ(DemGridWriter(DemWriterParameters{}, {}, true, true).Write(final, final + ".tmp"), 0);
  EXPECT_EQ(TempDir::ReadFile(final), "old content");
  std::string absent = dir / "absent.dem";
  EXPECT_EQ(DemGridWriter(DemWriterParameters{}, {}, true, true).Write(absent, absent + ".tmp"), 0);
  EXPECT_FALSE(std::filesystem::exists(absent));
}

// The temporary raster is the only copy of the data: it must survive any conversion that did not
// complete, and the result must say so.
TEST(DemGridWriter, FailedConversionsReportZeroAndKeepTheTemporaryRaster) {
  QuietGdal quiet;
  TempDir dir;
  std::string temporary = dir / "out.dem.tmp";
  CreateTemporaryRaster(temporary, Counting(50, 40));
  DemWriterParameters params;
  EventCapture events;

  // A full disk.
  EXPECT_EQ(DemGridWriter(params, {kInvalid}, true, true).Write("/dev/full", temporary), 0);
  EXPECT_TRUE(std::filesystem::exists(temporary));
  // A final file that cannot be created.
  EXPECT_EQ(DemGridWriter(params, {kInvalid}, true, true).Write(dir / "no/such/dir.dem", temporary),
            0);
  EXPECT_TRUE(std::filesystem::exists(temporary));
  EXPECT_TRUE(events.logs.empty());

  // Cells that cannot be read: the band's data lie in a spill file that has gone missing.
  std::string spilled = dir / "spill.dem";
  CreateTemporaryRaster(spilled + ".tmp", Counting(50, 40),
                        {"HFA", GDT_Float32, {"USE_SPILL=YES"}});
  ASSERT_TRUE(std::filesystem::exists(dir / "spill.dem.ige"));
  std::filesystem::resize_file(dir / "spill.dem.ige", 0);
  EXPECT_EQ(DemGridWriter(params, {kInvalid}, true, true).Write(spilled, spilled + ".tmp"), 0);
  EXPECT_FALSE(std::filesystem::exists(spilled));  // begun, then dropped
  EXPECT_TRUE(std::filesystem::exists(spilled + ".tmp"));
  // The full device was written in place, not replaced.
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

// A file-size limit stands in for a disk that fills up: writes beyond it fail (EFBIG) instead of
// raising SIGXFSZ, which is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = std::min(bytes, saved_.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int);
};

// An earlier grid file gives way only to a complete one: after a full disk or a stop the host asked
// for it is there byte for byte with its side file, and the unfinished text is gone.
TEST(DemGridWriter, EarlierGridFileIsReplacedOnlyByACompleteOne) {
  QuietGdal quiet;
  struct Case {
    const char* what;
    rlim_t sizeLimit;
    bool stop;
    int result;
  };
  for (const Case& c : {Case{"complete", RLIM_INFINITY, false, 1},
                        Case{"disk full", 64 * 1024, false, 0}, Case{"stopped", RLIM_INFINITY, true, 0}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string final = dir / "out.dem";
    const std::string earlier = "NSDTF-DEM\r\nan earlier grid\r\n";
    TempDir::WriteFile(final, earlier);
    TempDir::WriteFile(final + ".aux.xml", "<PAMDataset/>");
    CreateTemporaryRaster(final + ".tmp", Counting(300, 200));  // about 600 kB of text
    int result = -1;
    {
      FileSizeLimit limit(c.sizeLimit);
      if (c.stop) RequestGeoCancel();
      result = DemGridWriter(DemWriterParameters{}, {kInvalid}, true, true).Write(final, final + ".tmp");
      ClearGeoCancel();
    }
    EXPECT_EQ(result, c.result);
    if (c.result == 1) {
      EXPECT_TRUE(DataSection(TempDir::ReadFile(final)).starts_with("   100    200    300 "));
      EXPECT_EQ(TempDir::Entries(dir.Path()), std::vector<std::string>{"out.dem"});
    } else {
      EXPECT_EQ(TempDir::ReadFile(final), earlier);
      EXPECT_EQ(TempDir::Entries(dir.Path()),
                (std::vector<std::string>{"out.dem", "out.dem.aux.xml", "out.dem.tmp"}));
    }
  }
}

// The writer's own formatting against the plainest one: a snprintf per value, each computed in
// double from the source's pixel.
std::string ReferenceData(const TestRaster& r, std::int32_t zoom, double noData,
                          std::optional<double> invalid) {
  auto saturate = [](double v) {
    if (std::isnan(v)) return 0L;
    return static_cast<long>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
  };
  auto encode = [&](double v) {
    if (!std::isfinite(v) || (invalid && std::fabs(v - *invalid) < 1e-8)) return saturate(noData);
    if (v > 0) return saturate(zoom * v + 0.5);
    if (v < 0) return saturate(zoom * v - 0.5);
    return 0L;
  };
  std::string out;
  const int width = std::min(r.cols, 10);
  char cell[32];
  for (int y = 0; y < r.rows; ++y) {
    for (int x = 0; x < r.cols; ++x) {
      const std::size_t i = std::size_t(y) * r.cols + x;
      std::snprintf(cell, sizeof cell, "   %ld ", encode(r.doubles.empty() ? r.cells[i] : r.doubles[i]));
      out += cell;
      if ((x + 1) % width == 0) out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

TestRaster RandomRaster(int rows, int cols, std::uint32_t seed) {
  TestRaster raster = Raster(rows, cols, {});
  raster.cells.resize(std::size_t(rows) * cols);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> elevation(-500.0f, 9000.0f);
  const float specials[] = {0.0f,      -0.0f,       kNaN,         -FLT_MAX,    FLT_MAX, INFINITY,
                            -INFINITY, FLT_MIN,     -FLT_MIN,     2.5f,        -2.5f,   0.005f,
                            -0.005f,   21474836.0f, -21474836.0f, 21474837.0f, 1e-30f,  -99999.0f};
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_int_distribution<std::size_t> special(0, std::size(specials) - 1);
  for (float& cell : raster.cells) {
    int kind = pick(random);
    cell = kind == 0   ? specials[special(random)]
           : kind == 1 ? std::round(elevation(random))
                       : elevation(random);
  }
  return raster;
}

void ExpectSameAsReference(const GridRun& run, const TestRaster& raster, const GridOptions& o,
                           const std::string& what) {
  EXPECT_EQ(run.result, 1) << what;
  std::string data = DataSection(run.text);
  std::string expected = ReferenceData(
      raster, o.zoom, o.noData,
      o.invalid.empty() ? std::nullopt : std::optional<double>(o.invalid.front()));
  ASSERT_EQ(data.size(), expected.size()) << what;
  EXPECT_TRUE(data == expected) << what << ": first difference at byte "
                                << std::mismatch(data.begin(), data.end(), expected.begin()).first -
                                       data.begin();
}

TEST(DemGridWriter, MatchesAPlainFormatterOnRandomValues) {
  // Edges of partial 64 x 64 tiles on both sides; many rows of tiles.
  TestRaster raster = RandomRaster(2001, 2999, 17798);
  for (const auto& [zoom, invalid] : {std::pair{100, kInvalid}, std::pair{7, -99999.0}}) {
    GridOptions o;
    o.zoom = zoom;
    o.noData = -9999.9;
    o.invalid = {invalid};
    o.progress = false;
    ExpectSameAsReference(WriteGrid(raster, o), raster, o, "zoom " + std::to_string(zoom));
  }
}

// Rasters that are not tiled in small 32-bit float blocks take other ways through the reader:
// conversion from the block's own type, or GDAL's cache for blocks too large to read one by one.
TEST(DemGridWriter, OtherBlockLayoutsAndTypesGiveTheSameGrid) {
  GridOptions o;
  o.invalid = {-32768.0};
  o.progress = false;
  TestRaster raster = RandomRaster(300, 700, 2007);
  ExpectSameAsReference(WriteGrid(raster, o, {"GTiff", GDT_Float32, {"BLOCKYSIZE=1"}}), raster, o,
                        "strips of one row");
  ExpectSameAsReference(
      WriteGrid(raster, o, {"GTiff", GDT_Float32, {"BLOCKYSIZE=300", "COMPRESS=DEFLATE"}}), raster,
      o, "one compressed strip of 840 KB");
  TestRaster large = RandomRaster(700, 700, 1999);
  ExpectSameAsReference(
      WriteGrid(large, o, {"GTiff", GDT_Float32, {"BLOCKYSIZE=700", "COMPRESS=DEFLATE"}}), large, o,
      "one compressed strip of 1.9 MB");

  TestRaster integers = Counting(130, 90);
  for (std::size_t i = 0; i < integers.cells.size(); ++i) {
    integers.cells[i] = i % 11 == 0 ? -32768.0f : static_cast<float>(int(i * 37 % 60000) - 30000);
  }
  ExpectSameAsReference(WriteGrid(integers, o, {"HFA", GDT_Int16, {}}), integers, o, "Int16");
}

// Types wider than a float are read in double, their no-data values matched as they are stored;
// signed bytes are signed; infinite cells are no data in every type.
TEST(DemGridWriter, EveryTypeMatchesItsPixelsReadInDouble) {
  struct Case {
    const char* what;
    RasterFormat format;
    std::vector<double> cells;
    double invalid;
    std::int32_t zoom = 1;
  };
  const double rLowest = -1.7976931348623157e308;  // R's usual no-data value
  const double int64Lowest = -9223372036854775808.0;
  const Case cases[] = {
      {"Float64, R's no-data", {"HFA", GDT_Float64, {}},
       {rLowest, 8123.455, -0.125, rLowest, 1e-300, 8900.005}, rLowest, 100},
      {"Float64, no-data with nine decimals", {"HFA", GDT_Float64, {}},
       {-9999.123456789, -9999.12345679, -9999.123456789, 0.5}, -9999.123456789, 1000},
      {"Float64, infinities", {"HFA", GDT_Float64, {}}, {INFINITY, -INFINITY, NAN, 2.5}, -9999, 1},
      {"Float32, infinities", {"HFA", GDT_Float32, {}}, {INFINITY, -INFINITY, NAN, 2.5}, -9999, 1},
      {"UInt32", {"HFA", GDT_UInt32, {}}, {4294967295, 16777217, 0, 4294967295, 2147483647},
       4294967295, 1},
      {"Int32, highest no-data", {"HFA", GDT_Int32, {}},
       {2147483647, -2147483648.0, 16777217, 2147483647, -16777219}, 2147483647, 1},
      {"Int32, no-data above 2^24", {"HFA", GDT_Int32, {}}, {16777216, 16777217, 16777218, 1},
       16777217, 1},
      {"Int64, as GDAL reads it in double", {"GTiff", GDT_Int64, {}},
       {int64Lowest, 2000000001, -16777219, int64Lowest}, int64Lowest, 1},
      {"signed bytes", {"HFA", GDT_Byte, {"PIXELTYPE=SIGNEDBYTE"}}, {-128, -1, 127, -128, 0, -5},
       -128, 100},
      {"signed bytes in strips", {"GTiff", GDT_Byte, {"PIXELTYPE=SIGNEDBYTE", "BLOCKYSIZE=1"}},
       {-128, -1, 127, -128, 0, -5}, -128, 100},
  };
  for (const Case& c : cases) {
    TestRaster raster = Raster(2, static_cast<int>(c.cells.size()) / 2, {});
    raster.doubles = c.cells;
    GridOptions o;
    o.zoom = c.zoom;
    o.invalid = {c.invalid};
    ExpectSameAsReference(WriteGrid(raster, o, c.format), raster, o, c.what);
  }
  // Random heights beyond a float's precision, a tenth of them no data.
  TestRaster heights = Raster(97, 131, {});
  std::mt19937 random(17798);
  std::uniform_real_distribution<double> height(8000.0, 8900.0);
  for (int i = 0; i < heights.rows * heights.cols; ++i)
    heights.doubles.push_back(i % 10 == 3 ? -9999.123456789 : height(random));
  for (std::int32_t zoom : {1, 100, 1000, 10000}) {
    GridOptions o;
    o.zoom = zoom;
    o.invalid = {-9999.123456789};
    o.progress = false;
    ExpectSameAsReference(WriteGrid(heights, o, {"HFA", GDT_Float64, {}}), heights, o,
                          "random Float64 heights at zoom " + std::to_string(zoom));
  }
}

// A zoom that pushes heights out of the 32-bit range is said once per grid, with the count.
TEST(DemGridWriter, ClampedCellsAreCountedInOneLogLine) {
  TestRaster raster = Raster(1, 5, {});
  raster.doubles = {1736.0, -1736.0, NAN, 1.0, 1736.0};
  for (GDALDataType type : {GDT_Float32, GDT_Float64}) {
    for (bool log : {true, false}) {
      EventCapture events;
      GridOptions o;
      o.zoom = 10000000;
      o.log = log;
      o.progress = false;
      GridRun run = WriteGrid(raster, o, {"HFA", type, {}});
      EXPECT_EQ(run.result, 1);
      EXPECT_EQ(DataSection(run.text),
                "   2147483647    -2147483648    -99999    10000000    2147483647 \r\n\r\n");
      ASSERT_EQ(events.logs.size(), log ? 1u : 0u);
      if (!log) continue;
      EXPECT_EQ(events.logs[0].level, 1);
      EXPECT_EQ(events.logs[0].code, 0x201a1u);
      EXPECT_NE(events.logs[0].Utf8().find(
                    "3 个格网值乘以 Hzoom 10000000 后超出 32 位整数范围"),
                std::string::npos)
          << events.logs[0].Utf8();
    }
  }
}

TEST(DemGridWriter, CoordinatesThatRoundToZeroHaveNoSign) {
  TestRaster raster = Raster(1, 1, {1.0f});
  raster.transform = {-4e-7, 1e-12, 0, -0.0, 0, -1};
  GridOptions o;
  o.version = "GRD_2007";
  EXPECT_NE(WriteGrid(raster, o).text.find("X0: 0.000000\r\nY0: 0.000000\r\nDX: 0.000000\r\n"),
            std::string::npos);
  raster.wkt = Wkt(4326);
  raster.transform = {-4e-11, 1.0, 0, -6e-7, 0, -1.0};
  o.version = "GEODEM";
  EXPECT_NE(WriteGrid(raster, o).text.find("\r\n0.0000000000\r\n-0.0000006000\r\n"),
            std::string::npos);
}

}  // namespace
