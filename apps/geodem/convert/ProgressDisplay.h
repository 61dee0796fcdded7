#pragma once
// GDAL's terminal progress on geodem's stderr, one tick per 2.5 %:
//   0...10...20...30...40...50...60...70...80...90...100 - done.
// Ticks only ever move forward, and stop for good once an error has been logged: a bar that went
// on to "done" below an error would tell the wrong story.
#include "apps/geodem/Console.h"

class ProgressDisplay {
 public:
  ProgressDisplay(Console& console, bool enabled) : console_(console), enabled_(enabled) {}

  // Starts a fresh line of ticks.
  void Restart() {
    lastTick_ = -1;
    errorsAtStart_ = console_.errorCount();
  }
  // Shows everything up to `fraction` (0 to 1) of the work.
  void Update(double fraction);
  // Stops the line where it is (after a failure).
  void Abandon();

 private:
  static constexpr int kTicks = 40;

  Console& console_;
  bool enabled_;
  int lastTick_ = -1;
  int errorsAtStart_ = 0;
};
