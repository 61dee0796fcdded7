#pragma once
// The host's coordinate-system object.
#include "host/Guid.h"
#include "host/Unknown.h"
#include "host/WideString.h"

struct ISpatialReference : IUnknown {
  static constexpr IID iid = MakeGuid("{53BD463D-2794-4EFC-8F41-F76C767359B7}");
  // S_OK with the well-known text (caller frees); S_FALSE and null when the object has none.
  virtual HRESULT ExportToWkt(BSTR* wkt) = 0;

 protected:
  ~ISpatialReference() = default;
};
