// Filling a raster block from a window of a GDAL dataset.
#include <gdal.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "host/ComPtr.h"
#include "host/RasterBlock.h"

namespace {

// A MEM dataset of 5 x 4 cells in two Int16 bands: band b holds 100 * b + 10 * row + column.
GDALDatasetH MakeDataset() {
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("MEM"), "", 5, 4, 2, GDT_Int16, nullptr);
  double gt[6] = {1000, 30, 0, 5000, 0, -30};
  GDALSetGeoTransform(ds, gt);
  for (int b = 1; b <= 2; ++b) {
    std::int16_t cells[20];
    for (int i = 0; i < 20; ++i)
      cells[i] = static_cast<std::int16_t>(100 * b + 10 * (i / 5) + i % 5);
    EXPECT_EQ(
        GDALRasterIO(GDALGetRasterBand(ds, b), GF_Write, 0, 0, 5, 4, cells, 5, 4, GDT_Int16, 0, 0),
        CE_None);
  }
  return ds;
}

TEST(RasterBlockRead, WindowOfAllBandsBandAfterBandPlacedByTheGeotransform) {
  GDALDatasetH ds = MakeDataset();
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"dem.tif"));
  ASSERT_EQ(block->ReadWindow(ds, 1, 2, 3, 2), S_OK);
  VARIANT payload, descriptor;
  ASSERT_EQ(block->GetData(&payload, &descriptor), S_OK);
  ASSERT_EQ(payload.vt, VT_ARRAY | VT_R8);
  const auto* header = static_cast<const double*>(payload.parray->data);
  EXPECT_EQ(header[2], 3);
  EXPECT_EQ(header[3], 2);
  EXPECT_EQ(header[4], 1030);
  EXPECT_EQ(header[6], 4940);
  EXPECT_EQ(header[8], 30);
  EXPECT_EQ(header[9], -30);
  const auto* desc = static_cast<const std::int32_t*>(descriptor.parray->data);
  EXPECT_EQ(desc[1], kBlockDescriptorMarker);
  EXPECT_EQ(desc[2], GDT_Int16);
  const auto* cells = reinterpret_cast<const std::int16_t*>(header + kBlockHeaderValues);
  const std::int16_t expected[] = {121, 122, 123, 131, 132, 133, 221, 222, 223, 231, 232, 233};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(cells[i], expected[i]) << i;
  VariantClear(&payload);
  VariantClear(&descriptor);
  GDALClose(ds);
}

TEST(RasterBlockRead, OtherTypeAndRefusedWindows) {
  GDALDatasetH ds = MakeDataset();
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"dem.tif"));
  ASSERT_EQ(block->ReadWindow(ds, 4, 3, 1, 1, GDT_Float64), S_OK);
  ASSERT_NE(block->PixelData(), nullptr);
  EXPECT_EQ(static_cast<const double*>(block->PixelData())[0], 134);
  EXPECT_EQ(static_cast<const double*>(block->PixelData())[1], 234);

  EXPECT_EQ(block->ReadWindow(nullptr, 0, 0, 1, 1), E_INVALIDARG);
  EXPECT_EQ(block->ReadWindow(ds, 4, 0, 2, 1), E_INVALIDARG);
  EXPECT_EQ(block->ReadWindow(ds, 0, 3, 1, 2), E_INVALIDARG);
  EXPECT_EQ(block->ReadWindow(ds, -1, 0, 1, 1), E_INVALIDARG);
  EXPECT_EQ(block->ReadWindow(ds, 0, 0, 0, 1), E_INVALIDARG);
  GDALClose(ds);
}

}  // namespace
