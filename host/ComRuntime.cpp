#include "host/ComRuntime.h"

#include <mutex>
#include <unordered_map>

#include "host/ComPtr.h"

namespace {

struct ClassTable {
  std::mutex mutex;
  std::unordered_map<CLSID, ComPtr<IClassFactory>, GuidHash> classes;
};

ClassTable& Table() {
  static ClassTable* table = new ClassTable;  // never destroyed: modules may outlive static teardown
  return *table;
}

ComPtr<IClassFactory> FindInproc(const CLSID& clsid) {
  ClassTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.classes.find(clsid);
  return it == t.classes.end() ? ComPtr<IClassFactory>() : it->second;
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

HRESULT CoGetClassObject(const CLSID& clsid, std::uint32_t context, const IID& iid,
                         void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (ComPtr<IClassFactory> factory = FindInproc(clsid))
    return factory->QueryInterface(iid, object);
  return REGDB_E_CLASSNOTREG;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context,
                         const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, IClassFactory::iid, factory.PutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, iid, object);
}
