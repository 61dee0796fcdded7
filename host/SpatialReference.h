#pragma once
// The host's coordinate system, held as well-known text (an empty text means none).
#include <string>

#include "host/ComObject.h"
#include "host/ISpatialReference.h"

class SpatialReference : public ComObject<SpatialReference, ISpatialReference> {
 public:
  explicit SpatialReference(std::u16string wkt) : wkt_(std::move(wkt)) {}
  HRESULT ExportToWkt(BSTR* wkt) override;

 private:
  std::u16string wkt_;
};
