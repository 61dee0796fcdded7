#include "apps/geodem/ModuleRegistration.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/StatusText.h"
#include "host/HResult.h"
#include "host/Registry.h"

namespace {

constexpr const char* kModuleName = "libHVXOGEODEMWriter.so";

}  // namespace

std::string ModuleRegistration::ModulePath() {
  std::error_code ec;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return kModuleName;
  return (program.parent_path().parent_path() / "lib" / kModuleName).string();
}

bool ModuleRegistration::Run(bool unregister, std::string& done, std::string& error) {
  const std::string module = ModulePath();
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    error = "cannot load the writer module " + module + ": " + (why ? why : "unknown error");
    return false;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  using EntryPoint = HRESULT (*)();
  auto call = reinterpret_cast<EntryPoint>(::dlsym(handle, entry));
  if (!call) {
    error = "the writer module " + module + " has no " + entry;
    return false;
  }
  HRESULT hr = call();
  const std::string registry = RegistryFilePath();
  if (hr != S_OK) {
    std::string detail = FromWriterText(RegistryLastError());
    error = std::string(entry) + " of " + module + " failed (status " + StatusText(hr) +
            ") on the " + "registry " + registry + (detail.empty() ? "" : ": " + detail);
    return false;
  }
  done = (unregister ? "removed the registration of " : "registered ") + module +
         (unregister ? " from " : " in ") + registry;
  return true;
}
