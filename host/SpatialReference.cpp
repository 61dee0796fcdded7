#include "host/SpatialReference.h"

HRESULT SpatialReference::ExportToWkt(BSTR* wkt) {
  if (!wkt) return E_POINTER;
  *wkt = wkt_.empty() ? nullptr : SysAllocString(wkt_);
  return wkt_.empty() ? S_FALSE : S_OK;
}
