// What geodem tells the writer about a source: its description, the metadata lists and the
// no-data values its blocks announce.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "TestRasters.h"
#include "apps/geodem/InputMetadata.h"
#include "apps/geodem/NoDataPolicy.h"
#include "apps/geodem/SourceRaster.h"
#include "host/CodePage.h"
#include "support/TempDir.h"

namespace {

SourceRaster Describe(const TestRaster& r, const std::string& path) {
  EXPECT_TRUE(r.WriteGTiff(path));
  std::string error;
  auto s = SourceRaster::Describe(path, error);
  EXPECT_TRUE(s) << error;
  return *s;
}

std::string Item(Metadata* m, const char16_t* list, int i) {
  BstrHolder item;
  EXPECT_EQ(m->GetItem(list, i, item.Put()), S_OK);
  return Utf16ToUtf8(item.Get() ? item.Get() : u"");
}

TEST(SourceRaster, DescribesSizeTypeGeoreferencingAndNoData) {
  TempDir dir;
  TestRaster r;
  r.width = 5;
  r.height = 2;
  r.bands = 2;
  r.type = GDT_Int16;
  r.epsg = 4326;
  r.noData = -9999;
  SourceRaster s = Describe(r, dir / "dem.tif");
  EXPECT_EQ(s.width(), 5);
  EXPECT_EQ(s.height(), 2);
  EXPECT_EQ(s.bands(), 2);
  EXPECT_EQ(s.dataType(), GDT_Int16);
  EXPECT_EQ(s.pixelHeight(), -25);
  EXPECT_NE(s.wkt().find("WGS 84"), std::string::npos);
  ASSERT_EQ(s.bandNoData().size(), 2u);
  EXPECT_EQ(s.bandNoData()[1], -9999);
}

TEST(SourceRaster, RefusesWhatNoGridCanComeFrom) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SourceRaster::Describe(dir / "missing.tif", error));
  EXPECT_NE(error.find("missing.tif"), std::string::npos);

  TempDir::WriteFile(dir / "notes.txt", "not a raster\n");
  EXPECT_FALSE(SourceRaster::Describe(dir / "notes.txt", error));

  TestRaster rotated;
  rotated.geoTransform = {100, 25, 2, 900, 0, -25};
  ASSERT_TRUE(rotated.WriteGTiff(dir / "rotated.tif"));
  EXPECT_FALSE(SourceRaster::Describe(dir / "rotated.tif", error));
  EXPECT_NE(error.find("rotated"), std::string::npos);

  TestRaster southUp;
  southUp.geoTransform = {100, 25, 0, 900, 0, 25};
  ASSERT_TRUE(southUp.WriteGTiff(dir / "south.tif"));
  EXPECT_FALSE(SourceRaster::Describe(dir / "south.tif", error));
  EXPECT_NE(error.find("north-up"), std::string::npos);

  GDALDatasetH bare = GDALCreate(GDALGetDriverByName("GTiff"), (dir / "bare.tif").c_str(), 2, 2, 1,
                                 GDT_Byte, nullptr);
  GDALClose(bare);
  EXPECT_FALSE(SourceRaster::Describe(dir / "bare.tif", error));
  EXPECT_NE(error.find("georeferencing"), std::string::npos);
}

TEST(InputMetadata, ListsEverySourceWithFullPrecision) {
  TempDir dir;
  TestRaster a;
  a.geoTransform = {500000.1, 0.1, 0, 4000000.3, 0, -0.1};
  TestRaster b;
  b.width = 7;
  b.type = GDT_Float64;
  b.bands = 3;
  std::vector<SourceRaster> sources = {Describe(a, dir / "a.tif"), Describe(b, dir / "b.tif")};
  auto m = BuildInputMetadata(sources);

  std::int32_t count = 0;
  for (const char16_t* list : {u"InDatasetName", u"InDataType", u"BandNum", u"Height", u"Width",
                               u"GEO_STARTPOSH", u"GEO_STARTPOSV", u"RESOLVEH", u"RESOLVEV"}) {
    EXPECT_EQ(m->GetCount(list, &count), S_OK);
    EXPECT_EQ(count, 2);
  }
  EXPECT_EQ(Item(m.Get(), u"InDatasetName", 0), dir / "a.tif");
  EXPECT_EQ(Item(m.Get(), u"InDataType", 0), std::to_string(GDT_Float32));
  EXPECT_EQ(Item(m.Get(), u"InDataType", 1), std::to_string(GDT_Float64));
  EXPECT_EQ(Item(m.Get(), u"BandNum", 1), "3");
  EXPECT_EQ(Item(m.Get(), u"Width", 1), "7");
  EXPECT_EQ(Item(m.Get(), u"Height", 1), "3");
  // Read back, the texts give the very doubles of the geotransform.
  EXPECT_EQ(std::strtod(Item(m.Get(), u"GEO_STARTPOSH", 0).c_str(), nullptr), 500000.1);
  EXPECT_EQ(std::strtod(Item(m.Get(), u"GEO_STARTPOSV", 0).c_str(), nullptr), 4000000.3);
  EXPECT_EQ(Item(m.Get(), u"RESOLVEH", 0), "0.10000000000000001");
  EXPECT_EQ(Item(m.Get(), u"RESOLVEV", 0), "-0.10000000000000001");
}

TEST(NoDataPolicy, AnnouncesNoDataAsTheBandStoresIt) {
  TempDir dir;
  TestRaster r;
  r.noData = -9999.9;
  NoDataPolicy f32(Describe(r, dir / "f32.tif"), false);
  EXPECT_EQ(f32.InvalidDataText(), "-9999.900390625");

  r.type = GDT_Int16;
  r.noData = -32768;
  r.bands = 2;
  EXPECT_EQ(NoDataPolicy(Describe(r, dir / "i16.tif"), false).InvalidDataText(), "-32768|-32768");
}

TEST(NoDataPolicy, IntegerBandsWithoutNoDataAnnounceNoneExceptInAMosaic) {
  TempDir dir;
  TestRaster r;
  r.type = GDT_Int16;
  SourceRaster s = Describe(r, dir / "i16.tif");
  EXPECT_FALSE(NoDataPolicy(s, false).InvalidDataText());
  EXPECT_EQ(NoDataPolicy(s, true).InvalidDataText(), "-32768");
}

TEST(NoDataPolicy, FloatingBandsTurnNaNIntoAFiniteMarker) {
  TempDir dir;
  TestRaster r;
  r.type = GDT_Float64;
  r.noData = std::numeric_limits<double>::quiet_NaN();
  NoDataPolicy policy(Describe(r, dir / "nan.tif"), false);
  ASSERT_TRUE(policy.InvalidDataText());
  double marker = std::strtod(policy.InvalidDataText()->c_str(), nullptr);
  EXPECT_EQ(marker, -FLT_MAX);

  double cells[] = {1.5, std::nan(""), -2};
  policy.Apply(cells, 3);
  EXPECT_EQ(cells[0], 1.5);
  EXPECT_EQ(cells[1], marker);
  EXPECT_EQ(cells[2], -2);

  r.type = GDT_Float32;
  r.noData.reset();
  NoDataPolicy none(Describe(r, dir / "none.tif"), false);
  float fcells[] = {std::nanf(""), 3.25f};
  none.Apply(fcells, 2);
  EXPECT_EQ(fcells[0], -FLT_MAX);
  EXPECT_EQ(fcells[1], 3.25f);
}

TEST(NoDataPolicy, MosaicSourcesTakeTheFirstSourcesValues) {
  TempDir dir;
  TestRaster r;
  r.type = GDT_Int16;
  r.noData = -9999;
  NoDataPolicy first(Describe(r, dir / "a.tif"), true);
  r.noData = 0;
  NoDataPolicy second(Describe(r, dir / "b.tif"), true);
  second.AdoptValuesOf(first);
  EXPECT_EQ(second.InvalidDataText(), "-9999");
  std::int16_t cells[] = {0, 5, -9999, 0};
  second.Apply(cells, 4);
  EXPECT_EQ(cells[0], -9999);
  EXPECT_EQ(cells[1], 5);
  EXPECT_EQ(cells[3], -9999);

  // Band-sequential: the second band's cells start after the first band's.
  r.bands = 2;
  r.noData = 7;
  NoDataPolicy twoBands(Describe(r, dir / "c.tif"), true);
  r.noData = 9;
  NoDataPolicy reference(Describe(r, dir / "d.tif"), true);
  twoBands.AdoptValuesOf(reference);
  std::int16_t bands[] = {7, 1, 1, 7};
  twoBands.Apply(bands, 2);
  EXPECT_EQ(bands[0], 9);
  EXPECT_EQ(bands[1], 1);
  EXPECT_EQ(bands[2], 1);
  EXPECT_EQ(bands[3], 9);
}

}  // namespace
