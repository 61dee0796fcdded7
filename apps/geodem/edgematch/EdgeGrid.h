#pragma once
// A file of a sheet set as edge matching knows it: its header, the sheet its name gives, and
// the stored value that stands for no data in it.
#include <cstdint>
#include <optional>
#include <string>

#include "apps/geodem/gridcheck/SheetPlacement.h"
#include "gridfile/GridHeader.h"

struct EdgeGrid {
  std::string path;
  std::optional<GridHeader> header;  // none when it could not be read (why in error)
  std::string error;
  std::optional<SheetPlacement> sheet;  // none when the name is no sheet number
  std::int64_t noData = 0;
  bool read = false;      // every row has been through the strips
  bool complete = false;  // and every one could be read
};
