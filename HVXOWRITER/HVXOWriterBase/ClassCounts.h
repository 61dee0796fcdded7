#pragma once
// Counts of the output statistics: per target dataset a table of feature classes, each with the
// objects handed to the writer and the objects it wrote.
#include <cstdint>
#include <map>
#include <string>

struct ClassCounts {
  std::int32_t total = 0;   // objects handed over
  std::int32_t output = 0;  // objects written
};

// Class key to counts. Keys compare byte for byte; the ordered map makes the report's row order
// the same from run to run.
using ClassTable = std::map<std::string, ClassCounts>;
