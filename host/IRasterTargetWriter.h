#pragma once
// The data interface of a raster writer: one target dataset at a time. Slots 0-2 IUnknown, then
// the three operations, then the four late-binding operations (which answer E_NOTIMPL here).
#include <cstdint>

#include "host/Guid.h"
#include "host/IPropertySet.h"
#include "host/IRasterBlock.h"
#include "host/Unknown.h"

struct IRasterTargetWriter : IUnknown {
  static constexpr IID iid = MakeGuid("{391FE14E-32A8-4589-9E96-6AF58E5CC384}");
  virtual HRESULT OpenTarget(const char16_t* targetName, IPropertySet* sourceOptions) = 0;  // 3
  virtual HRESULT WriteRasterBlock(IRasterBlock* block, IUnknown* second) = 0;             // 4
  virtual HRESULT CloseTarget() = 0;                                                       // 5
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;                              // 6
  virtual HRESULT GetTypeInfo(std::uint32_t index, std::uint32_t locale, void** info) = 0;  // 7
  virtual HRESULT GetIDsOfNames(const IID& reserved, char16_t** names, std::uint32_t count,
                                std::uint32_t locale, std::int32_t* dispIds) = 0;          // 8
  virtual HRESULT Invoke(std::int32_t dispId, const IID& reserved, std::uint32_t locale,
                         std::uint16_t flags, void* params, VARIANT* result, void* exception,
                         std::uint32_t* argError) = 0;                                     // 9

 protected:
  ~IRasterTargetWriter() = default;
};
