#pragma once
// The host's unit of raster data: one tile of one source.
//
// Payload: VT_ARRAY|VT_R8, a header of 20 doubles (2 columns, 3 rows, 4 x and 6 y of the upper-left
// corner, 8 pixel width, 9 signed pixel height) followed, from byte 160, by the pixel values in the
// block's data type, band after band, each band row after row.
// Descriptor: VT_ARRAY|VT_I4, element 1 is 33 and element 2 the GDAL data type of the pixels.
#include <cstdint>

#include "host/Guid.h"
#include "host/IPropertySet.h"
#include "host/ISpatialReference.h"
#include "host/Unknown.h"
#include "host/Variant.h"
#include "host/WideString.h"

struct IRasterBlock : IUnknown {
  static constexpr IID iid = MakeGuid("{B7429A90-7203-4AD6-96B6-B5BE03495022}");
  virtual HRESULT GetKind(std::int32_t* kind) = 0;
  virtual HRESULT GetName(BSTR* name) = 0;
  // S_FALSE and null when the block has no properties.
  virtual HRESULT GetProperties(IPropertySet** properties) = 0;
  // S_FALSE and null when the block has no coordinate system.
  virtual HRESULT GetSpatialReference(ISpatialReference** reference) = 0;
  // Hands the payload and descriptor over to the caller, who clears both variants. The arrays are
  // moved, not copied: a second call yields empty variants.
  virtual HRESULT GetData(VARIANT* payload, VARIANT* descriptor) = 0;
  // A property of the block's source (HVX_MAPCODE, ...) into a variant; VT_EMPTY when absent.
  virtual HRESULT GetPropertyValue(const char16_t* name, VARIANT* value) = 0;

 protected:
  ~IRasterBlock() = default;
};

inline constexpr std::int32_t kRasterBlockKind = 1;
inline constexpr std::int32_t kBlockDescriptorMarker = 33;
inline constexpr std::size_t kBlockHeaderValues = 20;
