#include "host/HostAbi.h"

#include <dlfcn.h>

#include <cstring>

std::string HostAbi::Mismatch(void* handle) {
  using StampFunction = const char* (*)();
  // dlsym on a handle also searches the module's dependencies; the runtime exports no such name,
  // so a module of a build before the stamp finds none.
  auto stamp = reinterpret_cast<StampFunction>(::dlsym(handle, "GeodemHostAbi"));
  if (stamp && std::strcmp(stamp(), GEODEM_HOST_ABI) == 0) return {};
  return std::string("it was built against another host runtime than this program's (stamp ") +
         (stamp ? stamp() : "none") + ", here " + GEODEM_HOST_ABI + ")";
}
