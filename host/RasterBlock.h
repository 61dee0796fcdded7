#pragma once
// The host's raster block, filled by the host application (or a test) before it is handed over.
#include <gdal.h>

#include <map>
#include <string>

#include "host/ComObject.h"
#include "host/ComPtr.h"
#include "host/IRasterBlock.h"

struct BlockGeometry {
  int columns = 0;
  int rows = 0;
  int bands = 1;
  double x = 0;            // upper-left corner
  double y = 0;
  double pixelWidth = 1;
  double pixelHeight = -1;  // signed, negative for north-up
};

class RasterBlock : public ComObject<RasterBlock, IRasterBlock> {
 public:
  explicit RasterBlock(std::u16string name, std::int32_t kind = kRasterBlockKind)
      : name_(std::move(name)), kind_(kind) {}
  ~RasterBlock() override;

  HRESULT GetKind(std::int32_t* kind) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT GetProperties(IPropertySet** properties) override;
  HRESULT GetSpatialReference(ISpatialReference** reference) override;
  HRESULT GetData(VARIANT* payload, VARIANT* descriptor) override;
  HRESULT GetPropertyValue(const char16_t* name, VARIANT* value) override;

  // Allocates payload and descriptor for the geometry and the GDAL data type, and returns where the
  // pixel bytes go (columns x rows x bands values, band-sequential); null when the size is absurd.
  void* AllocateData(const BlockGeometry& geometry, int gdalDataType);
  // Fills the block from a window of a GDAL dataset: every band, band-sequential, in `dataType`
  // (GDT_Unknown: band 1's type), placed by the dataset's geotransform. S_OK; E_INVALIDARG for no
  // dataset, no bands or a window outside the raster; E_OUTOFMEMORY; E_FAIL when GDAL's read fails.
  HRESULT ReadWindow(GDALDatasetH dataset, int xOffset, int yOffset, int columns, int rows,
                     GDALDataType dataType = GDT_Unknown);
  // The pixel bytes of the data allocated last (null when the data were handed over or never set).
  void* PixelData();
  // Takes over arrays built by the caller (for blocks that are deliberately unusual).
  void SetData(VARIANT payload, VARIANT descriptor);
  void SetProperties(ComPtr<IPropertySet> properties) { properties_ = std::move(properties); }
  void SetSpatialReference(ComPtr<ISpatialReference> reference) {
    reference_ = std::move(reference);
  }
  void SetSourceProperty(const std::u16string& name, const std::u16string& value);

 private:
  std::u16string name_;
  std::int32_t kind_;
  ComPtr<IPropertySet> properties_;
  ComPtr<ISpatialReference> reference_;
  VARIANT payload_;
  VARIANT descriptor_;
  std::map<std::u16string, std::u16string> sourceProperties_;
};
