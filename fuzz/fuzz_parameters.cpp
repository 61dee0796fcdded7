// The parameter readers: the input's lines (split at line feeds) are at once the job's
// writer-parameter list (ReadWriterParameters), the items of a property set handed over with a
// dataset (ReadDatasetParameters) and as writer settings (SetWriterSettings), and the reader
// directives that select a dataset (ReadDatasetSelection). The parameters read are then used as
// a grid file is written: a small raster of awkward elevations (halves, extremes, infinities,
// NaN) is converted with them, into /dev/null, with the invalid value of a line "InvalidData",
// if any, split at '|' as a block's property would be.
#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "FuzzEnvironment.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "host/TextValues.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/PropertySet.h"

namespace {

constexpr int kSide = 4;
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kCells[kSide * kSide] = {
    0.0f,    0.5f,     -0.5f,      2.5f,        -2.5f,     1e9f,        -1e9f,     3.4e38f,
    -3.4e38f, kInfinity, -kInfinity, std::numeric_limits<float>::quiet_NaN(), -9999.0f, -99999.0f,
    1e-9f,   21474836.0f};

StringList Lines(const std::uint8_t* data, std::size_t size) {
  StringList lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(static_cast<char>(data[i]));
    }
  }
  return lines;
}

// The temporary raster the grid writer converts (and deletes): made once, then put back in
// memory from its bytes for every input, which is much quicker than creating it again.
bool MakeRaster(const std::string& path) {
  static const std::string bytes = [&] {
    std::string out;
    GDALDriverH hfa = GDALGetDriverByName("HFA");
    GDALDatasetH dataset =
        hfa ? GDALCreate(hfa, path.c_str(), kSide, kSide, 1, GDT_Float32, nullptr) : nullptr;
    if (!dataset) return out;
    double transform[6] = {100, 25, 0, 900, 0, -25};
    GDALSetGeoTransform(dataset, transform);
    CPLErr err = GDALRasterIO(GDALGetRasterBand(dataset, 1), GF_Write, 0, 0, kSide, kSide,
                              const_cast<float*>(kCells), kSide, kSide, GDT_Float32, 0, 0);
    GDALClose(dataset);
    vsi_l_offset length = 0;
    GByte* data = VSIGetMemFileBuffer(path.c_str(), &length, TRUE);
    if (err == CE_None && data) out.assign(reinterpret_cast<const char*>(data), length);
    CPLFree(data);
    return out;
  }();
  if (bytes.empty()) return false;
  auto* copy = static_cast<GByte*>(CPLMalloc(bytes.size()));
  std::memcpy(copy, bytes.data(), bytes.size());
  VSIFCloseL(VSIFileFromMemBuffer(path.c_str(), copy, bytes.size(), TRUE));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const StringList lines = Lines(data, size);
  HVXOGEODEMWriter writer;
  writer.demParameters.ReadWriterParameters(lines);

  auto set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  for (const std::string& line : lines) set->AddItem(GbkToUtf16(line).c_str());
  writer.demParameters.ReadDatasetParameters(set.Get(), true);
  writer.SetParameters(set.Get());

  writer.mappingFile.readerDirectives = lines;
  writer.ReadDatasetSelection();

  BstrHolder invalid;
  if (set->GetValue(u"InvalidData", invalid.Put()) == S_OK && invalid) {
    StringList parts;
    SplitString(Utf16ToGbk(invalid.Get()), "|", parts);
    for (const std::string& part : parts) writer.invalidData.push_back(LeadingReal(part));
  }
  static const std::string raster = "/vsimem/fuzz-parameters.dem.tmp";
  if (MakeRaster(raster)) {
    if (writer.WriteFormatFile("/dev/null", raster) == 0) VSIUnlink(raster.c_str());
  }
  return 0;
}
