#pragma once
// The four parameters that steer the DEM grid output. They are read twice: from the job's
// writer-parameter list when a job opens, and from the property set that comes with each dataset.
// Nothing resets them in between: a key that is not given keeps whatever value it had.
#include <cstdint>
#include <string>

#include "host/HResult.h"
#include "host/HVXBaseLib.h"
#include "host/IPropertySet.h"

class DemWriterParameters {
 public:
  // OVERWRITE: an existing target file may be replaced.
  std::int32_t overwriteFiles = 0;
  // RASTER_NODATA: the number written for no-data cells (truncated toward zero).
  double noDataValue = -99999.0;
  // DEM_ZOOM: written as Hzoom and multiplied into every elevation; a whole number of at least 1.
  std::int32_t zoom = 100;
  // VERSION: "GRD_2007" and "GRD_1999" select the keyed headers, any other text the positional one.
  std::string version = "GEODEM";

  // The log line of a value the latest read refused (empty when none): a DEM_ZOOM that is not a
  // whole number of at least 1, or a RASTER_NODATA that is not a number. The field keeps its value.
  std::string refusal;

  // Reads the job's flat list (name, value, name, value, ...). An empty or odd list changes
  // nothing and gives 0; so does a refused value (the other pairs are read), which the caller
  // logs with LogRefusal once the job's log switch is known; otherwise 1. Names and OVERWRITE
  // words compare ignoring case; unknown names belong to other readers and are skipped; a later
  // pair overrides an earlier one.
  int ReadWriterParameters(const StringList& list);
  // Reads the dataset's property set (none: nothing to do). S_OK, or E_FAIL after a refused value
  // or an exception, either logged when logOutput is on.
  HRESULT ReadDatasetParameters(IPropertySet* set, bool logOutput);
  // Logs the refusal, if any, when logOutput is on.
  void LogRefusal(bool logOutput) const;

 private:
  void SetNoData(const std::string& text);
  void SetZoom(const std::string& text);
};
