#pragma once
// What a module file needs from the process that loads it, read from its ELF headers without
// loading it. A module built with AddressSanitizer (or another sanitizer with a shared runtime)
// needs that runtime, and the runtime ends the process when it is loaded after the program's own
// libraries; the host checks for that before it loads a module, so that a stray instrumented module
// in the registry gives an error instead of ending the host.
#include <string>
#include <vector>

class ModuleDependencies {
 public:
  // Why loading the module (an operating-system path) would end this process, or "".
  static std::string LoadHazard(const std::string& path);

 private:
  // The libraries the module names as needed (DT_NEEDED), in order; empty for a file that is not a
  // 64-bit ELF shared object or cannot be read (loading it then fails with the loader's reason).
  static std::vector<std::string> Needed(const std::string& path);
};
