#include "apps/geodem/registration/ModuleRegistration.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/StatusText.h"
#include "host/HResult.h"
#include "host/HostAbi.h"
#include "host/ModuleDependencies.h"
#include "host/Registry.h"

#ifndef GEODEM_MODULE_DIR
#define GEODEM_MODULE_DIR "lib/geodem"
#endif

namespace {

constexpr const char* kModuleName = "libHVXOGEODEMWriter.so";

// Registration writes the registry the host runtime writes; --system points it at the system's.
bool ChooseSystemRegistry(std::string& error) {
  const std::string system = SystemRegistryFilePath();
  if (::geteuid() != 0) {
    error =
        Tr("only root can change the system-wide registry %s; run it as root (sudo geodem "
           "... --system), or leave out --system to use your own registry %s",
           system.c_str(), RegistryFilePath().c_str());
    return false;
  }
  ::setenv("GEODEM_REGISTRY", system.c_str(), 1);
  return true;
}

}  // namespace

std::string ModuleRegistration::ModulePath() {
  std::error_code ec;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return kModuleName;
  const std::filesystem::path prefix = program.parent_path().parent_path();
  std::filesystem::path installed = prefix / GEODEM_MODULE_DIR / kModuleName;
  if (std::filesystem::exists(installed, ec)) return installed.string();
  return (prefix / "lib" / kModuleName).string();
}

bool ModuleRegistration::Run(bool unregister, bool system, std::string& done, std::string& error) {
  if (system && !ChooseSystemRegistry(error)) return false;
  const std::string module = ModulePath();
  if (std::string hazard = ModuleDependencies::LoadHazard(module); !hazard.empty()) {
    error = Tr("cannot load the writer module %s: %s", module.c_str(), hazard.c_str());
    return false;
  }
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    error =
        Tr("cannot load the writer module %s: %s", module.c_str(), why ? why : _("unknown error"));
    return false;
  }
  if (std::string mismatch = HostAbi::Mismatch(handle); !mismatch.empty()) {
    error = Tr("cannot load the writer module %s: %s", module.c_str(), mismatch.c_str());
    return false;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  using EntryPoint = HRESULT (*)();
  auto call = reinterpret_cast<EntryPoint>(::dlsym(handle, entry));
  if (!call) {
    error = Tr("the writer module %s has no %s", module.c_str(), entry);
    return false;
  }
  HRESULT hr = call();
  const std::string registry = RegistryFilePath();
  if (hr != S_OK) {
    std::string detail = FromWriterText(RegistryLastError());
    error = Tr("%s of %s failed (status %s) on the registry %s", entry, module.c_str(),
               StatusText(hr).c_str(), registry.c_str()) +
            (detail.empty() ? "" : ": " + detail);
    return false;
  }
  done = unregister ? Tr("removed the registration of %s from %s", module.c_str(), registry.c_str())
                    : Tr("registered %s in %s", module.c_str(), registry.c_str());
  return true;
}
