#pragma once
// The job interface of a writer: settings, the host's objects, the input metadata and the mapping
// file. Slots 0-2 IUnknown, 3-6 IDispatch, then the operations below in this order.
#include "host/Guid.h"
#include "host/IMetadata.h"
#include "host/IPropertySet.h"
#include "host/Unknown.h"

struct IWriterJob : IDispatch {
  static constexpr IID iid = MakeGuid("{8E6D9C84-C547-4C93-B722-E7C63307398E}");
  virtual HRESULT SetParameters(IPropertySet* parameters) = 0;                    // 7
  virtual HRESULT Reserved1(IUnknown* first, IUnknown* second) = 0;              // 8
  virtual HRESULT SetHostObject1(IUnknown* object) = 0;                          // 9
  virtual HRESULT GetHostObject1(IUnknown** object) = 0;                         // 10
  virtual HRESULT Reserved2(IUnknown* first, IUnknown* second) = 0;              // 11
  virtual HRESULT Reserved3(IUnknown* first, IUnknown* second) = 0;              // 12
  virtual HRESULT Reserved4(IUnknown* argument, IUnknown** result) = 0;          // 13
  virtual HRESULT GetMetadata(IMetadata** metadata) = 0;                         // 14
  virtual HRESULT SetMetadata(IMetadata* metadata) = 0;                          // 15
  virtual HRESULT OpenJob(const char16_t* mappingFilePath) = 0;                  // 16
  virtual HRESULT SetHostObject2(IUnknown* object) = 0;                          // 17
  virtual HRESULT GetHostObject2(IUnknown** object) = 0;                         // 18

 protected:
  ~IWriterJob() = default;
};
