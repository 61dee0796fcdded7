#pragma once
// Which host runtime a module was built against. A module shares C++ classes with the runtime
// (not only COM interfaces), so one of another build can crash the program that loads it; the
// runtime compares the module's stamp with its own before it calls into the module.
#include <string>

// Each module expands this once, in the file of its entry points.
#define GEODEM_EXPORT_HOST_ABI                                                         \
  extern "C" __attribute__((visibility("default"))) const char* GeodemHostAbi() {    \
    return GEODEM_HOST_ABI;                                                             \
  }

namespace HostAbi {
// Empty when the module loaded at `handle` carries this runtime's stamp; otherwise why it is
// refused.
std::string Mismatch(void* handle);
}  // namespace HostAbi
