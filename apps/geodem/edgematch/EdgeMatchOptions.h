#pragma once
// How the edges of a sheet set are matched.
#include <optional>

struct EdgeMatchOptions {
  // Heights of one cell in two files may differ by this much (metres); 0: they must agree.
  double tolerance = 0;
  // The integer that stands for no data; none: each header's no-data key, else -99999.
  std::optional<double> noData;
};
