#pragma once
// Host objects for the raster writer tests: property sets, metadata lists and raster blocks.
#include <gdal.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"
#include "host/PropertySet.h"
#include "host/RasterBlock.h"

inline ComPtr<PropertySet> MakeProperties(
    std::initializer_list<std::pair<std::string, std::string>> pairs) {
  auto set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  for (const auto& [key, value] : pairs) set->Set(Utf8ToUtf16(key), Utf8ToUtf16(value));
  return set;
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

// A block of `bands` x rows x columns Float32 values, value(band, row, column) each.
template <class Value>
ComPtr<RasterBlock> MakeFloatBlock(const std::string& name, const BlockGeometry& geometry,
                                   Value value) {
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(Utf8ToUtf16(name)));
  auto* pixels = static_cast<float*>(block->AllocateData(geometry, GDT_Float32));
  for (int b = 0; b < geometry.bands; ++b)
    for (int r = 0; r < geometry.rows; ++r)
      for (int c = 0; c < geometry.columns; ++c) *pixels++ = static_cast<float>(value(b, r, c));
  return block;
}
