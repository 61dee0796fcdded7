#pragma once
// Cuts a raster into blocks the way the conversion framework hands them to writers: a grid of
// cores of blockSize x blockSize cells (smaller at the right and bottom edges), in rows from the
// top, each core widened on every interior side by half the overlap window. The writer trims that
// margin again on every side that does not touch the raster's edge, so a margin is only added
// where it is complete: at an edge the block stops at the edge.
#include <cstdint>

struct BlockWindow {
  int x = 0;  // the block as read and handed over, margins included
  int y = 0;
  int columns = 0;
  int rows = 0;
  // Cells of the core, which the writer keeps.
  double coreCells = 0;
  // The core within the block: each cell of the source lies in exactly one core.
  int coreX = 0;
  int coreY = 0;
  int coreColumns = 0;
  int coreRows = 0;
};

class BlockLayout {
 public:
  BlockLayout(int width, int height, int blockSize, int overlap);

  std::int64_t count() const { return static_cast<std::int64_t>(blocksAcross_) * blocksDown_; }
  // Block `index` of count(), row by row from the top left.
  BlockWindow Window(std::int64_t index) const;

 private:
  // Start and length of the span that holds core [start, start + size) of an axis of `extent`.
  void Span(int coreStart, int coreSize, int extent, int& start, int& length) const;

  int width_;
  int height_;
  int blockSize_;
  int margin_;
  int blocksAcross_;
  int blocksDown_;
};
