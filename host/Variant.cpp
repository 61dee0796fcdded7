#include "host/Variant.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/CodePage.h"

std::size_t SafeArrayElementSize(VARTYPE elementType) {
  switch (elementType) {
    case VT_I4:
      return sizeof(std::int32_t);
    case VT_R8:
      return sizeof(double);
    default:
      return 0;
  }
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE elementType, std::size_t count) {
  std::size_t size = SafeArrayElementSize(elementType);
  if (size == 0 || count > SIZE_MAX / size) return nullptr;
  auto* array = new (std::nothrow) SAFEARRAY;
  if (!array) return nullptr;
  array->elementType = elementType;
  array->count = count;
  array->data = std::calloc(count ? count : 1, size);
  if (!array->data) {
    delete array;
    return nullptr;
  }
  return array;
}

void SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return;
  std::free(array->data);
  delete array;
}

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->lVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_POINTER;
  if (v->vt == VT_BSTR) {
    SysFreeString(v->bstrVal);
  } else if (v->vt & VT_ARRAY) {
    SafeArrayDestroy(v->parray);
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantToText(const VARIANT& v, std::u16string& text) {
  char buf[64];
  switch (v.vt) {
    case VT_EMPTY:
      text.clear();
      return S_OK;
    case VT_BSTR:
      text = v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : std::u16string();
      return S_OK;
    case VT_I4:
      std::snprintf(buf, sizeof buf, "%d", v.lVal);
      text = Utf8ToUtf16(buf);
      return S_OK;
    case VT_R8:
      std::snprintf(buf, sizeof buf, "%.15g", v.dblVal);
      text = Utf8ToUtf16(buf);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}
