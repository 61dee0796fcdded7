#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriterClassFactory.h"

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"

HVXOGEODEMWriterClassFactory& HVXOGEODEMWriterClassFactory::Instance() {
  static HVXOGEODEMWriterClassFactory factory;
  return factory;
}

HRESULT HVXOGEODEMWriterClassFactory::QueryInterface(const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid != IUnknown::iid && iid != IClassFactory::iid) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  return S_OK;
}

HRESULT HVXOGEODEMWriterClassFactory::CreateInstance(IUnknown* outer, const IID& iid,
                                                     void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && iid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
  return HVXOGEODEMWriter::Create(outer, iid, object);
}

HRESULT HVXOGEODEMWriterClassFactory::LockServer(bool lock) {
  lock ? ModuleLock() : ModuleUnlock();
  return S_OK;
}
