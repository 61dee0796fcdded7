// The quick-look's colours: heights below 0 m are water, in blues, whatever the land's range.
#include <gtest/gtest.h>

#include <vector>

#include "GeodemEndToEnd.h"

namespace {

TEST_F(GeodemEndToEnd, QuickLookColoursHeightsBelowSeaLevelAsWater) {
  TestRaster r;
  r.width = 200;
  r.height = 100;
  r.geoTransform = {500000, 10, 0, 4000000, 0, -10};
  r.epsg = 32650;
  // A sea bed from -60 m up to the shore at the middle, then land rising to 400 m.
  r.cell = [](int, int x, int) { return x < 100 ? -60.0 + x * 0.5 : (x - 100) * 4.0 + 1; };
  const std::string source = Write(r, "coast.tif"), grid = dir_ / "coast.dem";
  ASSERT_EQ(Convert({"-q", source, grid}).status, 0);
  const std::string png = dir_ / "coast.png";
  const ProcessResult info = GeodemProcess::Geodem({"info", "--quicklook", png, grid});
  ASSERT_EQ(info.status, 0) << info.err;
  GDALDatasetH picture = GDALOpen(png.c_str(), GA_ReadOnly);
  ASSERT_NE(picture, nullptr);
  const int w = GDALGetRasterXSize(picture), h = GDALGetRasterYSize(picture);
  std::vector<unsigned char> rgb(static_cast<std::size_t>(3 * w * h));
  ASSERT_EQ(GDALDatasetRasterIO(picture, GF_Read, 0, 0, w, h, rgb.data(), w, h, GDT_Byte, 3,
                                nullptr, 0, 0, 0),
            CE_None);
  GDALClose(picture);
  const auto at = [&](int x, int band) {
    return rgb[static_cast<std::size_t>(band) * w * h + static_cast<std::size_t>(h / 2) * w + x];
  };
  for (int x : {w / 20, w / 4, w * 9 / 20}) {  // deep, middling and shallow water
    EXPECT_GT(at(x, 2), at(x, 0)) << "x " << x;
    EXPECT_GT(at(x, 2), at(x, 1)) << "x " << x;
  }
  for (int x : {w * 11 / 20, w * 3 / 4}) {  // lowland and hills: no blue above the others
    EXPECT_LE(at(x, 2), std::max(at(x, 0), at(x, 1))) << "x " << x;
  }
}

}  // namespace
