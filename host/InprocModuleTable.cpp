#include "host/InprocModuleTable.h"

#include <dlfcn.h>

#include "host/CodePage.h"
#include "host/HostAbi.h"
#include "host/ModuleDependencies.h"
#include "host/RootTrust.h"

InprocModuleTable& InprocModuleTable::Instance() {
  // Never destroyed: objects of loaded modules may still be released during static teardown.
  static InprocModuleTable* table = new InprocModuleTable;
  return *table;
}

HRESULT InprocModuleTable::Load(const std::string& modulePath, Module*& module,
                                std::string& error) {
  auto found = modules_.find(modulePath);
  if (found != modules_.end()) {
    module = &found->second;
    return S_OK;
  }
  if (!RootTrust::Trusts(OsPath(modulePath), "module")) {
    error = "cannot load the module " + modulePath + ": a program run as root loads only root's";
    return CO_E_DLLNOTFOUND;
  }
  // Some modules end the process as they load; those are refused before.
  if (std::string hazard = ModuleDependencies::LoadHazard(OsPath(modulePath)); !hazard.empty()) {
    error = "cannot load the module " + modulePath + ": " + Utf8ToGbk(hazard);
    return CO_E_DLLNOTFOUND;
  }
  void* handle = ::dlopen(OsPath(modulePath).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = ::dlerror();
    error = "cannot load the module " + modulePath + ": " +
            (reason ? Utf8ToGbk(reason) : std::string("unknown reason"));
    return CO_E_DLLNOTFOUND;
  }
  auto getClassObject =
      reinterpret_cast<GetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
  if (!getClassObject) {
    ::dlclose(handle);
    error = "the module " + modulePath + " has no DllGetClassObject";
    return CO_E_ERRORINDLL;
  }
  if (std::string mismatch = HostAbi::Mismatch(handle); !mismatch.empty()) {
    ::dlclose(handle);
    error = "cannot load the module " + modulePath + ": " + mismatch;
    return CO_E_ERRORINDLL;
  }
  auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
  module =
      &modules_.emplace(modulePath, Module{handle, getClassObject, canUnloadNow}).first->second;
  return S_OK;
}

HRESULT InprocModuleTable::GetClassObject(const std::string& modulePath, const CLSID& clsid,
                                          const IID& iid, void** object, std::string& error) {
  std::lock_guard lock(mutex_);
  Module* module = nullptr;
  HRESULT hr = Load(modulePath, module, error);
  if (FAILED(hr)) return hr;
  hr = module->getClassObject(clsid, iid, object);
  if (FAILED(hr)) error = "the module " + modulePath + " refused the class " + clsid.ToString();
  return hr;
}

void InprocModuleTable::FreeUnused() {
  std::lock_guard lock(mutex_);
  for (auto it = modules_.begin(); it != modules_.end();) {
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      ::dlclose(it->second.handle);
      it = modules_.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<std::string> InprocModuleTable::LoadedPaths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  for (const auto& entry : modules_) paths.push_back(entry.first);
  return paths;
}
