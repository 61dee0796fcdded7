// Reading a source by its rules, against heights worked out here in double from the cells written:
// masks and alpha, scale and feet, signed bytes, NaN and infinity; the type and no-data marker of
// sources and mosaics; the largest zoom a source allows.
#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <cpl_string.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "gridfile/CellRounding.h"
#include "rastersource/CellPlan.h"
#include "rastersource/SourceReader.h"
#include "rastersource/ZoomLimit.h"
#include "support/TempDir.h"

namespace {

constexpr int kWidth = 7, kHeight = 5;
constexpr double kMarker = -1e300;
using Cells = std::function<double(int x, int y)>;

// A GeoTIFF of `bands` bands of `type`; `edit` sets what the case needs before the cells are
// written (the mask band, scale, unit), band b's cells come from cells[b].
std::string Write(const std::string& path, GDALDataType type, const std::vector<Cells>& cells,
                  const char* const* options = nullptr,
                  const std::function<void(GDALDatasetH)>& edit = nullptr) {
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), kWidth, kHeight,
                               static_cast<int>(cells.size()), type, const_cast<char**>(options));
  EXPECT_TRUE(ds);
  double gt[6] = {500000, 10, 0, 4000000, 0, -10};
  GDALSetGeoTransform(ds, gt);
  if (edit) edit(ds);
  std::vector<double> values(kWidth * kHeight);
  for (std::size_t b = 0; b < cells.size(); ++b) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) values[y * kWidth + x] = cells[b](x, y);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, static_cast<int>(b) + 1), GF_Write, 0, 0, kWidth,
                           kHeight, values.data(), kWidth, kHeight, GDT_Float64, 0, 0),
              CE_None);
  }
  GDALClose(ds);
  return path;
}

RasterSource Describe(const std::string& path) {
  std::string error;
  auto s = RasterSource::Describe(path, 1, error);
  EXPECT_TRUE(s) << error;
  return *s;
}

bool Masked(int x, int y) { return (x + 2 * y) % 5 == 0; }

// The bits of signed bytes, the ends of their range (-128 and 127) in the first row.
double SignedByteBits(int x, int y) {
  if (y == 0 && x < 2) return x == 0 ? 0x80 : 0x7f;
  return static_cast<double>((x * 37 - y * 29 - 40) & 0xff);
}

TEST(SourceReader, HeightsFollowTheRulesOfTheBand) {
  struct Case {
    const char* name;
    std::function<std::string(const std::string& dir)> write;
    // The height of a cell in metres, NaN for no data.
    std::function<double(int x, int y)> expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Cells surface = [](int x, int y) { return 1000 + x * 3.25 - y * 7.5; };
  const Cells alpha = [](int x, int y) { return Masked(x, y) ? 0.0 : 255.0; };
  const char* const alphaOptions[] = {"ALPHA=YES", nullptr};
  const char* const signedBytes[] = {"PIXELTYPE=SIGNEDBYTE", nullptr};
  const Case cases[] = {
      {"alpha band",
       [&](const std::string& dir) {
         return Write(dir + "/alpha.tif", GDT_Float32, {surface, alpha}, alphaOptions);
       },
       [&](int x, int y) { return Masked(x, y) ? nan : surface(x, y); }},
      {"alpha band and a no-data value",
       [&](const std::string& dir) {
         return Write(
             dir + "/alpha-nodata.tif", GDT_Int16,
             {[](int x, int y) { return x == 6 ? -9999.0 : x * 100.0 - y; }, alpha}, alphaOptions,
             [](GDALDatasetH ds) { GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), -9999); });
       },
       [&](int x, int y) { return Masked(x, y) || x == 6 ? nan : x * 100.0 - y; }},
      {"internal mask, NaN and infinity",
       [&](const std::string& dir) {
         CPLSetConfigOption("GDAL_TIFF_INTERNAL_MASK", "YES");
         std::string path = Write(dir + "/mask.tif", GDT_Float32,
                                  {[&](int x, int y) {
                                    if (x == 1 && y == 1) return nan;
                                    if (x == 2 && y == 1) return HUGE_VAL;
                                    if (x == 3 && y == 1) return -HUGE_VAL;
                                    return surface(x, y);
                                  }},
                                  nullptr, [](GDALDatasetH ds) {
                                    GDALCreateDatasetMaskBand(ds, GMF_PER_DATASET);
                                  });
         GDALDatasetH ds = GDALOpen(path.c_str(), GA_Update);
         GDALRasterBandH mask = GDALGetMaskBand(GDALGetRasterBand(ds, 1));
         std::vector<unsigned char> bytes(kWidth * kHeight);
         for (int y = 0; y < kHeight; ++y)
           for (int x = 0; x < kWidth; ++x) bytes[y * kWidth + x] = Masked(x, y) ? 0 : 255;
         EXPECT_EQ(GDALRasterIO(mask, GF_Write, 0, 0, kWidth, kHeight, bytes.data(), kWidth,
                                kHeight, GDT_Byte, 0, 0),
                   CE_None);
         GDALClose(ds);
         CPLSetConfigOption("GDAL_TIFF_INTERNAL_MASK", nullptr);
         return path;
       },
       [&](int x, int y) { return Masked(x, y) || (y == 1 && x >= 1 && x <= 3) ? nan : surface(x, y); }},
      {"scale and offset",
       [&](const std::string& dir) {
         return Write(dir + "/scaled.tif", GDT_Int16,
                      {[](int x, int y) { return x == y ? -32768.0 : 14130.0 + x * 7 - y * 3; }},
                      nullptr, [](GDALDatasetH ds) {
                        GDALRasterBandH b = GDALGetRasterBand(ds, 1);
                        GDALSetRasterNoDataValue(b, -32768);
                        GDALSetRasterScale(b, 0.1);
                        GDALSetRasterOffset(b, -5);
                      });
       },
       [=](int x, int y) { return x == y ? nan : (14130.0 + x * 7 - y * 3) * 0.1 - 5; }},
      {"feet",
       [&](const std::string& dir) {
         return Write(dir + "/feet.tif", GDT_Float32,
                      {[&](int x, int y) { return x == 0 ? -9999.0 : surface(x, y); }}, nullptr,
                      [](GDALDatasetH ds) {
                        GDALRasterBandH b = GDALGetRasterBand(ds, 1);
                        GDALSetRasterNoDataValue(b, -9999);
                        GDALSetRasterUnitType(b, "ft");
                      });
       },
       [&](int x, int y) {
         return x == 0 ? nan : static_cast<double>(static_cast<float>(surface(x, y))) * 0.3048;
       }},
      {"signed bytes",
       [&](const std::string& dir) {
         // GDAL writes a signed byte's bits as the unsigned value.
         return Write(dir + "/int8.tif", GDT_Byte, {[](int x, int y) { return SignedByteBits(x, y); }},
                      signedBytes, [](GDALDatasetH ds) {
                        GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), -1);
                      });
       },
       [&](int x, int y) {
         double v = static_cast<std::int8_t>(static_cast<std::uint8_t>(SignedByteBits(x, y)));
         return v == -1 ? nan : v;
       }},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RasterSource source = Describe(c.write(dir.Path().string()));
    std::string error;
    auto reader = SourceReader::Open(source, error);
    ASSERT_TRUE(reader) << error;
    std::vector<double> heights(kWidth * kHeight);
    ASSERT_TRUE(reader->Read(0, 0, kWidth, kHeight, GDT_Float64, kMarker, heights.data()));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double want = c.expected(x, y);
        EXPECT_EQ(heights[y * kWidth + x], std::isnan(want) ? kMarker : want) << x << "," << y;
      }
    }
    // A window inside the raster reads the same cells.
    std::vector<double> window(2 * 3);
    ASSERT_TRUE(reader->Read(4, 2, 2, 3, GDT_Float64, kMarker, window.data()));
    EXPECT_EQ(window[5], heights[4 * kWidth + 5]);
  }
}

// Heights in a metric unit other than the metre give the cells of the same heights in metres.
TEST(SourceReader, MetricBandUnitsGiveTheCellsOfMetres) {
  const Cells metres = [](int x, int y) { return 1000 + x * 3.25 - y * 7.5 + (x == 2) * 0.005; };
  const std::pair<const char*, double> units[] = {
      {"cm", 100},         {"mm", 1000},          {"km", 0.001},    {"Centimetre", 100},
      {"millimeters", 1000}, {"KILOMETRES", 0.001}, {"dm", 10}};
  TempDir dir;
  std::vector<double> want(kWidth * kHeight), got(kWidth * kHeight);
  const RasterSource inMetres = Describe(Write(dir / "m.tif", GDT_Float64, {metres}));
  std::string error;
  ASSERT_TRUE(SourceReader::Open(inMetres, error)
                  ->Read(0, 0, kWidth, kHeight, GDT_Float64, kMarker, want.data()));
  for (const auto& [unit, perMetre] : units) {
    const std::string path =
        Write(dir / "unit.tif", GDT_Float64,
              {[&, perMetre = perMetre](int x, int y) { return metres(x, y) * perMetre; }}, nullptr,
              [&, unit = unit](GDALDatasetH ds) { GDALSetRasterUnitType(GDALGetRasterBand(ds, 1), unit); });
    const RasterSource source = Describe(path);
    ASSERT_TRUE(SourceReader::Open(source, error)
                    ->Read(0, 0, kWidth, kHeight, GDT_Float64, kMarker, got.data()));
    for (int i = 0; i < kWidth * kHeight; ++i) {
      for (double zoom : {100.0, 1000.0}) {
        ASSERT_EQ(std::trunc(cell_rounding::Rounded(zoom, got[i])),
                  std::trunc(cell_rounding::Rounded(zoom, want[i])))
            << unit << ", cell " << i << ", zoom " << zoom;
      }
    }
    EXPECT_FALSE(source.notes().empty()) << unit;  // the conversion is said
  }
}

TEST(CellPlan, TypeAndMarkerOfSourcesAndMosaics) {
  struct Piece {
    GDALDataType type;
    std::optional<double> noData;
    double scale = 1;
  };
  struct Case {
    const char* name;
    std::vector<Piece> pieces;
    GDALDataType type;
    std::optional<double> marker;
    bool chosen;
  };
  const Case cases[] = {
      {"Float32 no-data as stored", {{GDT_Float32, -9999.9}}, GDT_Float32, -9999.900390625, false},
      {"Float32 without no-data", {{GDT_Float32, {}}}, GDT_Float32, -FLT_MAX, false},
      {"Float64 with NaN no-data", {{GDT_Float64, std::nan("")}}, GDT_Float64, -FLT_MAX, false},
      {"integer without no-data", {{GDT_Int16, {}}}, GDT_Int16, std::nullopt, false},
      {"scaled band", {{GDT_Int16, -32768, 0.5}}, GDT_Float64, -FLT_MAX, false},
      {"mosaic sharing a no-data value", {{GDT_Int16, -9999}, {GDT_Int16, -9999}}, GDT_Int16, -9999,
       false},
      {"mosaic of no-data values 0 and none", {{GDT_Int16, 0}, {GDT_Int16, {}}}, GDT_Int32,
       -2147483648.0, true},
      {"mosaic of Byte pieces", {{GDT_Byte, 0}, {GDT_Byte, 255}}, GDT_Int16, -32768, true},
      {"mosaic of Int16 where one piece holds -32768", {{GDT_Int16, -32768}, {GDT_Int16, -1}},
       GDT_Int32, -2147483648.0, true},
      {"mosaic of Int16 and Float32", {{GDT_Int16, -9999}, {GDT_Float32, -9999}}, GDT_Float32,
       -9999, false},
      {"mosaic of UInt16 and Int16", {{GDT_UInt16, 0}, {GDT_Int16, 0}}, GDT_Int32, 0, false},
      {"mosaic of Int32 and Float32", {{GDT_Int32, 1}, {GDT_Float32, 2}}, GDT_Float64, -FLT_MAX,
       true},
      {"mosaic of UInt32 and Int32", {{GDT_UInt32, {}}, {GDT_Int32, {}}}, GDT_Float64, -FLT_MAX,
       true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<RasterSource> sources;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      const Piece& p = c.pieces[i];
      sources.push_back(Describe(Write(dir / (std::to_string(i) + ".tif"), p.type,
                                       {[](int, int) { return 1.0; }}, nullptr,
                                       [&](GDALDatasetH ds) {
                                         GDALRasterBandH b = GDALGetRasterBand(ds, 1);
                                         if (p.noData) GDALSetRasterNoDataValue(b, *p.noData);
                                         if (p.scale != 1) GDALSetRasterScale(b, p.scale);
                                       })));
    }
    std::vector<const RasterSource*> pieces;
    for (const RasterSource& s : sources) pieces.push_back(&s);
    const CellPlan plan = CellPlan::For(pieces, pieces.size() > 1);
    EXPECT_EQ(plan.type, c.type) << GDALGetDataTypeName(plan.type);
    EXPECT_EQ(plan.marker, c.marker);
    EXPECT_EQ(plan.markerChosen, c.chosen);
    if (plan.marker) {
      EXPECT_EQ(std::strtod(plan.MarkerText().c_str(), nullptr), *plan.marker);
    }
  }
}

TEST(ZoomLimit, LargestZoomThatKeepsEveryHeightIn32Bits) {
  EXPECT_EQ(ZoomLimit::ForHeights(-10, 1736), 1237029);
  EXPECT_EQ(ZoomLimit::ForHeights(-2147483647, 3), 1);
  EXPECT_EQ(ZoomLimit::ForHeights(0, 0), std::numeric_limits<std::int64_t>::max());
  // At both ends of the integers the check rounds as the cells are rounded.
  const std::pair<double, std::int64_t> ends[] = {
      {-2147483647.4, 1},       {-2147483648.4999995, 1}, {-2147483648.5, 0},
      {2147483647.4999998, 1},  {2147483647.5, 0},        {1073741823.7, 2},
      {1073741823.75, 1}};
  for (const auto& [height, zoom] : ends) {
    EXPECT_EQ(ZoomLimit::ForHeights(height, height), zoom) << height;
  }

  // An Int16 source allows zoom 100 from its type alone: nothing need be read.
  TempDir dir;
  const RasterSource i16 = Describe(Write(dir / "i16.tif", GDT_Int16, {[](int, int) { return 1.0; }}));
  EXPECT_GE(ZoomLimit::ForHeights(i16.lowestPossible(), i16.highestPossible()), 100);
}

// The range the zoom is checked against, over cells as they go to the writer: the marker and
// non-finite cells are no heights, wherever they fall among the four-cell steps and the rest.
TEST(SourceReader, HeightRangeOfCellsLeavesOutWhatIsNoHeight) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* name;
    std::vector<float> cells;
    std::optional<double> marker;
    bool any;
    double lowest, highest;
  } cases[] = {
      {"marker and non-finite in the steps", {1, nan, 9, -inf, 2, 5, 9}, 9, true, 1, 5},
      {"ends in the rest", {0, 0, 0, 0, 0, 0, -3, 8}, std::nullopt, true, -3, 8},
      {"marker only", {-9999, -9999, -9999, -9999, -9999}, -9999, false, 0, 0},
      {"non-finite only", {inf, nan, -inf}, std::nullopt, false, 0, 0},
      {"the float extremes", {FLT_MAX, -FLT_MAX, 0, 0}, std::nullopt, true, -FLT_MAX, FLT_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto range =
        SourceReader::HeightRange::Of(c.cells.data(), c.cells.size(), GDT_Float32, c.marker);
    EXPECT_EQ(range.any, c.any);
    if (!c.any) continue;
    EXPECT_EQ(range.lowest, c.lowest);
    EXPECT_EQ(range.highest, c.highest);
  }
  const std::int16_t int16[] = {-32768, 7, -5, 3, -32768};
  const auto range = SourceReader::HeightRange::Of(int16, 5, GDT_Int16, -32768.0);
  EXPECT_TRUE(range.any);
  EXPECT_EQ(range.lowest, -5);
  EXPECT_EQ(range.highest, 7);
}

}  // namespace
