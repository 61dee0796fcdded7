#pragma once
// Routes GDAL's error reports to the console while it lives, and counts the failures among them.
// The writer's own GDAL calls report here too (one process, one GDAL): a failed write into a
// temporary raster, which the writer does not check, still fails the conversion.
#include <cpl_error.h>

#include <string>

#include "apps/geodem/Console.h"

class GdalErrorCapture {
 public:
  explicit GdalErrorCapture(Console& console);
  ~GdalErrorCapture();
  GdalErrorCapture(const GdalErrorCapture&) = delete;
  GdalErrorCapture& operator=(const GdalErrorCapture&) = delete;

  int failures() const { return failures_; }
  // GDAL's message of the latest failure, on one line.
  const std::string& lastFailure() const { return lastFailure_; }

 private:
  static void CPL_STDCALL Handle(CPLErr level, CPLErrorNum number, const char* message);

  Console& console_;
  int failures_ = 0;
  std::string lastFailure_;
};
