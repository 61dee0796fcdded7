#pragma once
// How large a zoom factor a source allows: the grid holds zoom x height as a 32-bit integer, and a
// larger product would be clamped, destroying the heights.
#include <cstdint>

class ZoomLimit {
 public:
  // The largest zoom for which every height in [lowest, highest] fits; INT64_MAX for none but 0.
  static std::int64_t ForHeights(double lowest, double highest);
};
