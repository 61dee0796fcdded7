#pragma once
// Host objects for the raster writer tests: property sets, metadata lists and raster blocks.
#include <gdal.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"
#include "host/PropertySet.h"
#include "host/RasterBlock.h"

inline ComPtr<IPropertySet> MakeProperties(
    std::initializer_list<std::pair<std::string, std::string>> pairs) {
  auto set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  for (const auto& [key, value] : pairs) set->Set(Utf8ToUtf16(key), Utf8ToUtf16(value));
  return ComPtr<IPropertySet>(set.Get());
}

// One source as the host describes it in the metadata lists.
struct SourceSpec {
  std::string name;
  int dataType = GDT_Float32;
  int bands = 1;
  int width = 100;
  int height = 100;
  double originX = 0;
  double originY = 1000;
  double pixelWidth = 1;
  double pixelHeight = -1;
};

inline ComPtr<Metadata> MakeMetadata(const std::vector<SourceSpec>& sources) {
  auto metadata = ComPtr<Metadata>::Attach(Metadata::Create());
  auto number = [](double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return Utf8ToUtf16(buf);
  };
  for (const auto& s : sources) {
    metadata->Append(u"InDatasetName", Utf8ToUtf16(s.name));
    metadata->Append(u"InDataType", number(s.dataType));
    metadata->Append(u"BandNum", number(s.bands));
    metadata->Append(u"Height", number(s.height));
    metadata->Append(u"Width", number(s.width));
    metadata->Append(u"GEO_STARTPOSH", number(s.originX));
    metadata->Append(u"GEO_STARTPOSV", number(s.originY));
    metadata->Append(u"RESOLVEH", number(s.pixelWidth));
    metadata->Append(u"RESOLVEV", number(s.pixelHeight));
  }
  return metadata;
}

// A Float32 block and where its pixels are, for tests that follow them into GDAL.
struct TestBlock {
  ComPtr<RasterBlock> block;
  float* pixels = nullptr;
};

// A block of bands x rows x columns Float32 values, value(band, row, column) each.
template <class Value>
TestBlock MakeFloatBlock(const std::string& name, const BlockGeometry& geometry, Value value) {
  TestBlock t{ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(name))), nullptr};
  t.pixels = static_cast<float*>(t.block->AllocateData(geometry, GDT_Float32));
  float* p = t.pixels;
  for (int b = 0; b < geometry.bands; ++b)
    for (int r = 0; r < geometry.rows; ++r)
      for (int c = 0; c < geometry.columns; ++c) *p++ = static_cast<float>(value(b, r, c));
  return t;
}

// A block with arrays as given: header values, the pixel area as a number of doubles, and the
// descriptor's elements.
inline ComPtr<RasterBlock> MakeRawBlock(const std::string& name, std::vector<double> header,
                                        std::size_t pixelDoubles,
                                        std::vector<std::int32_t> descriptor) {
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(name)));
  VARIANT payload, desc;
  payload.vt = VT_ARRAY | VT_R8;
  payload.parray = SafeArrayCreateVector(VT_R8, header.size() + pixelDoubles);
  if (!header.empty())
    std::memcpy(payload.parray->data, header.data(), header.size() * sizeof(double));
  desc.vt = VT_ARRAY | VT_I4;
  desc.parray = SafeArrayCreateVector(VT_I4, descriptor.size());
  if (!descriptor.empty())
    std::memcpy(desc.parray->data, descriptor.data(), descriptor.size() * sizeof(std::int32_t));
  block->SetData(payload, desc);
  return block;
}

// The 20 header values of a block of columns x rows at (x, y) with 1 x 1 pixels, north-up.
inline std::vector<double> Header(double columns, double rows, double x, double y) {
  std::vector<double> h(20, 0.0);
  h[2] = columns;
  h[3] = rows;
  h[4] = x;
  h[6] = y;
  h[8] = 1;
  h[9] = -1;
  return h;
}

// Opens a target as the writer object does: a fresh per-target state, the source table with ".tmp"
// paths, the mosaic mode, then the grouping.
inline HRESULT OpenTestTarget(HVXORasterWriterBase& writer, const std::string& target,
                              const std::vector<SourceSpec>& sources, int mosaic,
                              const std::string& folder = "") {
  writer.ResetJob();
  writer.destinationFolder = folder;
  writer.formatExtension = "dem";
  writer.driverName = "HFA";
  HRESULT hr = writer.BuildSourceTable(Utf8ToUtf16(target).c_str(), MakeMetadata(sources).Get());
  if (hr != 0) return hr;
  for (auto& [key, record] : writer.sourceTable) record.outputPath += ".tmp";
  writer.mosaicMode = mosaic;
  return writer.GroupSourcesByTarget();
}

// A whole band read as 32-bit floats, row after row; empty when GDAL cannot read it.
inline std::vector<float> ReadBand(GDALDatasetH dataset, int band) {
  int w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
  std::vector<float> cells(static_cast<std::size_t>(w) * h);
  if (GDALRasterIO(GDALGetRasterBand(dataset, band), GF_Read, 0, 0, w, h, cells.data(), w, h,
                   GDT_Float32, 0, 0) != CE_None)
    cells.clear();
  return cells;
}
