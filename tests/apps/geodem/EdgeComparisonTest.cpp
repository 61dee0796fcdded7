// The cells two files share along an edge, compared in metres whatever each file's Hzoom.
#include <gtest/gtest.h>

#include "apps/geodem/edgematch/EdgeComparison.h"

namespace {

EdgeGrid Grid(std::int32_t zoom, std::int64_t noData) {
  EdgeGrid g;
  g.header.emplace();
  g.header->zoom = zoom;
  g.noData = noData;
  return g;
}

TEST(EdgeComparison, MetresToleranceAndNoDataWithTheirPlaces) {
  struct Case {
    const char* what;
    std::int32_t zoomA, zoomB;
    std::vector<std::int32_t> a, b;  // 2 x 2 cells
    double tolerance;
    std::int64_t differing, noData;
    std::optional<double> largest;
  };
  for (const Case& c : std::vector<Case>{
           {"equal", 1, 1, {1, 2, 3, 4}, {1, 2, 3, 4}, 0, 0, 0, 0.0},
           {"one metre apart", 1, 1, {1, 2, 3, 4}, {1, 2, 3, 5}, 0, 1, 0, 1.0},
           {"within the tolerance", 1, 1, {1, 2, 3, 4}, {1, 2, 3, 5}, 1, 0, 0, 1.0},
           {"the same metres at Hzoom 1 and 100",
            1,
            100,
            {1, 2, 3, 4},
            {100, 200, 300, 400},
            0,
            0,
            0,
            0.0},
           {"a centimetre at Hzoom 100",
            100,
            100,
            {100, 200, 300, 400},
            {100, 200, 301, 400},
            0,
            1,
            0,
            0.01},
           {"no data on one side", 1, 1, {-9, 2, 3, 4}, {1, 2, 3, 4}, 0, 0, 1, 0.0},
           {"no data on both sides", 1, 1, {-9, 2, 3, 4}, {-9, 2, 3, 4}, 0, 0, 0, 0.0},
       }) {
    const EdgeGrid a = Grid(c.zoomA, -9), b = Grid(c.zoomB, -9);
    SheetEdge edge;
    edge.inFirst = {10, 20, 2, 2};  // rows 11-12, columns 21-22 of the first file
    edge.inSecond = {0, 0, 2, 2};
    EdgeComparison(a, b, c.tolerance).Run(c.a, c.b, edge);
    EXPECT_EQ(edge.compared, 4) << c.what;
    EXPECT_EQ(edge.differing, c.differing) << c.what;
    EXPECT_EQ(edge.noDataAgainstHeight, c.noData) << c.what;
    ASSERT_TRUE(edge.largest) << c.what;
    EXPECT_NEAR(*edge.largest, *c.largest, 1e-12) << c.what;
    EXPECT_EQ(edge.status,
              c.differing + c.noData ? SheetEdge::Status::kDiffers : SheetEdge::Status::kOk)
        << c.what;
  }
  // The place of the largest difference, and of the first no data, in both files.
  const EdgeGrid a = Grid(1, -9), b = Grid(1, -9);
  SheetEdge edge;
  edge.inFirst = {10, 20, 2, 2};
  edge.inSecond = {0, 0, 2, 2};
  EdgeComparison(a, b, 0).Run({1, -9, 3, 4}, {1, 2, 9, 4}, edge);
  EXPECT_EQ(edge.largestAt.firstRow, 12);
  EXPECT_EQ(edge.largestAt.firstColumn, 21);
  EXPECT_EQ(edge.largestAt.secondRow, 2);
  EXPECT_EQ(edge.largestAt.secondColumn, 1);
  ASSERT_TRUE(edge.firstNoData);
  EXPECT_EQ(edge.firstNoData->firstRow, 11);
  EXPECT_EQ(edge.firstNoData->firstColumn, 22);
  EXPECT_EQ(edge.firstNoData->secondColumn, 2);
}

}  // namespace
