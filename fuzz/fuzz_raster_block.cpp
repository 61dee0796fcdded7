// Raster blocks as a host might send them, into a small target of a real writer: the bytes say
// how the source looks, then give up to four blocks, each with its payload and descriptor (variant
// types, element counts, the descriptor's marker and data type, the header's size, place and pixel
// size, the pixel bytes) and, optionally, its property texts. Each input gets a fresh writer, its
// own target, and every block through WriteRasterBlock, then CloseTarget: the blocks that complete
// a source convert it into a grid file, and a mosaic is converted at the close.
//
// Input layout (little endian; see FuzzInput for what lies past the end):
//   u8 setup: bit 0 blocks carry properties, bit 1 two sources mosaicked into one file,
//            bit 2 blocks carry a coordinate system, bit 3 log switch off
//   u8 data type (index into kTypes), u8 bands (1-3), u8 width (1-16), u8 height (1-16),
//   u8 blocks (1-4), then per block:
//     u8 shape: bits 0-1 payload variant (array of doubles, array of ints, empty, one double),
//               bits 2-3 descriptor variant (array of ints, array of doubles, empty, one int),
//               bits 4-5 name and kind (source a, source b, a name of no source, source a
//               with the wrong kind), bit 6 second object missing
//     u8 descriptor length (0-5), i32 descriptor[1] (the marker), i32 descriptor[2] (data type),
//     f64 x 6: header values 2, 3, 4, 6, 8, 9 (columns, rows, x, y, pixel width, pixel height),
//     u16 payload length in doubles (at most 20 + 4096), u16 pixel bytes given,
//     the pixel bytes, then with properties: BlocksNum, WinSizeX, WinSizeY, BandCount and
//     InvalidData as strings (FuzzInput::OptionalText).
#include <gdal.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzEnvironment.h"
#include "FuzzInput.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"
#include "host/PropertySet.h"
#include "host/RasterBlock.h"
#include "host/SpatialReference.h"

namespace {

constexpr GDALDataType kTypes[] = {GDT_Byte,   GDT_UInt16,  GDT_Int16,   GDT_UInt32,
                                   GDT_Int32,  GDT_Float32, GDT_Float64, GDT_CInt16,
                                   GDT_CFloat32};
constexpr std::size_t kMaxPixelDoubles = 4096;
constexpr const char16_t* kPropertyNames[] = {u"BlocksNum", u"WinSizeX", u"WinSizeY",
                                              u"BandCount", u"InvalidData"};

struct Source {
  GDALDataType type;
  int bands, width, height;
};

ComPtr<Metadata> Describe(const Source& s, bool twoSources) {
  auto metadata = ComPtr<Metadata>::Attach(Metadata::Create());
  for (int i = 0; i < (twoSources ? 2 : 1); ++i) {
    metadata->Append(u"InDatasetName", i == 0 ? u"a" : u"b");
    metadata->Append(u"InDataType", Utf8ToUtf16(std::to_string(s.type)));
    metadata->Append(u"BandNum", Utf8ToUtf16(std::to_string(s.bands)));
    metadata->Append(u"Height", Utf8ToUtf16(std::to_string(s.height)));
    metadata->Append(u"Width", Utf8ToUtf16(std::to_string(s.width)));
    // The second source lies right of the first, half overlapping it.
    metadata->Append(u"GEO_STARTPOSH", Utf8ToUtf16(std::to_string(i * s.width / 2)));
    metadata->Append(u"GEO_STARTPOSV", u"100");
    metadata->Append(u"RESOLVEH", u"1");
    metadata->Append(u"RESOLVEV", u"-1");
  }
  return metadata;
}

SAFEARRAY* ArrayOf(VARTYPE type, std::size_t count) {
  return SafeArrayCreateVector(type, count);
}

// One of the four shapes a variant can take here: an array of the wanted type, an array of the
// other type, nothing, or a single value.
VARIANT MakeVariant(int shape, VARTYPE wanted, std::size_t count) {
  VARIANT v;
  VARTYPE other = wanted == VT_R8 ? VT_I4 : VT_R8;
  switch (shape) {
    case 0:
    case 1:
      v.vt = VT_ARRAY | (shape == 0 ? wanted : other);
      v.parray = ArrayOf(shape == 0 ? wanted : other, count);
      if (!v.parray) v.vt = VT_EMPTY;
      break;
    case 2:
      break;
    default:
      v.vt = wanted;
      v.dblVal = 0;
      break;
  }
  return v;
}

ComPtr<RasterBlock> ReadBlock(FuzzInput& in, bool withProperties, bool withReference,
                              std::uint8_t shape) {
  const int naming = (shape >> 4) & 3;
  const char16_t* name = naming == 1 ? u"b" : naming == 2 ? u"elsewhere" : u"a";
  auto block = ComPtr<RasterBlock>::Attach(
      RasterBlock::Create(name, naming == 3 ? 2 : kRasterBlockKind));
  std::size_t descriptorLength = in.Byte() % 6;
  std::int32_t marker = in.Read<std::int32_t>();
  std::int32_t type = in.Read<std::int32_t>();
  double header[6];
  for (double& h : header) h = in.Read<double>();
  std::size_t payloadLength =
      std::min<std::size_t>(in.Read<std::uint16_t>(), kBlockHeaderValues + kMaxPixelDoubles);
  std::string pixels = in.Bytes(in.Read<std::uint16_t>());

  VARIANT payload = MakeVariant(shape & 3, VT_R8, payloadLength);
  VARIANT descriptor = MakeVariant((shape >> 2) & 3, VT_I4, descriptorLength);
  if (payload.vt == (VT_ARRAY | VT_R8)) {
    auto* values = static_cast<double*>(payload.parray->data);
    const std::size_t slots[] = {2, 3, 4, 6, 8, 9};
    for (std::size_t i = 0; i < 6; ++i)
      if (slots[i] < payloadLength) values[slots[i]] = header[i];
    if (payloadLength > kBlockHeaderValues) {
      std::size_t room = (payloadLength - kBlockHeaderValues) * sizeof(double);
      std::memcpy(values + kBlockHeaderValues, pixels.data(), std::min(room, pixels.size()));
    }
  }
  if (descriptor.vt == (VT_ARRAY | VT_I4)) {
    auto* values = static_cast<std::int32_t*>(descriptor.parray->data);
    if (descriptorLength > 1) values[1] = marker;
    if (descriptorLength > 2) values[2] = type;
  }
  block->SetData(payload, descriptor);

  if (withProperties) {
    auto properties = ComPtr<PropertySet>::Attach(PropertySet::Create());
    for (const char16_t* key : kPropertyNames) {
      if (auto text = in.OptionalText()) properties->Set(key, GbkToUtf16(*text));
    }
    block->SetProperties(ComPtr<IPropertySet>(properties.Get()));
  }
  if (withReference) {
    block->SetSpatialReference(ComPtr<ISpatialReference>::Attach(SpatialReference::Create(
        u"LOCAL_CS[\"fuzz\",UNIT[\"metre\",1]]")));
  }
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzEnvironment& environment = FuzzEnvironment::Instance();
  FuzzInput in(data, size);
  const std::uint8_t setup = in.Byte();
  const bool withProperties = setup & 1, mosaic = setup & 2, withReference = setup & 4;
  Source source{kTypes[in.Byte() % std::size(kTypes)], in.Byte() % 3 + 1, in.Byte() % 16 + 1,
                in.Byte() % 16 + 1};
  const int blocks = in.Byte() % 4 + 1;

  {
    HVXOGEODEMWriter writer;
    writer.logOutput = setup & 8 ? 0 : 1;
    writer.SetMetadata(Describe(source, mosaic).Get());
    const std::string target = environment.File(mosaic ? "out/area.dem" : "out/");
    if (writer.OpenTarget(GbkToUtf16(target).c_str(), nullptr) == S_OK) {
      for (int i = 0; i < blocks; ++i) {
        const std::uint8_t shape = in.Byte();
        ComPtr<RasterBlock> block = ReadBlock(in, withProperties, withReference, shape);
        writer.WriteRasterBlock(block.Get(), shape & 0x40 ? nullptr : block.Get());
      }
      writer.CloseTarget();
    }
  }
  environment.Sweep();
  return 0;
}
