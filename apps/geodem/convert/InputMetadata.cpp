#include "apps/geodem/convert/InputMetadata.h"

#include <cstdio>
#include <string>

#include "host/CodePage.h"

namespace {

std::u16string Real(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return Utf8ToUtf16(buf);
}

std::u16string Whole(long long value) { return Utf8ToUtf16(std::to_string(value)); }

}  // namespace

ComPtr<Metadata> BuildInputMetadata(const std::vector<JobSource>& sources) {
  auto metadata = ComPtr<Metadata>::Attach(Metadata::Create());
  for (const JobSource& s : sources) {
    metadata->Append(u"InDatasetName", Utf8ToUtf16(s.raster.path()));
    metadata->Append(u"InDataType", Whole(s.cells.type));
    metadata->Append(u"BandNum", Whole(1));
    metadata->Append(u"Height", Whole(s.raster.height()));
    metadata->Append(u"Width", Whole(s.raster.width()));
    metadata->Append(u"GEO_STARTPOSH", Real(s.originX));
    metadata->Append(u"GEO_STARTPOSV", Real(s.originY));
    metadata->Append(u"RESOLVEH", Real(s.pixelWidth));
    metadata->Append(u"RESOLVEV", Real(s.pixelHeight));
  }
  return metadata;
}
