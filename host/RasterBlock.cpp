#include "host/RasterBlock.h"

#include <gdal.h>

#include <limits>

RasterBlock::~RasterBlock() {
  VariantClear(&payload_);
  VariantClear(&descriptor_);
}

HRESULT RasterBlock::GetKind(std::int32_t* kind) {
  if (!kind) return E_POINTER;
  *kind = kind_;
  return S_OK;
}

HRESULT RasterBlock::GetName(BSTR* name) {
  if (!name) return E_POINTER;
  *name = SysAllocString(name_);
  return S_OK;
}

HRESULT RasterBlock::GetProperties(IPropertySet** properties) {
  if (!properties) return E_POINTER;
  *properties = ComPtr<IPropertySet>(properties_).Detach();
  return *properties ? S_OK : S_FALSE;
}

HRESULT RasterBlock::GetSpatialReference(ISpatialReference** reference) {
  if (!reference) return E_POINTER;
  *reference = ComPtr<ISpatialReference>(reference_).Detach();
  return *reference ? S_OK : S_FALSE;
}

HRESULT RasterBlock::GetData(VARIANT* payload, VARIANT* descriptor) {
  if (!payload || !descriptor) return E_POINTER;
  *payload = payload_;
  *descriptor = descriptor_;
  VariantInit(&payload_);
  VariantInit(&descriptor_);
  return S_OK;
}

HRESULT RasterBlock::GetPropertyValue(const char16_t* name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  VariantInit(value);
  auto it = sourceProperties_.find(name);
  if (it == sourceProperties_.end()) return S_FALSE;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocString(it->second);
  return S_OK;
}

void* RasterBlock::AllocateData(const BlockGeometry& g, int gdalDataType) {
  int valueSize = GDALGetDataTypeSizeBytes(static_cast<GDALDataType>(gdalDataType));
  if (g.columns <= 0 || g.rows <= 0 || g.bands <= 0 || valueSize <= 0) return nullptr;
  auto cells = static_cast<unsigned long long>(g.columns) * g.rows * g.bands;
  if (cells > std::numeric_limits<std::size_t>::max() / 8 / static_cast<unsigned>(valueSize))
    return nullptr;
  std::size_t pixelBytes = cells * static_cast<unsigned>(valueSize);
  std::size_t doubles = kBlockHeaderValues + (pixelBytes + sizeof(double) - 1) / sizeof(double);
  SAFEARRAY* payload = SafeArrayCreateVector(VT_R8, doubles);
  SAFEARRAY* descriptor = SafeArrayCreateVector(VT_I4, 3);
  if (!payload || !descriptor) {
    SafeArrayDestroy(payload);
    SafeArrayDestroy(descriptor);
    return nullptr;
  }
  auto* header = static_cast<double*>(payload->data);
  header[2] = g.columns;
  header[3] = g.rows;
  header[4] = g.x;
  header[6] = g.y;
  header[8] = g.pixelWidth;
  header[9] = g.pixelHeight;
  auto* desc = static_cast<std::int32_t*>(descriptor->data);
  desc[1] = kBlockDescriptorMarker;
  desc[2] = gdalDataType;

  VARIANT p, d;
  p.vt = VT_ARRAY | VT_R8;
  p.parray = payload;
  d.vt = VT_ARRAY | VT_I4;
  d.parray = descriptor;
  SetData(p, d);
  return header + kBlockHeaderValues;
}

void RasterBlock::SetData(VARIANT payload, VARIANT descriptor) {
  VariantClear(&payload_);
  VariantClear(&descriptor_);
  payload_ = payload;
  descriptor_ = descriptor;
}

void RasterBlock::SetSourceProperty(const std::u16string& name, const std::u16string& value) {
  sourceProperties_[name] = value;
}

HRESULT RasterBlock::ReadWindow(GDALDatasetH dataset, int xOffset, int yOffset, int columns,
                                int rows, GDALDataType dataType) {
  if (!dataset) return E_INVALIDARG;
  int bands = GDALGetRasterCount(dataset);
  if (bands <= 0 || xOffset < 0 || yOffset < 0 || columns <= 0 || rows <= 0 ||
      columns > GDALGetRasterXSize(dataset) - xOffset ||
      rows > GDALGetRasterYSize(dataset) - yOffset)
    return E_INVALIDARG;
  if (dataType == GDT_Unknown) dataType = GDALGetRasterDataType(GDALGetRasterBand(dataset, 1));

  // Without a geotransform GDAL answers its default, pixel coordinates.
  double gt[6];
  GDALGetGeoTransform(dataset, gt);
  BlockGeometry g;
  g.columns = columns;
  g.rows = rows;
  g.bands = bands;
  g.x = gt[0] + xOffset * gt[1] + yOffset * gt[2];
  g.y = gt[3] + xOffset * gt[4] + yOffset * gt[5];
  g.pixelWidth = gt[1];
  g.pixelHeight = gt[5];
  void* pixels = AllocateData(g, dataType);
  if (!pixels) return E_OUTOFMEMORY;
  CPLErr err = GDALDatasetRasterIO(dataset, GF_Read, xOffset, yOffset, columns, rows, pixels,
                                   columns, rows, dataType, bands, nullptr, 0, 0, 0);
  return err == CE_None ? S_OK : E_FAIL;
}

void* RasterBlock::PixelData() {
  if (payload_.vt != (VT_ARRAY | VT_R8) || !payload_.parray ||
      payload_.parray->count < kBlockHeaderValues)
    return nullptr;
  return static_cast<double*>(payload_.parray->data) + kBlockHeaderValues;
}
