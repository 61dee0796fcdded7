#pragma once
// A class object for a host class that takes no outer object: T::Create() makes an instance.
#include "host/ComObject.h"

template <class T>
class ClassFactory : public ComObject<ClassFactory<T>, IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* instance = T::Create();
    HRESULT hr = instance->QueryInterface(iid, object);
    instance->Release();
    return hr;
  }
  HRESULT LockServer(bool) override { return S_OK; }
};
