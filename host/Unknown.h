#pragma once
// The object model: interfaces are abstract structs whose operations stand in a fixed slot order,
// the three IUnknown operations first. Every interface names its identifier as `iid`.
#include <cstdint>

#include "host/Guid.h"
#include "host/HResult.h"

struct IUnknown {
  static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct VARIANT;

// Late binding has no type libraries on this platform: every implementation answers E_NOTIMPL.
struct IDispatch : IUnknown {
  static constexpr IID iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, std::uint32_t locale, void** typeInfo) = 0;
  virtual HRESULT GetIDsOfNames(const IID& reserved, char16_t** names, std::uint32_t count,
                                std::uint32_t locale, std::int32_t* dispIds) = 0;
  virtual HRESULT Invoke(std::int32_t dispId, const IID& reserved, std::uint32_t locale,
                         std::uint16_t flags, void* params, VARIANT* result, void* exception,
                         std::uint32_t* argError) = 0;

 protected:
  ~IDispatch() = default;
};

// A class object creates instances of one class.
struct IClassFactory : IUnknown {
  static constexpr IID iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};
