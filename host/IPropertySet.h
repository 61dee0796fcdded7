#pragma once
// Named string values handed between the host and the component.
#include "host/Guid.h"
#include "host/Unknown.h"
#include "host/WideString.h"

struct IPropertySet : IUnknown {
  static constexpr IID iid = MakeGuid("{287F15C5-0733-464C-8DDD-58E5AC53D511}");
  // S_OK with *value set (the caller frees it) when the name is present; S_FALSE with *value null
  // when it is not; E_POINTER without name or out-argument.
  virtual HRESULT GetValue(const char16_t* name, BSTR* value) = 0;
  // Appends one string to the flat list: key, value, key, value, ...
  virtual HRESULT AddItem(const char16_t* item) = 0;

 protected:
  ~IPropertySet() = default;
};

// The class that job opening creates its directive set from.
inline constexpr CLSID CLSID_PropertySet = MakeGuid("{BAF016EA-E2D4-4D66-9E23-6DF0F3139F2F}");
