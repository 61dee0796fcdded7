// Grids written by the project's grid writer, read back through the GDAL plug-in.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "GeodemDriverTest.h"

using namespace geodem_driver_test;

namespace {

struct RoundTripCase {
  friend void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << c.version << " zoom " << c.zoom << " no data " << c.noData;
  }

  const char* version;
  int epsg;  // 0: no coordinate system
  std::int32_t zoom;
  double noData;
  std::array<double, 6> transform;
  double precision;  // of the coordinates as written: six decimals, ten in degrees
};

class GeodemRoundTrip : public testing::TestWithParam<RoundTripCase> {
 protected:
  static void SetUpTestSuite() { LoadPlugin(); }
};

TEST_P(GeodemRoundTrip, EveryCellComesBackWithinHalfAZoomUnit) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "grid.dem";
  const SourceRaster source = Surface(47, 23, c.transform, c.epsg ? Wkt(c.epsg) : "");
  ASSERT_TRUE(WriteGrid(path, source, Parameters(c.version, c.zoom, c.noData)));

  // The file does not say which value stands for no data: a value other than the default is named.
  const std::string option = "NODATA=" + std::to_string(c.noData);
  Dataset ds = c.noData == -99999 ? OpenGrid(path) : OpenGrid(path, {option.c_str()});
  ASSERT_TRUE(ds) << CPLGetLastErrorMsg();
  EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(ds.get())), "GEODEM");
  ASSERT_EQ(GDALGetRasterXSize(ds.get()), 23);
  ASSERT_EQ(GDALGetRasterYSize(ds.get()), 47);
  double transform[6];
  ASSERT_EQ(GDALGetGeoTransform(ds.get(), transform), CE_None);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(transform[i], c.transform[i], c.precision) << i;

  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  EXPECT_EQ(GDALGetRasterDataType(band), GDT_Int32);
  int hasScale = 0, hasNoData = 0;
  const double scale = GDALGetRasterScale(band, &hasScale);
  EXPECT_TRUE(hasScale);
  EXPECT_DOUBLE_EQ(scale, 1.0 / c.zoom);
  const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
  EXPECT_TRUE(hasNoData);
  EXPECT_EQ(noData, std::trunc(c.noData));

  const std::vector<double> cells = ReadBand(ds.get());
  int noDataCells = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (source.cells[i] == static_cast<float>(kInvalid)) {
      EXPECT_EQ(cells[i], noData) << "cell " << i;
      ++noDataCells;
    } else {
      EXPECT_NEAR(cells[i] * scale, source.cells[i], 0.5 / c.zoom + 1e-9) << "cell " << i;
    }
  }
  EXPECT_EQ(noDataCells, 30);
}

INSTANTIATE_TEST_SUITE_P(
    , GeodemRoundTrip,
    testing::Values(
        RoundTripCase{
            "GRD_2007", 32650, 100, -99999, {500012.5, 2.5, 0, 4400007.25, 0, -2.5}, 1e-6},
        RoundTripCase{"GRD_1999", 0, 1000, -9999.9, {-120.125, 0.5, 0, 75.75, 0, -0.25}, 1e-6},
        RoundTripCase{"GEODEM",
                      4326,
                      10,
                      -99999,
                      {116.123456789, 1.0 / 1200, 0, 40.987654321, 0, -1.0 / 1200},
                      1e-10},
        RoundTripCase{
            "GRD_2007", 4326, 1, -32768, {73.5, 1.0 / 3600, 0, 53.5, 0, -1.0 / 3600}, 1e-10}),
    [](const auto& info) {
      return std::string(info.param.version) + "_" + std::to_string(info.index);
    });

class GeodemDriver : public testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPlugin(); }

  // A written grid of 40 x 30 cells in UTM 50N.
  std::string WriteSample(const char* version = "GRD_2007") {
    const std::string path = m_dir / "sample.dem";
    m_source = Surface(40, 30, {500000, 5, 0, 4400000, 0, -5}, Wkt(32650));
    EXPECT_TRUE(WriteGrid(path, m_source, Parameters(version)));
    return path;
  }

  TempDir m_dir;
  SourceRaster m_source;
};

// Rows asked for bottom-up and by jumps, with GDAL's cache emptied in between, so that every row
// comes from the file again.
TEST_F(GeodemDriver, RowsReadInAnyOrderMatchARowByRowRead) {
  Dataset ds = OpenGrid(WriteSample());
  ASSERT_TRUE(ds);
  const std::vector<double> all = ReadBand(ds.get());
  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  std::vector<double> row(30);
  for (int r : {39, 0, 38, 20, 21, 5, 39}) {
    GDALFlushRasterCache(band);
    ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, r, 30, 1, row.data(), 30, 1, GDT_Float64, 0, 0),
              CE_None);
    EXPECT_TRUE(std::equal(row.begin(), row.end(), all.begin() + r * 30)) << "row " << r;
  }
}

TEST_F(GeodemDriver, HeaderValuesAreTheDatasetsMetadata) {
  for (const char* version : {"GRD_2007", "GRD_1999", "GEODEM"}) {
    Dataset ds = OpenGrid(WriteSample(version));
    ASSERT_TRUE(ds);
    EXPECT_STREQ(GDALGetMetadataItem(ds.get(), "CNSDTF_LAYOUT", nullptr), version);
    EXPECT_STREQ(GDALGetMetadataItem(ds.get(), "Hzoom", nullptr), "100");
    EXPECT_STREQ(GDALGetRasterUnitType(GDALGetRasterBand(ds.get(), 1)), "m");
  }
}

TEST_F(GeodemDriver, CoordinateSystemComesFromThePrjBesideTheFile) {
  const std::string path = WriteSample();
  {
    Dataset bare = OpenGrid(path);
    EXPECT_EQ(GDALGetSpatialRef(bare.get()), nullptr);
  }
  OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(utm, 32650);
  OGRSpatialReferenceH esri = OSRClone(utm);
  OSRMorphToESRI(esri);
  char* wkt = nullptr;
  OSRExportToWkt(esri, &wkt);
  TempDir::WriteFile(m_dir / "sample.prj", wkt);
  CPLFree(wkt);

  Dataset ds = OpenGrid(path);
  ASSERT_TRUE(ds);
  OGRSpatialReferenceH read = GDALGetSpatialRef(ds.get());
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(OSRIsSame(read, utm));
  // ESRI's WKT has no code; the one GDAL identifies with full confidence is taken.
  EXPECT_STREQ(OSRGetAuthorityCode(read, nullptr), "32650");
  char** files = GDALGetFileList(ds.get());
  EXPECT_GE(CSLFindString(files, (m_dir / "sample.prj").c_str()), 0);
  CSLDestroy(files);
  OSRDestroySpatialReference(esri);
  OSRDestroySpatialReference(utm);
}

// Whatever GDAL's coordinate-system parser takes, short of files and the network it might name.
TEST_F(GeodemDriver, PrjMayHoldAnyCoordinateSystemText) {
  const std::string path = WriteSample();
  OGRSpatialReferenceH cgcs2000 = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(cgcs2000, 4490);
  OSRSetAxisMappingStrategy(cgcs2000, OAMS_TRADITIONAL_GIS_ORDER);
  for (const char* text : {"EPSG:4490\n", "  EPSG:4490  "}) {
    TempDir::WriteFile(m_dir / "sample.prj", text);
    Dataset ds = OpenGrid(path);
    ASSERT_TRUE(ds);
    OGRSpatialReferenceH read = GDALGetSpatialRef(ds.get());
    ASSERT_NE(read, nullptr) << text;
    EXPECT_TRUE(OSRIsSame(read, cgcs2000)) << text;
  }
  OSRDestroySpatialReference(cgcs2000);
  TempDir::WriteFile(m_dir / "sample.prj", (m_dir / "sample.dem").c_str());  // a file's name
  QuietGdal quiet;
  Dataset ds = OpenGrid(path);
  ASSERT_TRUE(ds);
  EXPECT_EQ(GDALGetSpatialRef(ds.get()), nullptr);
}

TEST_F(GeodemDriver, UnreadablePrjLeavesTheGridWithoutCoordinateSystem) {
  const std::string path = WriteSample();
  TempDir::WriteFile(m_dir / "sample.prj", "this is not a coordinate system");
  QuietGdal quiet;
  Dataset ds = OpenGrid(path);
  ASSERT_TRUE(ds);
  EXPECT_EQ(GDALGetSpatialRef(ds.get()), nullptr);
  EXPECT_EQ(CPLGetLastErrorType(), CE_Warning);
  EXPECT_NE(std::string(CPLGetLastErrorMsg()).find("sample.prj"), std::string::npos);
}

TEST_F(GeodemDriver, NoDataOptionNamesAnotherValueOrNone) {
  const std::string path = WriteSample();
  auto noDataOf = [&](std::vector<const char*> options) -> std::optional<double> {
    Dataset ds = OpenGrid(path, options);
    EXPECT_TRUE(ds);
    if (!ds) return std::nullopt;
    int has = 0;
    double value = GDALGetRasterNoDataValue(GDALGetRasterBand(ds.get(), 1), &has);
    return has ? std::optional<double>(value) : std::nullopt;
  };
  EXPECT_EQ(noDataOf({}), -99999.0);
  EXPECT_EQ(noDataOf({"NODATA=-32768"}), -32768.0);
  EXPECT_EQ(noDataOf({"NODATA=-9999.9"}), -9999.0);  // truncated as the writer truncates it
  EXPECT_EQ(noDataOf({"NODATA=none"}), std::nullopt);

  QuietGdal quiet;
  EXPECT_FALSE(OpenGrid(path, {"NODATA=abc"}));
  EXPECT_STREQ(CPLGetLastErrorMsg(),
               "NODATA=abc: expected NONE or a number in the range of a 32-bit integer");
}

// HEIGHTS=METRES: Float32 metres, stored / Hzoom, no scale, the no-data cells and value kept;
// HEIGHTS=STORED is the default, anything else is refused, and so are metres without a zoom.
TEST_F(GeodemDriver, HeightsOptionGivesFloatMetres) {
  const std::string path = m_dir / "metres.dem";
  TempDir::WriteFile(path,
                     "DataMark:CNSDTF-DEM\nVersion:GB/T17798-2007\nX0:0\nY0:2\nDX:1\nDY:1\nRow:2\n"
                     "Col:3\nHzoom:100\n\n123456 -99999 -5\n2147483647 -2147483648 1\n");
  Dataset ds = OpenGrid(path, {"HEIGHTS=METRES"});
  ASSERT_TRUE(ds) << CPLGetLastErrorMsg();
  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  EXPECT_EQ(GDALGetRasterDataType(band), GDT_Float32);
  int has = 0;
  EXPECT_EQ(GDALGetRasterNoDataValue(band, &has), -99999.0);
  EXPECT_TRUE(has);
  EXPECT_EQ(GDALGetRasterScale(band, &has), 1.0);
  const std::vector<double> want = {1234.56f, -99999, -0.05f, 21474836.47f, -21474836.48f, 0.01f};
  EXPECT_EQ(ReadBand(ds.get()), want);
  {
    // Statistics of the stored integers, kept in the .aux.xml, are not the metres' statistics.
    Dataset stored = OpenGrid(path, {"HEIGHTS=STORED"});
    GDALRasterBandH integers = GDALGetRasterBand(stored.get(), 1);
    EXPECT_EQ(GDALGetRasterDataType(integers), GDT_Int32);
    double low, high, mean, deviation;
    ASSERT_EQ(GDALComputeRasterStatistics(integers, FALSE, &low, &high, &mean, &deviation, nullptr,
                                          nullptr),
              CE_None);
  }
  EXPECT_EQ(GDALGetMetadataItem(GDALGetRasterBand(OpenGrid(path, {"HEIGHTS=METRES"}).get(), 1),
                                "STATISTICS_MAXIMUM", nullptr),
            nullptr);

  QuietGdal quiet;
  EXPECT_FALSE(OpenGrid(path, {"HEIGHTS=FEET"}));
  TempDir::WriteFile(path, "DataMark:CNSDTF-DEM\nX0:0\nY0:1\nDX:1\nDY:1\nRow:1\nCol:1\nHzoom:0\n\n7\n");
  EXPECT_FALSE(OpenGrid(path, {"HEIGHTS=METRES"}));
}

TEST_F(GeodemDriver, HeaderNoDataKeyIsTheDefault) {
  const std::string path = m_dir / "nodata.dem";
  TempDir::WriteFile(path,
                     "DataMark:CNSDTF-DEM\nVersion:GB/T17798-2007\nX0:0\nY0:2\nDX:1\nDY:1\nRow:2\n"
                     "Col:2\nHzoom:1\nNoData:-9999\n\n1 -9999\n3 4\n");
  Dataset ds = OpenGrid(path);
  ASSERT_TRUE(ds) << CPLGetLastErrorMsg();
  int has = 0;
  EXPECT_EQ(GDALGetRasterNoDataValue(GDALGetRasterBand(ds.get(), 1), &has), -9999.0);
  EXPECT_EQ(ReadBand(ds.get()), (std::vector<double>{1, -9999, 3, 4}));
}

// Other writers' grids: a rotation the driver cannot apply, Hzoom 0, and a remark in Chinese (GBK).
TEST_F(GeodemDriver, UnusualHeadersOpenWithWarnings) {
  const std::string path = m_dir / "odd.dem";
  TempDir::WriteFile(path,
                     "DataMark: CNSDTF-DEM\nVersion: 1.0\nAlpha: 15\nX0: 0\nY0: 2\nDX: 1\nDY: 1\n"
                     "Row: 1\nCol: 2\nHzoom: 0\nRemark: \xB8\xDF\xB3\xCC\n\n0 0\n");
  QuietGdal quiet;
  Dataset ds = OpenGrid(path);
  ASSERT_TRUE(ds) << CPLGetLastErrorMsg();
  EXPECT_TRUE(
      quiet.Saw(path + ": the grid's rotation (Alpha 15) is ignored; it is read as north-up"));
  EXPECT_TRUE(quiet.Saw(
      path + ": Hzoom is 0, so the heights cannot be recovered; the band is left unscaled"));
  int hasScale = 1;
  EXPECT_EQ(GDALGetRasterScale(GDALGetRasterBand(ds.get(), 1), &hasScale), 1.0);
  EXPECT_FALSE(hasScale);
  EXPECT_STREQ(GDALGetMetadataItem(ds.get(), "Remark", nullptr), "\u9AD8\u7A0B");  // 高程
  EXPECT_STREQ(GDALGetMetadataItem(ds.get(), "CNSDTF_LAYOUT", nullptr), "GRD_1999");
}

TEST_F(GeodemDriver, UpdateAccessIsRefused) {
  const std::string path = WriteSample();
  QuietGdal quiet;
  const char* drivers[] = {"GEODEM", nullptr};
  EXPECT_EQ(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, drivers, nullptr, nullptr),
            nullptr);
  EXPECT_STREQ(CPLGetLastErrorMsg(),
               "The GEODEM driver does not support update access to existing datasets.");
}

TEST_F(GeodemDriver, DamagedFilesAreReportedThroughCplError) {
  const std::string good = TempDir::ReadFile(WriteSample("GRD_1999"));
  QuietGdal quiet;

  const std::string noCol = m_dir / "nocol.dem";
  std::string text = good;
  text.erase(text.find("Col: 30\r\n"), 9);
  TempDir::WriteFile(noCol, text);
  EXPECT_FALSE(OpenGrid(noCol));
  EXPECT_EQ(std::string(CPLGetLastErrorMsg()), noCol + ": the header lacks the key \"Col\"");

  // Cut in the middle of row 25 (each row is three lines of ten values and an empty line).
  const std::string truncated = m_dir / "truncated.dem";
  std::size_t cut = good.find("\r\n\r\n") + 4;
  for (int line = 0; line < 24 * 4 + 1; ++line) cut = good.find("\r\n", cut) + 2;
  TempDir::WriteFile(truncated, good.substr(0, cut));
  Dataset ds = OpenGrid(truncated);
  ASSERT_TRUE(ds);
  std::vector<std::int32_t> cells(40 * 30);
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds.get(), 1), GF_Read, 0, 0, 30, 40, cells.data(), 30,
                         40, GDT_Int32, 0, 0),
            CE_Failure);
  EXPECT_TRUE(
      quiet.Saw(truncated + ": the data section ends early: row 25 of 40 holds 10 of 30 values"))
      << testing::PrintToString(quiet.messages);

  const std::string wrong = m_dir / "wrong.dem";
  text = good;
  const std::size_t value = text.find("   ", text.find("\r\n\r\n") + 4);
  text.replace(value, 3, "  x");
  TempDir::WriteFile(wrong, text);
  ds = OpenGrid(wrong);
  ASSERT_TRUE(ds);
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds.get(), 1), GF_Read, 0, 0, 30, 1, cells.data(), 30, 1,
                         GDT_Int32, 0, 0),
            CE_Failure);
  const std::string token = text.substr(value + 2, text.find(' ', value + 2) - value - 2);
  EXPECT_TRUE(quiet.Saw(wrong + ": row 1, column 1: \"" + token + "\" is not a whole number"))
      << testing::PrintToString(quiet.messages);
}

TEST_F(GeodemDriver, OtherFormatsAreLeftToTheirDrivers) {
  const std::string path = m_dir / "grid.asc";
  TempDir::WriteFile(path, "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n");
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(ds)), "AAIGrid");
  GDALClose(ds);
}

// The way the README tells users to work: GDAL's own tools with GDAL_DRIVER_PATH.
TEST_F(GeodemDriver, GdalTranslateTurnsTheGridIntoGeoTiffInMetres) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a plug-in built with AddressSanitizer cannot load into GDAL's own tools";
#endif
  const std::string path = WriteSample();
  const std::string tif = m_dir / "sample.tif";
  const std::string command = std::string("GDAL_DRIVER_PATH='") + GEODEM_GDAL_PLUGIN_DIR +
                              "' gdal_translate -q -unscale -ot Float32 '" + path + "' '" + tif +
                              "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  GDALDatasetH ds = GDALOpen(tif.c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  int has = 0;
  EXPECT_EQ(GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 1), &has), -99999.0);
  const std::vector<double> cells = ReadBand(ds);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (m_source.cells[i] == static_cast<float>(kInvalid)) {
      EXPECT_EQ(cells[i], -99999.0);
    } else {
      EXPECT_NEAR(cells[i], m_source.cells[i], 0.005 + 1e-6) << i;
    }
  }
  GDALClose(ds);
  // Reading needs no side files.
  EXPECT_FALSE(std::filesystem::exists(path + ".aux.xml"));
}

}  // namespace
