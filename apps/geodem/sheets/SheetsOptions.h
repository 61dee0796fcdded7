#pragma once
// What `geodem sheets` was asked to do, as the command line gave it. Paths are UTF-8 as typed.
#include <optional>
#include <string>

#include "apps/geodem/batch/BatchOptions.h"
#include "apps/geodem/mapsheet/SheetScale.h"

struct SheetsOptions {
  enum class Action { kNumberOf, kExtent, kList, kPlan, kConvert, kReport };
  Action action = Action::kConvert;

  std::optional<SheetScale> scale;
  double longitude = 0, latitude = 0;  // --number-of
  std::string number;                  // --extent
  long buffer = 0;                     // cells around each sheet's window
  bool json = false;

  // The sources (batch.sources), the output folder, each sheet's conversion and the run.
  BatchOptions batch;
};
