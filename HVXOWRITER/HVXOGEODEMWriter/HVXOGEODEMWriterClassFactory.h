#pragma once
// The class object of the GEODEM writer. One static instance serves the module: its references
// are not counted, and only LockServer keeps the module loaded.
#include "host/Unknown.h"

class HVXOGEODEMWriterClassFactory : public IClassFactory {
 public:
  static HVXOGEODEMWriterClassFactory& Instance();

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }

  // A writer; with an outer object only its own IUnknown may be asked for.
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override;
  HRESULT LockServer(bool lock) override;
};
