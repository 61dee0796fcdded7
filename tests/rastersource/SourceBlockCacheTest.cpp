// The bytes of the source's blocks that a row of windows reaches: a window row that does not start
// on a block edge reaches one block row more than its height alone would.
#include <cpl_vsi.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include "rastersource/RasterSource.h"
#include "rastersource/SourceBlockCache.h"

namespace {

TEST(SourceBlockCache, RowBytesCountEveryBlockRowAWindowRowReaches) {
  GDALAllRegister();
  const char* path = "/vsimem/source-block-cache.tif";
  const char* tiled[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", nullptr};
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path, 1024, 1024, 1, GDT_Float32,
                               const_cast<char**>(tiled));
  ASSERT_NE(ds, nullptr);
  double transform[6] = {500000, 10, 0, 4000000, 0, -10};
  GDALSetGeoTransform(ds, transform);
  std::string error;
  std::optional<RasterSource> source = RasterSource::Describe(ds, 1, error);
  ASSERT_TRUE(source) << error;
  const struct {
    int windowRows;
    double bytes;  // 4 tiles across, 256 x 256 cells of 4 bytes each
  } cases[] = {
      {1, 1 * 4 * 262144.0},     // a row of cells lies in one row of tiles
      {256, 2 * 4 * 262144.0},   // a tile's height, not starting on its edge
      {512, 3 * 4 * 262144.0},   // 3 145 728 bytes
      {4096, 4 * 4 * 262144.0},  // never more than the source holds
  };
  for (const auto& c : cases)
    EXPECT_EQ(SourceBlockCache::RowBytes(*source, c.windowRows), c.bytes) << c.windowRows;
  GDALClose(ds);
  VSIUnlink(path);
}

}  // namespace
