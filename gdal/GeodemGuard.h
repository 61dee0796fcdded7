#pragma once
// Every entry point of the driver runs its work through Guarded: GDAL is a C library, and a C++
// exception that left the plug-in would abort the calling program (Python, QGIS). Memory running
// out becomes CPLE_OutOfMemory, anything else CPLE_AppDefined, each a CE_Failure; the entry point
// then answers what it answers for any failure.
#include <cpl_error.h>

#include <exception>
#include <new>

template <class Work, class Result>
Result Guarded(Work&& work, Result failed) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    CPLError(CE_Failure, CPLE_OutOfMemory, "The GEODEM driver ran out of memory.");
  } catch (const std::exception& e) {
    CPLError(CE_Failure, CPLE_AppDefined, "The GEODEM driver failed: %s.", e.what());
  } catch (...) {
    CPLError(CE_Failure, CPLE_AppDefined, "The GEODEM driver failed.");
  }
  return failed;
}
