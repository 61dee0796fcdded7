// The test component module: registers itself with its own file path, serves its class object and
// may be unloaded when no counter and no lock is alive.
#include "tests/host/module/TestModule.h"

#include <atomic>

#include "host/ComObject.h"
#include "host/HostAbi.h"
#include "host/ServerRegistration.h"

#define TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<long> g_liveObjectsAndLocks{0};

class Counter : public ComObject<Counter, ITestCounter> {
 public:
  Counter() { ++g_liveObjectsAndLocks; }
  ~Counter() override { --g_liveObjectsAndLocks; }

  HRESULT Add(std::int32_t amount, std::int32_t* total) override {
    if (!total) return E_POINTER;
    *total = sum_ += amount;
    return S_OK;
  }

 private:
  std::int32_t sum_ = 0;
};

class CounterClassObject : public ComObject<CounterClassObject, IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Counter* counter = Counter::Create();
    HRESULT hr = counter->QueryInterface(iid, object);
    counter->Release();
    return hr;
  }
  HRESULT LockServer(bool lock) override {
    lock ? ++g_liveObjectsAndLocks : --g_liveObjectsAndLocks;
    return S_OK;
  }
};

ServerClassInfo CounterClass() {
  return {CLSID_TestCounter,
          kTestCounterDescription,
          kTestCounterProgId,
          kTestCounterVersionIndependentProgId,
          ModulePathOf(&g_liveObjectsAndLocks),
          "Apartment",
          LIBID_TestCounter};
}

}  // namespace

GEODEM_EXPORT_HOST_ABI

TEST_MODULE_EXPORT HRESULT DllRegisterServer() { return RegisterServerClass(CounterClass()); }

TEST_MODULE_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(CounterClass()); }

TEST_MODULE_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
  CounterClassObject* classObject = CounterClassObject::Create();
  HRESULT hr = classObject->QueryInterface(iid, object);
  classObject->Release();
  return hr;
}

TEST_MODULE_EXPORT HRESULT DllCanUnloadNow() { return g_liveObjectsAndLocks == 0 ? S_OK : S_FALSE; }
