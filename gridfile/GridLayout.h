#pragma once
// The three header layouts of a CNSDTF-DEM grid file, named as the writer's VERSION values name
// them.
#include <string_view>

enum class GridLayout { kEdition2007, kEdition1999, kPositional };

// "GRD_2007", "GRD_1999" or "GEODEM" (the positional layout).
inline std::string_view GridLayoutName(GridLayout layout) {
  switch (layout) {
    case GridLayout::kEdition2007:
      return "GRD_2007";
    case GridLayout::kEdition1999:
      return "GRD_1999";
    case GridLayout::kPositional:
      break;
  }
  return "GEODEM";
}
