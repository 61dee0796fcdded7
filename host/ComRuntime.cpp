#include "host/ComRuntime.h"

#include <mutex>
#include <unordered_map>

#include "host/ComPtr.h"
#include "host/InprocModuleTable.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"

namespace {

struct ClassTable {
  std::mutex mutex;
  std::unordered_map<CLSID, ComPtr<IClassFactory>, GuidHash> classes;
};

thread_local std::string t_lastError;

ClassTable& Table() {
  // Never destroyed: modules may outlive static teardown.
  static ClassTable* table = new ClassTable;
  return *table;
}

ComPtr<IClassFactory> FindInproc(const CLSID& clsid) {
  ClassTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.classes.find(clsid);
  return it == t.classes.end() ? ComPtr<IClassFactory>() : it->second;
}

HRESULT Failure(HRESULT hr, std::string text) {
  t_lastError = std::move(text);
  return hr;
}

HRESULT GetRegisteredClassObject(const CLSID& clsid, const IID& iid, void** object) {
  std::string modulePath;
  HRESULT hr = InprocServerPath(clsid, modulePath);
  if (FAILED(hr)) {
    return Failure(hr, "class " + clsid.ToString() + " is not available: " + RegistryLastError());
  }
  std::string error;
  hr = InprocModuleTable::Instance().GetClassObject(modulePath, clsid, iid, object, error);
  return FAILED(hr) ? Failure(hr, std::move(error)) : hr;
}

}  // namespace

void RegisterInprocClass(const CLSID& clsid, IClassFactory* factory) {
  ClassTable& t = Table();
  std::lock_guard lock(t.mutex);
  t.classes[clsid] = ComPtr<IClassFactory>(factory);
}

void RevokeInprocClass(const CLSID& clsid) {
  ComPtr<IClassFactory> removed;
  {
    ClassTable& t = Table();
    std::lock_guard lock(t.mutex);
    auto it = t.classes.find(clsid);
    if (it == t.classes.end()) return;
    removed = std::move(it->second);
    t.classes.erase(it);
  }
}

void RevokeAllInprocClasses() {
  std::unordered_map<CLSID, ComPtr<IClassFactory>, GuidHash> removed;
  ClassTable& t = Table();
  std::lock_guard lock(t.mutex);
  removed.swap(t.classes);
}

HRESULT CoGetClassObject(const CLSID& clsid, std::uint32_t context, const IID& iid, void** object) {
  t_lastError.clear();
  if (!object) return Failure(E_POINTER, "no place for the class object");
  *object = nullptr;
  if (!(context & CLSCTX_INPROC_SERVER))
    return Failure(REGDB_E_CLASSNOTREG, "only in-process servers are available");
  if (ComPtr<IClassFactory> factory = FindInproc(clsid))
    return factory->QueryInterface(iid, object);
  return GetRegisteredClassObject(clsid, iid, object);
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context, const IID& iid,
                         void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, IClassFactory::iid, factory.PutVoid());
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, object);
  return FAILED(hr) ? Failure(hr, "class " + clsid.ToString() + " refused to create an instance")
                    : hr;
}

void CoFreeUnusedLibraries() { InprocModuleTable::Instance().FreeUnused(); }

std::vector<std::string> CoLoadedModules() { return InprocModuleTable::Instance().LoadedPaths(); }

std::string CoLastError() { return t_lastError; }
