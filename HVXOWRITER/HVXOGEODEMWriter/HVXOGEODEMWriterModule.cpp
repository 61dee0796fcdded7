// The module's entry points: registration of the class and of the catalogue entry under which the
// host finds the writer of the GEODEM format, the class object, and the unload test.
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriterClassFactory.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleGuard.h"
#include "host/CHVXRegKey.h"
#include "host/HostAbi.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"

#define GEODEM_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr char kCatalogueKey[] = "GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer\\GEODEM";
constexpr char kProgId[] = "HVXOGEODEMWriter.HVXOGEODEMWriter.1";

ServerClassInfo WriterClass() {
  return {CLSID_HVXOGEODEMWriter,
          "HVXOGEODEMWriter Class",
          kProgId,
          "HVXOGEODEMWriter.HVXOGEODEMWriter",
          ModulePathOf(reinterpret_cast<const void*>(&WriterClass)),
          "Apartment",
          LIBID_HVXOGEODEMWriter};
}

}  // namespace

GEODEM_EXPORT_HOST_ABI

GEODEM_MODULE_EXPORT HRESULT DllRegisterServer() {
  return GuardModuleEntry([] {
    // The catalogue entry is best effort: the class registration decides the result.
    CHVXRegKey catalogue;
    catalogue.Open(HKEY_CLASSES_ROOT, kCatalogueKey);
    catalogue.Write("", "HVXOGEODEMWriter");
    catalogue.Write("CLSID", kProgId);
    HRESULT hr = RegisterServerClass(WriterClass());
    catalogue.Close();
    return hr;
  });
}

GEODEM_MODULE_EXPORT HRESULT DllUnregisterServer() {
  return GuardModuleEntry([] {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kCatalogueKey);
    return UnregisterServerClass(WriterClass());
  });
}

GEODEM_MODULE_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_HVXOGEODEMWriter) return CLASS_E_CLASSNOTAVAILABLE;
  return GuardModuleEntry(
      [&] { return HVXOGEODEMWriterClassFactory::Instance().QueryInterface(iid, object); });
}

GEODEM_MODULE_EXPORT HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }
