#pragma once
// What crosses the module boundary is a status, never an exception: the host need not be written
// in C++, and an exception thrown through its frames ends the process. The class object and the
// entry points run their bodies here; running out of memory (in a constructor too) becomes
// E_OUTOFMEMORY, any other exception E_FAIL.
#include <new>

#include "host/HResult.h"

template <class Body>
HRESULT GuardModuleEntry(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
