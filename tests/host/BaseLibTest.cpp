#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <filesystem>

#include "host/CodePage.h"
#include "host/CoordinateUnits.h"
#include "host/HVXBaseLib.h"
#include "host/HVXRasterBase.h"
#include "host/SpatialReference.h"
#include "support/TempDir.h"

namespace {

TEST(SplitPath, SplitsAtBothSeparatorsAndTheLastDot) {
  PathParts p = SplitPath("D:\\dem\\J50.tile.dem");
  EXPECT_EQ(p.drive, "D:");
  EXPECT_EQ(p.dir, "\\dem\\");
  EXPECT_EQ(p.fname, "J50.tile");
  EXPECT_EQ(p.ext, ".dem");
  p = SplitPath("/data/out/a");
  EXPECT_EQ(p.dir, "/data/out/");
  EXPECT_EQ(p.fname, "a");
  EXPECT_EQ(p.ext, "");
  p = SplitPath("/data.d/readme");
  EXPECT_EQ(p.fname, "readme");
  EXPECT_EQ(p.ext, "");
}

TEST(SplitPath, ChineseFileNameWithBackslashTrailByte) {
  std::string name = Utf8ToGbk("数据") + "\x81\x5C";  // last character's trail byte is '\\'
  PathParts p = SplitPath("out/" + name + ".dem");
  EXPECT_EQ(p.dir, "out/");
  EXPECT_EQ(p.fname, name);
  EXPECT_EQ(p.ext, ".dem");
}

TEST(FileType, ExtensionComparedIgnoringCase) {
  EXPECT_EQ(IsFileType("out/area.DEM", "dem"), 1);
  EXPECT_EQ(IsFileType("out/area.dem.tmp", "dem"), 0);
  EXPECT_EQ(IsFileType("out.dem/area", "dem"), 0);
  EXPECT_EQ(IsFileType("out/", "dem"), 0);
}

TEST(FileType, FileOrPath) {
  EXPECT_EQ(IsFileOrPath("out/"), 0);
  EXPECT_EQ(IsFileOrPath("D:\\out\\"), 0);
  EXPECT_EQ(IsFileOrPath(""), 0);
  EXPECT_NE(IsFileOrPath("out/a.dem"), 0);
  EXPECT_NE(IsFileOrPath("out/a"), 0);
  TempDir dir;  // an existing folder is one without its separator too
  EXPECT_EQ(IsFileOrPath(dir.Path().string()), 0);
  EXPECT_NE(IsFileOrPath(dir / "absent"), 0);
}

TEST(FileSystem, ExistenceAndLongDirectories) {
  TempDir dir;
  std::string deep = dir.Path().string() + "/" + Utf8ToGbk("新建") + "/sub dir/x";
  EXPECT_EQ(IsDirExisting(deep), 0);
  EXPECT_EQ(MakeLongDir(deep), 0);
  EXPECT_EQ(IsDirExisting(deep), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "新建" / "sub dir" / "x"));
  EXPECT_EQ(MakeLongDir(deep + "/"), 0);  // existing: still success

  std::string file = deep + "/" + Utf8ToGbk("文件.dem");
  EXPECT_EQ(IsFileExisting(file), 0);
  TempDir::WriteFile(GbkToUtf8(file), "x");
  EXPECT_EQ(IsFileExisting(file), 1);
  EXPECT_EQ(IsFileExisting(deep), 0);  // a folder is not a file
  EXPECT_NE(MakeLongDir(file + "/below"), 0);  // a file stands in the way
  EXPECT_EQ(IsDirExisting(""), 1);
}

TEST(Strings, SplitStringKeepsEmptyPieces) {
  StringList list{"kept"};
  SplitString("-9999|1.5||x", "|", list);
  EXPECT_EQ(list, (StringList{"kept", "-9999", "1.5", "", "x"}));
  StringList one;
  SplitString("42", "|", one);
  EXPECT_EQ(one, StringList{"42"});
}

TEST(RasterBase, UnitLetterFromCoordinateSystem) {
  char unit = 'M';
  EXPECT_EQ(GetUnitType("EPSG:4326", &unit), 0);
  EXPECT_EQ(unit, 'D');
  unit = 'X';
  GetUnitType("EPSG:32650", &unit);
  EXPECT_EQ(unit, 'M');
  unit = 'X';
  GetUnitType("EPSG:2227", &unit);  // US survey feet
  EXPECT_EQ(unit, 'F');
  unit = 'M';
  EXPECT_EQ(GetUnitType("not a coordinate system", &unit), 1);
  EXPECT_EQ(unit, 'M');
}

// Linear units without a letter are converted to metres, with the system in metres to go with
// them; coordinates no letter can state are refused.
TEST(CoordinateUnits, EveryLinearUnitEndsInALetter) {
  using Kind = CoordinateUnits::Kind;
  const char* const km = "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=40 +lon_0=105 +x_0=500000 +units=km";
  const struct {
    const char* srs;
    Kind kind;
    char letter;
    double factor;
  } cases[] = {
      {"", Kind::kNone, 'M', 1},
      {"EPSG:4490", Kind::kDegrees, 'D', 1},
      {"EPSG:4547", Kind::kMetres, 'M', 1},
      {"EPSG:2227", Kind::kFeet, 'F', 1},
      {km, Kind::kConverted, 'M', 1000},
      {"+proj=tmerc +lon_0=90 +units=ch", Kind::kConverted, 'M', 20.1168},
      {"EPSG:24370", Kind::kConverted, 'M', 0.9143985},  // Indian yards
      {"EPSG:4978", Kind::kUnsound, '\0', 1},            // geocentric
      {"EPSG:4807", Kind::kUnsound, '\0', 1},            // longitudes in grads
  };
  for (const auto& c : cases) {
    const CoordinateUnits units = CoordinateUnits::Of(c.srs);
    EXPECT_EQ(units.kind(), c.kind) << c.srs;
    EXPECT_EQ(units.letter(), c.letter) << c.srs;
    EXPECT_NEAR(units.factor(), c.factor, 1e-6) << c.srs;
  }
  // The system in metres: its false easting of 500 km becomes 500000 m.
  OGRSpatialReferenceH metres = OSRNewSpatialReference(nullptr);
  ASSERT_EQ(OSRSetFromUserInput(metres, CoordinateUnits::Of(km).HeaderWkt(km).c_str()),
            OGRERR_NONE);
  EXPECT_EQ(OSRGetLinearUnits(metres, nullptr), 1.0);
  EXPECT_EQ(OSRGetProjParm(metres, SRS_PP_FALSE_EASTING, 0, nullptr), 500000.0);
  OSRDestroySpatialReference(metres);
}

TEST(RasterBase, InvalidValuesPerType) {
  EXPECT_EQ(GetInvalid(GDT_Int16), -32768.0);
  EXPECT_EQ(GetInvalid(GDT_Byte), 255.0);
  // Survives a round trip through a 32-bit float.
  double f = GetInvalid(GDT_Float64);
  EXPECT_EQ(static_cast<double>(static_cast<float>(f)), f);
}

TEST(RasterBase, FillsBandSequentialBuffers) {
  std::vector<std::int16_t> buffer(2 * 3 * 2, 0);
  double values[] = {-9999.0, 7.6};
  BlockSetInvalidM(buffer.data(), 2, 3, GDT_Int16, 2, values);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer[i], -9999);
  for (int i = 6; i < 12; ++i) EXPECT_EQ(buffer[i], 8);  // GDAL rounds to the nearest
}

TEST(RasterBase, WktOfSpatialReference) {
  BSTR wkt = nullptr;
  SRSGetWKT(nullptr, &wkt);
  EXPECT_EQ(wkt, nullptr);
  auto* empty = SpatialReference::Create(u"");
  SRSGetWKT(empty, &wkt);
  EXPECT_EQ(wkt, nullptr);
  empty->Release();
  auto* ref = SpatialReference::Create(u"GEOGCS[\"x\"]");
  SRSGetWKT(ref, &wkt);
  ASSERT_NE(wkt, nullptr);
  EXPECT_EQ(std::u16string(wkt), u"GEOGCS[\"x\"]");
  SysFreeString(wkt);
  ref->Release();
}

}  // namespace
