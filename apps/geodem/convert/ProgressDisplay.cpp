#include "apps/geodem/convert/ProgressDisplay.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "apps/geodem/Translation.h"

void ProgressDisplay::Update(double fraction) {
  if (!enabled_ || lastTick_ >= kTicks) return;
  if (console_.errorCount() != errorsAtStart_) {
    Abandon();
    return;
  }
  if (!(fraction >= 0)) fraction = 0;  // NaN included
  int tick = std::min(kTicks, static_cast<int>(std::floor(fraction * kTicks)));
  if (tick <= lastTick_) return;
  std::string ticks;
  for (int t = lastTick_ + 1; t <= tick; ++t)
    ticks += t % 4 == 0 ? std::to_string(t / 4 * 10) : std::string(".");
  if (tick == kTicks) ticks += _(" - done.");
  lastTick_ = tick;
  console_.Progress(ticks, tick == kTicks);
}

void ProgressDisplay::Abandon() {
  if (!enabled_) return;
  console_.EndProgressLine();
  lastTick_ = kTicks;
}
