#pragma once
// `geodem register` and `geodem unregister`: the writer module registers itself (its class and its
// catalogue entry) through its own entry points, into the registry the host runtime uses. The
// module is the one installed beside the program: ../lib/libHVXOGEODEMWriter.so.
#include <string>

class ModuleRegistration {
 public:
  // The module beside the running program (resolved through /proc/self/exe).
  static std::string ModulePath();
  // Loads the module and calls DllRegisterServer, or DllUnregisterServer; false with an error
  // text otherwise. `done` says what happened (UTF-8).
  static bool Run(bool unregister, std::string& done, std::string& error);
};
