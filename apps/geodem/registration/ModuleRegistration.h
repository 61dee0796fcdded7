#pragma once
// `geodem register` and `geodem unregister`: the writer module registers itself (its class and its
// catalogue entry) through its own entry points, into the registry the host runtime writes (the
// user's, or with `--system` the system-wide one). The module is the one that belongs to the
// running program: installed, <prefix>/lib/<multiarch>/geodem/libHVXOGEODEMWriter.so; in the build
// tree, ../lib/libHVXOGEODEMWriter.so beside bin/.
#include <string>

class ModuleRegistration {
 public:
  // The module of the running program (found from /proc/self/exe).
  static std::string ModulePath();
  // Loads the module and calls DllRegisterServer, or DllUnregisterServer; false with an error
  // text otherwise. `done` says what happened (UTF-8). The system-wide registry is root's only.
  static bool Run(bool unregister, bool system, std::string& done, std::string& error);
};
