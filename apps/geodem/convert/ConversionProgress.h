#pragma once
// The progress of one target, measured in cells: every cell is counted once when its block has
// been written into the temporary raster and once when the grid file holding it has been written.
// The second half is driven by the writer's progress events, which during a grid conversion report
// the rows written (the writer's block events in between are ignored: geodem counts the blocks
// the writer accepted itself, also for sources too small to raise any event).
#include <cstdint>

#include "apps/geodem/convert/ProgressDisplay.h"

class ConversionProgress {
 public:
  explicit ConversionProgress(ProgressDisplay& display) : display_(display) {}

  void BeginTarget(double cells);
  void BlockWritten(double cells);
  // The next writer call converts a grid file of this many cells.
  void BeginConversion(double cells);
  void EndConversion();
  void OnWriterProgress(std::int32_t done, std::int32_t total);
  void EndTarget(bool succeeded);

 private:
  void Show();

  ProgressDisplay& display_;
  double total_ = 0;
  double done_ = 0;
  bool converting_ = false;
  double conversionCells_ = 0;
  double conversionFraction_ = 0;
};
