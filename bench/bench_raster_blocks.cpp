// Writing raster blocks into a temporary raster through the writer, against GDAL alone.
//
// A 4096 x 4096 Float32 source arrives as 256 blocks of 256 x 256. The writer's path (source table,
// target creation, one GDAL write per block straight from the host's array, close) is timed
// against the same writes made directly with GDAL into the same kind of raster; the trimmed path
// (blocks with overlap windows, written one row at a time) is timed as well.
#include <gdal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"
#include "host/PropertySet.h"
#include "host/RasterBlock.h"

namespace {

constexpr int kSize = 4096;
constexpr int kBlock = 256;
constexpr int kWindow = 8;  // overlap of the trimmed variant

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

ComPtr<Metadata> SourceMetadata() {
  auto m = ComPtr<Metadata>::Attach(Metadata::Create());
  auto add = [&](const char16_t* list, const std::string& v) { m->Append(list, Utf8ToUtf16(v)); };
  add(u"InDatasetName", "src");
  add(u"InDataType", std::to_string(GDT_Float32));
  add(u"BandNum", "1");
  add(u"Height", std::to_string(kSize));
  add(u"Width", std::to_string(kSize));
  add(u"GEO_STARTPOSH", "0");
  add(u"GEO_STARTPOSV", std::to_string(kSize));
  add(u"RESOLVEH", "1");
  add(u"RESOLVEV", "-1");
  return m;
}

// The blocks of the source; with windows, each reaches kWindow / 2 pixels into its neighbours.
std::vector<ComPtr<RasterBlock>> MakeBlocks(bool windows) {
  std::vector<ComPtr<RasterBlock>> blocks;
  auto props = ComPtr<PropertySet>::Attach(PropertySet::Create());
  props->Set(u"BlocksNum", Utf8ToUtf16(std::to_string((kSize / kBlock) * (kSize / kBlock))));
  props->Set(u"WinSizeX", Utf8ToUtf16(std::to_string(kWindow)));
  props->Set(u"WinSizeY", Utf8ToUtf16(std::to_string(kWindow)));
  for (int by = 0; by < kSize; by += kBlock) {
    for (int bx = 0; bx < kSize; bx += kBlock) {
      int m = windows ? kWindow / 2 : 0;
      int x0 = std::max(bx - m, 0), y0 = std::max(by - m, 0);
      int x1 = std::min(bx + kBlock + m, kSize), y1 = std::min(by + kBlock + m, kSize);
      BlockGeometry g{x1 - x0, y1 - y0, 1, double(x0), double(kSize - y0), 1, -1};
      auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"src"));
      auto* p = static_cast<float*>(block->AllocateData(g, GDT_Float32));
      for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.columns; ++c) *p++ = static_cast<float>((y0 + r) * 0.5 + (x0 + c));
      if (windows) block->SetProperties(ComPtr<IPropertySet>(props.Get()));
      blocks.push_back(block);
    }
  }
  return blocks;
}

double ThroughWriter(const std::string& folder, bool windows) {
  auto blocks = MakeBlocks(windows);
  auto metadata = SourceMetadata();
  auto second = ComPtr<PropertySet>::Attach(PropertySet::Create());
  Clock::time_point start = Clock::now();
  {
    HVXORasterWriterBase writer;
    writer.formatExtension = "dem";
    writer.driverName = "HFA";
    std::u16string target = Utf8ToUtf16(folder + "/writer.dem");
    writer.BuildSourceTable(target.c_str(), metadata.Get());
    for (auto& [key, record] : writer.sourceTable) record.outputPath += ".tmp";
    writer.GroupSourcesByTarget();
    for (auto& b : blocks) writer.WriteBlock(b.Get(), second.Get());
    writer.CloseTargets();
  }
  return Seconds(start);
}

double ThroughGdal(const std::string& folder) {
  auto blocks = MakeBlocks(false);
  Clock::time_point start = Clock::now();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("HFA"), (folder + "/raw.dem.tmp").c_str(), kSize,
                               kSize, 1, GDT_Float32, nullptr);
  double gt[6] = {0, 1, 0, double(kSize), 0, -1};
  GDALSetGeoTransform(ds, gt);
  for (auto& b : blocks) {
    VARIANT payload, descriptor;
    b->GetData(&payload, &descriptor);
    auto* data = static_cast<double*>(payload.parray->data);
    int x = static_cast<int>(data[4]), y = kSize - static_cast<int>(data[6]);
    if (GDALDatasetRasterIO(ds, GF_Write, x, y, kBlock, kBlock, data + kBlockHeaderValues, kBlock,
                            kBlock, GDT_Float32, 1, nullptr, 0, 0, 0) != CE_None)
      std::fprintf(stderr, "write failed\n");
    VariantClear(&payload);
    VariantClear(&descriptor);
  }
  GDALClose(ds);
  return Seconds(start);
}

}  // namespace

int main() {
  GDALAllRegister();
  GDALSetCacheMax64(64 << 20);
  std::string folder = (std::filesystem::temp_directory_path() / "geodem-bench-blocks").string();
  std::filesystem::create_directories(folder);
  // Alternated, best of five each, so that neither side profits from a warmer cache.
  double raw = 1e30, writer = 1e30, trimmed = 1e30;
  for (int i = 0; i < 5; ++i) {
    raw = std::min(raw, ThroughGdal(folder));
    writer = std::min(writer, ThroughWriter(folder, false));
    trimmed = std::min(trimmed, ThroughWriter(folder, true));
  }
  std::filesystem::remove_all(folder);
  double megabytes = double(kSize) * kSize * 4 / (1 << 20);
  std::printf(
      "raster blocks through GDAL alone: %.1f MB/s (4096 x 4096 Float32 in 256 x 256 blocks)\n",
      megabytes / raw);
  std::printf("raster blocks through the writer: %.1f MB/s (same blocks, one write per block)\n",
              megabytes / writer);
  std::printf("raster block writer vs GDAL alone: %.2f (time ratio, 1.0 = no overhead)\n",
              writer / raw);
  std::printf(
      "trimmed raster blocks through the writer: %.1f MB/s (blocks with %d-pixel windows, "
      "one write per row)\n",
      megabytes / trimmed, kWindow);
  return 0;
}
