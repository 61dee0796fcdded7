// Describing a source: the band chosen, its type, georeferencing, no-data value, files and notes,
// and what no grid can come from.
#include <gtest/gtest.h>

#include <cpl_string.h>

#include "apps/geodem/TestRasters.h"
#include "rastersource/RasterSource.h"
#include "rastersource/SourceReader.h"
#include "rastersource/ZoomLimit.h"
#include "support/TempDir.h"

namespace {

TEST(RasterSource, DescribesTheChosenBand) {
  TempDir dir;
  TestRaster r;
  r.width = 5;
  r.height = 2;
  r.bands = 2;
  r.type = GDT_Int16;
  r.epsg = 4326;
  r.noData = -9999;
  ASSERT_TRUE(r.WriteGTiff(dir / "dem.tif"));
  std::string error;
  auto s = RasterSource::Describe(dir / "dem.tif", 2, error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->width(), 5);
  EXPECT_EQ(s->height(), 2);
  EXPECT_EQ(s->bandCount(), 2);
  EXPECT_EQ(s->band(), 2);
  EXPECT_EQ(s->cellType(), GDT_Int16);
  EXPECT_EQ(s->noData(), -9999);
  EXPECT_EQ(s->pixelHeight(), -25);
  EXPECT_NE(s->wkt().find("WGS 84"), std::string::npos);
  EXPECT_EQ(s->files(), std::vector<std::string>{dir / "dem.tif"});
  ASSERT_EQ(s->notes().size(), 1u);
  EXPECT_EQ(s->notes()[0].text, "source " + dir / "dem.tif" + " has 2 bands: band 2 is converted");
}

// No-data values count as the band stores them; the type is the one that holds the heights.
TEST(RasterSource, NoDataAndTypeOfEachKindOfBand) {
  struct Case {
    GDALDataType type;
    double noData;
    const char* pixelType;  // IMAGE_STRUCTURE PIXELTYPE, or null
    double scale;
    const char* unit;
    GDALDataType cellType;
    std::optional<double> stored;
    double heightScale;
  };
  const Case cases[] = {
      {GDT_Float32, -9999.9, nullptr, 1, "", GDT_Float32, -9999.900390625, 1},
      {GDT_Float64, -9999.123456789, nullptr, 1, "m", GDT_Float64, -9999.123456789, 1},
      {GDT_Int16, 0.5, nullptr, 1, "", GDT_Int16, std::nullopt, 1},
      {GDT_UInt32, 4294967295.0, nullptr, 1, "", GDT_UInt32, 4294967295.0, 1},
      {GDT_Int64, -9999, nullptr, 1, "", GDT_Float64, -9999, 1},
      {GDT_Byte, -128, "SIGNEDBYTE", 1, "", GDT_Int16, -128, 1},
      {GDT_Int16, -32768, nullptr, 0.1, "", GDT_Float64, -32768, 0.1},
      {GDT_Float32, -9999, nullptr, 1, "ft", GDT_Float64, -9999, 0.3048},
      {GDT_Float32, -9999, nullptr, 2, "US survey foot", GDT_Float64, -9999, 2400.0 / 3937},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(GDALGetDataTypeName(c.type)) + " " + c.unit);
    const std::string path = dir / "dem.tif";
    char** options = c.pixelType ? CSLSetNameValue(nullptr, "PIXELTYPE", c.pixelType) : nullptr;
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 2, 2, 1, c.type, options);
    CSLDestroy(options);
    ASSERT_TRUE(ds);
    double gt[6] = {0, 1, 0, 2, 0, -1};
    GDALSetGeoTransform(ds, gt);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, c.noData);
    if (c.scale != 1) GDALSetRasterScale(band, c.scale);
    GDALSetRasterUnitType(band, c.unit);
    GDALClose(ds);
    std::string error;
    auto s = RasterSource::Describe(path, 1, error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->cellType(), c.cellType);
    EXPECT_EQ(s->noData(), c.stored);
    EXPECT_DOUBLE_EQ(s->heightScale(), c.heightScale);
    GDALDeleteDataset(GDALGetDriverByName("GTiff"), path.c_str());
  }
}

// A dataset the caller holds open, with no file behind it (a driver's CreateCopy source).
TEST(RasterSource, DescribesAndReadsAnOpenDatasetWithoutFile) {
  GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "in memory", 3, 2, 1, GDT_Float64,
                                nullptr);
  double gt[6] = {10, 1, 0, 20, 0, -1};
  GDALSetGeoTransform(mem, gt);
  GDALRasterBandH band = GDALGetRasterBand(mem, 1);
  GDALSetRasterNoDataValue(band, -1);
  GDALSetRasterScale(band, 0.5);
  double cells[6] = {1, 2, -1, 4, 5, 3e9};
  ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, 3, 2, cells, 3, 2, GDT_Float64, 0, 0), CE_None);
  std::string error;
  auto s = RasterSource::Describe(mem, 1, error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->path(), "in memory");
  EXPECT_TRUE(s->files().empty());
  SourceReader reader = SourceReader::Over(*s, mem);
  double heights[6];
  ASSERT_TRUE(reader.Read(0, 0, 3, 2, GDT_Float64, -7, heights));
  EXPECT_EQ(std::vector<double>(heights, heights + 6),
            (std::vector<double>{0.5, 1, -7, 2, 2.5, 1.5e9}));
  GDALClose(mem);
}

TEST(RasterSource, RefusesWhatNoGridCanComeFrom) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(RasterSource::Describe(dir / "missing.tif", 1, error));
  EXPECT_NE(error.find("missing.tif"), std::string::npos);

  TempDir::WriteFile(dir / "notes.txt", "not a raster\n");
  EXPECT_FALSE(RasterSource::Describe(dir / "notes.txt", 1, error));

  TestRaster plain;
  ASSERT_TRUE(plain.WriteGTiff(dir / "plain.tif"));
  EXPECT_FALSE(RasterSource::Describe(dir / "plain.tif", 2, error));
  EXPECT_NE(error.find("has no band 2 (it has 1)"), std::string::npos) << error;

  // Rotated by either term of the geotransform.
  for (const std::array<double, 6>& transform :
       {std::array<double, 6>{100, 25, 2, 900, 0, -25}, {100, 25, 0, 900, 2, -25}}) {
    TestRaster rotated;
    rotated.geoTransform = transform;
    ASSERT_TRUE(rotated.WriteGTiff(dir / "rotated.tif"));
    EXPECT_FALSE(RasterSource::Describe(dir / "rotated.tif", 1, error)) << transform[4];
    EXPECT_NE(error.find("rotated"), std::string::npos);
  }

  TestRaster southUp;
  southUp.geoTransform = {100, 25, 0, 900, 0, 25};
  ASSERT_TRUE(southUp.WriteGTiff(dir / "south.tif"));
  EXPECT_FALSE(RasterSource::Describe(dir / "south.tif", 1, error));
  EXPECT_NE(error.find("north-up"), std::string::npos);

  GDALDatasetH bare = GDALCreate(GDALGetDriverByName("GTiff"), (dir / "bare.tif").c_str(), 2, 2, 1,
                                 GDT_Byte, nullptr);
  GDALClose(bare);
  EXPECT_FALSE(RasterSource::Describe(dir / "bare.tif", 1, error));
  EXPECT_NE(error.find("georeferencing"), std::string::npos);

  TestRaster complex;
  complex.type = GDT_CFloat32;
  ASSERT_TRUE(complex.WriteGTiff(dir / "complex.tif"));
  EXPECT_FALSE(RasterSource::Describe(dir / "complex.tif", 1, error));
  EXPECT_NE(error.find("not elevations"), std::string::npos);
}

}  // namespace
