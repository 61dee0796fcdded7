#pragma once
// The component modules loaded for classes found through the registry. Each module file is opened
// once (RTLD_NOW | RTLD_LOCAL) and stays loaded until FreeUnused finds that it may be unloaded.
// Entry points are called under the table's (recursive) lock, so that a module is never unloaded
// while another thread is inside it.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/Guid.h"
#include "host/HResult.h"

class InprocModuleTable {
 public:
  static InprocModuleTable& Instance();

  // Loads the module (a GBK path) on first use and asks its DllGetClassObject for the class object.
  // CO_E_DLLNOTFOUND when the file does not load, CO_E_ERRORINDLL when it lacks DllGetClassObject;
  // `error` then receives the reason.
  HRESULT GetClassObject(const std::string& modulePath, const CLSID& clsid, const IID& iid,
                         void** object, std::string& error);
  // Unloads every module whose DllCanUnloadNow answers S_OK. A module without that entry point
  // stays loaded.
  void FreeUnused();
  // The paths of the modules loaded now.
  std::vector<std::string> LoadedPaths() const;

 private:
  using GetClassObjectFunction = HRESULT (*)(const CLSID&, const IID&, void**);
  using CanUnloadNowFunction = HRESULT (*)();
  struct Module {
    void* handle;
    GetClassObjectFunction getClassObject;
    CanUnloadNowFunction canUnloadNow;
  };

  HRESULT Load(const std::string& modulePath, Module*& module, std::string& error);

  mutable std::recursive_mutex mutex_;
  std::map<std::string, Module> modules_;
};
