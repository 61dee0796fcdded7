#include <gtest/gtest.h>

#include <vector>

#include "apps/geodem/convert/BlockLayout.h"

namespace {

struct Span {
  int x, y, columns, rows;
  bool operator==(const Span&) const = default;
};

std::vector<Span> Windows(int width, int height, int block, int overlap) {
  BlockLayout layout(width, height, block, overlap);
  std::vector<Span> out;
  for (std::int64_t i = 0; i < layout.count(); ++i) {
    BlockWindow w = layout.Window(i);
    out.push_back({w.x, w.y, w.columns, w.rows});
  }
  return out;
}

TEST(BlockLayout, WithoutOverlapTilesTheRasterRowByRow) {
  std::vector<Span> expected = {{0, 0, 4, 4}, {4, 0, 4, 4}, {8, 0, 2, 4},
                                {0, 4, 4, 3}, {4, 4, 4, 3}, {8, 4, 2, 3}};
  EXPECT_EQ(Windows(10, 7, 4, 0), expected);
  EXPECT_EQ(Windows(3, 2, 512, 0), (std::vector<Span>{{0, 0, 3, 2}}));
}

TEST(BlockLayout, InteriorSidesGetHalfTheWindowAndEdgesStayAtTheEdge) {
  // Window 5: a margin of 2 on interior sides. The last column of cores is one cell wide, so the
  // middle column's margin is cut at the edge: it then ends at the edge and keeps its right side.
  std::vector<Span> expected = {{0, 0, 6, 6}, {2, 0, 7, 6}, {6, 0, 3, 6},
                                {0, 2, 6, 5}, {2, 2, 7, 5}, {6, 2, 3, 5}};
  EXPECT_EQ(Windows(9, 7, 4, 5), expected);
}

// The writer keeps a block's cells minus half the window on every side that does not touch the
// raster's edge. Whatever the sizes, what it keeps must cover every cell, inside the raster.
TEST(BlockLayout, WhatTheWriterKeepsCoversEveryCellOnce) {
  for (int width : {1, 7, 64, 65, 130}) {
    for (int block : {1, 3, 8, 64}) {
      for (int overlap = 0; overlap <= block; overlap += (block > 8 ? 7 : 1)) {
        const int h = overlap / 2;
        const int height = width / 2 + 1;
        BlockLayout layout(width, height, block, overlap);
        std::vector<int> kept(static_cast<std::size_t>(width) * height, 0);
        double cores = 0;
        for (std::int64_t i = 0; i < layout.count(); ++i) {
          BlockWindow w = layout.Window(i);
          cores += w.coreCells;
          int xs = w.x + (w.x != 0 ? h : 0);
          int xe = w.x + w.columns - (w.x + w.columns != width ? h : 0);
          int ys = w.y + (w.y != 0 ? h : 0);
          int ye = w.y + w.rows - (w.y + w.rows != height ? h : 0);
          ASSERT_GE(w.x, 0);
          ASSERT_LE(w.x + w.columns, width);
          ASSERT_LE(w.y + w.rows, height);
          for (int y = ys; y < ye; ++y)
            for (int x = xs; x < xe; ++x) ++kept[static_cast<std::size_t>(y) * width + x];
        }
        SCOPED_TRACE("width " + std::to_string(width) + " block " + std::to_string(block) +
                     " overlap " + std::to_string(overlap));
        EXPECT_EQ(cores, static_cast<double>(width) * height);
        for (int k : kept) ASSERT_GE(k, 1);
      }
    }
  }
}

}  // namespace
