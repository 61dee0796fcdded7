// What geodem tells the writer about its sources: the metadata lists.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "TestRasters.h"
#include "apps/geodem/convert/InputMetadata.h"
#include "host/CodePage.h"
#include "support/TempDir.h"

namespace {

JobSource Describe(const TestRaster& r, const std::string& path) {
  EXPECT_TRUE(r.WriteGTiff(path));
  std::string error;
  auto s = RasterSource::Describe(path, 1, error);
  EXPECT_TRUE(s) << error;
  return JobSource(*s);
}

std::string Item(Metadata* m, const char16_t* list, int i) {
  BstrHolder item;
  EXPECT_EQ(m->GetItem(list, i, item.Put()), S_OK);
  return Utf16ToUtf8(item.Get() ? item.Get() : u"");
}

TEST(InputMetadata, ListsEverySourceWithFullPrecision) {
  TempDir dir;
  TestRaster a;
  a.geoTransform = {500000.1, 0.1, 0, 4000000.3, 0, -0.1};
  TestRaster b;
  b.width = 7;
  b.type = GDT_Float64;
  b.bands = 3;
  std::vector<JobSource> sources = {Describe(a, dir / "a.tif"), Describe(b, dir / "b.tif")};
  auto m = BuildInputMetadata(sources);

  std::int32_t count = 0;
  for (const char16_t* list : {u"InDatasetName", u"InDataType", u"BandNum", u"Height", u"Width",
                               u"GEO_STARTPOSH", u"GEO_STARTPOSV", u"RESOLVEH", u"RESOLVEV"}) {
    EXPECT_EQ(m->GetCount(list, &count), S_OK);
    EXPECT_EQ(count, 2);
  }
  EXPECT_EQ(Item(m.Get(), u"InDatasetName", 0), dir / "a.tif");
  EXPECT_EQ(Item(m.Get(), u"InDataType", 0), std::to_string(GDT_Float32));
  EXPECT_EQ(Item(m.Get(), u"InDataType", 1), std::to_string(GDT_Float64));
  // Blocks carry the chosen band only.
  EXPECT_EQ(Item(m.Get(), u"BandNum", 1), "1");
  EXPECT_EQ(Item(m.Get(), u"Width", 1), "7");
  EXPECT_EQ(Item(m.Get(), u"Height", 1), "3");
  // Read back, the texts give the very doubles of the geotransform.
  EXPECT_EQ(std::strtod(Item(m.Get(), u"GEO_STARTPOSH", 0).c_str(), nullptr), 500000.1);
  EXPECT_EQ(std::strtod(Item(m.Get(), u"GEO_STARTPOSV", 0).c_str(), nullptr), 4000000.3);
  EXPECT_EQ(Item(m.Get(), u"RESOLVEH", 0), "0.10000000000000001");
  EXPECT_EQ(Item(m.Get(), u"RESOLVEV", 0), "-0.10000000000000001");
}

}  // namespace
