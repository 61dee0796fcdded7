// The exception line of an operation names the file of its class, whichever source file the
// operation lives in: host objects that throw in the middle of a job reach the guards of the
// raster writer base's block, source and target operations.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

template <class T>
ComPtr<T> Own(T* object) {
  object->AddRef();
  return ComPtr<T>::Attach(object);
}

struct ThrowingBlock : RasterBlock {
  ThrowingBlock() : RasterBlock(u"s") {}
  HRESULT GetKind(std::int32_t*) override { throw std::runtime_error("host failure"); }
};

struct ThrowingMetadata : Metadata {
  HRESULT GetCount(const char16_t*, std::int32_t*) override {
    throw std::runtime_error("host failure");
  }
};

struct ThrowingReference : ComObject<ThrowingReference, ISpatialReference> {
  HRESULT ExportToWkt(BSTR*) override { throw std::runtime_error("host failure"); }
};

struct GuardCase {
  const char* name;
  std::function<void(HVXOGEODEMWriter&, const std::string& target)> run;
};
void PrintTo(const GuardCase& c, std::ostream* out) { *out << c.name; }

const GuardCase kCases[] = {
    {"block",
     [](HVXOGEODEMWriter& writer, const std::string& target) {
       writer.SetMetadata(MakeMetadata({{"s"}}).Get());
       ASSERT_EQ(writer.OpenTarget(Utf8ToUtf16(target).c_str(), nullptr), S_OK);
       auto block = Own(new ThrowingBlock);
       EXPECT_EQ(writer.WriteRasterBlock(block.Get(), block.Get()), E_FAIL);
     }},
    {"source_lists",
     [](HVXOGEODEMWriter& writer, const std::string& target) {
       writer.SetMetadata(Own(new ThrowingMetadata).Get());
       EXPECT_EQ(writer.OpenTarget(Utf8ToUtf16(target).c_str(), nullptr), E_FAIL);
     }},
    {"target_raster",
     [](HVXOGEODEMWriter& writer, const std::string& target) {
       writer.SetMetadata(MakeMetadata({{"s"}}).Get());
       ASSERT_EQ(writer.OpenTarget(Utf8ToUtf16(target).c_str(), nullptr), S_OK);
       TestBlock t =
           MakeFloatBlock("s", {8, 8, 1, 0, 1000, 1, -1}, [](int, int, int) { return 1; });
       t.block->SetSpatialReference(ComPtr<ISpatialReference>(Own(new ThrowingReference).Get()));
       EXPECT_EQ(writer.WriteRasterBlock(t.block.Get(), t.block.Get()), E_FAIL);
     }},
};

class ExceptionLine : public testing::TestWithParam<GuardCase> {};

TEST_P(ExceptionLine, NamesTheFileOfTheClass) {
  TempDir dir;
  HVXOGEODEMWriter writer;
  EventCapture events;
  GetParam().run(writer, dir / "a.dem");
  const std::string head =
      "异常,位于代码文件 HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.cpp 的 ";
  ASSERT_FALSE(events.logs.empty());
  EXPECT_EQ(events.logs[0].code, 0x200e0u);
  EXPECT_TRUE(events.logs[0].Utf8().starts_with(head)) << events.logs[0].Utf8();
}

INSTANTIATE_TEST_SUITE_P(RasterWriterBase, ExceptionLine, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
