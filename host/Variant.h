#pragma once
// A small VARIANT/SAFEARRAY: the raster block's data travel as one-dimensional arrays of 32-bit
// integers or doubles, and name macros read single values. Arrays know their element count.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/HResult.h"
#include "host/WideString.h"

using VARTYPE = std::uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_ARRAY = 0x2000;

struct SAFEARRAY {
  VARTYPE elementType = VT_EMPTY;  // VT_I4 or VT_R8
  std::size_t count = 0;           // elements
  void* data = nullptr;            // count elements, suitably aligned for doubles
};

// Null when the element type is not VT_I4 or VT_R8 or the allocation fails; elements are zeroed.
SAFEARRAY* SafeArrayCreateVector(VARTYPE elementType, std::size_t count);
void SafeArrayDestroy(SAFEARRAY* array);
std::size_t SafeArrayElementSize(VARTYPE elementType);

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  union {
    std::int32_t lVal;
    double dblVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
  };
  VARIANT() : lVal(0) {}
};

void VariantInit(VARIANT* v);
// Frees what the variant owns (string or array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);

// Owns one VARIANT.
class VariantHolder {
 public:
  VariantHolder() = default;
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  ~VariantHolder() { VariantClear(&v_); }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

// The standard conversion to text: a string is used as it is, numbers are formatted ("%d", and
// "%.15g" for doubles), VT_EMPTY gives "". VT_NULL and arrays are refused with DISP_E_TYPEMISMATCH.
HRESULT VariantToText(const VARIANT& v, std::u16string& text);
