#include "apps/geodem/convert/BlockLayout.h"

#include <algorithm>

BlockLayout::BlockLayout(int width, int height, int blockSize, int overlap)
    : width_(width),
      height_(height),
      blockSize_(std::max(1, blockSize)),
      margin_(std::max(0, overlap) / 2),
      blocksAcross_((width + blockSize_ - 1) / blockSize_),
      blocksDown_((height + blockSize_ - 1) / blockSize_) {}

void BlockLayout::Span(int coreStart, int coreSize, int extent, int& start, int& length) const {
  int end = coreStart + coreSize;
  start = coreStart == 0 ? 0 : std::max(0, coreStart - margin_);
  end = end >= extent ? extent : std::min(extent, end + margin_);
  length = end - start;
}

BlockWindow BlockLayout::Window(std::int64_t index) const {
  int column = static_cast<int>(index % blocksAcross_);
  int row = static_cast<int>(index / blocksAcross_);
  int coreX = column * blockSize_;
  int coreY = row * blockSize_;
  int coreColumns = std::min(blockSize_, width_ - coreX);
  int coreRows = std::min(blockSize_, height_ - coreY);
  BlockWindow w;
  Span(coreX, coreColumns, width_, w.x, w.columns);
  Span(coreY, coreRows, height_, w.y, w.rows);
  w.coreCells = static_cast<double>(coreColumns) * coreRows;
  w.coreX = coreX - w.x;
  w.coreY = coreY - w.y;
  w.coreColumns = coreColumns;
  w.coreRows = coreRows;
  return w;
}
