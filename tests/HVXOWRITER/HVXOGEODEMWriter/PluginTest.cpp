// The writer as a host finds and drives it: the built module registered into a registry of its
// own, found through the catalogue key of the GEODEM format, loaded, and run from metadata to grid
// file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "host/ComRuntime.h"
#include "host/IRasterTargetWriter.h"
#include "host/IWriterJob.h"
#include "host/Registry.h"
#include "host/ServerRegistration.h"
#include "support/EventCapture.h"
#include "support/ScopedRegistry.h"
#include "support/TempDir.h"

namespace {

using EntryPoint = HRESULT (*)();
const std::string kModulePath = GEODEM_BINARY_DIR "/lib/libHVXOGEODEMWriter.so";
const std::string kCatalogue = "GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer\\GEODEM";

class Plugin : public testing::Test {
 protected:
  void SetUp() override {
    module_ = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (module_) dlclose(module_);
  }
  HRESULT Call(const char* entry) {
    auto f = reinterpret_cast<EntryPoint>(dlsym(module_, entry));
    return f ? f() : E_FAIL;
  }

  ScopedRegistry registry_;
  void* module_ = nullptr;
};

TEST_F(Plugin, RegistersUnderTheCatalogueKeyAndUnregisters) {
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  EXPECT_EQ(ScopedRegistry::Value(kCatalogue), "HVXOGEODEMWriter");
  EXPECT_EQ(ScopedRegistry::Value(kCatalogue, "CLSID"), "HVXOGEODEMWriter.HVXOGEODEMWriter.1");
  const std::string clsidKey = "CLSID\\{54323F89-AD68-479B-97A1-04A03953E1CC}";
  EXPECT_EQ(ScopedRegistry::Value(clsidKey), "HVXOGEODEMWriter Class");
  EXPECT_EQ(ScopedRegistry::Value(clsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(ScopedRegistry::Value(clsidKey + "\\TypeLib"),
            "{687939F7-2BB9-46DF-B3A9-331FE1D1CF20}");
  EXPECT_TRUE(ScopedRegistry::HasKey(clsidKey + "\\Programmable"));
  EXPECT_EQ(ScopedRegistry::Value("HVXOGEODEMWriter.HVXOGEODEMWriter\\CurVer"),
            "HVXOGEODEMWriter.HVXOGEODEMWriter.1");

  ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
  EXPECT_FALSE(ScopedRegistry::HasKey(kCatalogue));
  EXPECT_TRUE(ScopedRegistry::HasKey("GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer"));
  EXPECT_FALSE(ScopedRegistry::HasKey(clsidKey));
  EXPECT_TRUE(ScopedRegistry::HasKey("CLSID"));
}

TEST_F(Plugin, ConvertsAsAHostDrivesIt) {
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);

  // Find the writer of GEODEM: catalogue key -> program identifier -> class -> module.
  std::string progId = ScopedRegistry::Value(kCatalogue, "CLSID");
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(Utf8ToUtf16(progId).c_str(), &clsid), S_OK);
  std::string modulePath;
  ASSERT_EQ(InprocServerPath(clsid, modulePath), S_OK);
  EXPECT_EQ(modulePath, ModulePathOf(dlsym(module_, "DllGetClassObject")));

  TempDir dir;
  std::string job = dir / "job.xml";
  TempDir::WriteFile(job, R"(<HVX_MappingFile><WRITER_PARAMETER><KeyValuePair>
      <Key>VERSION</Key><Value>GRD_2007</Value></KeyValuePair></WRITER_PARAMETER>
      </HVX_MappingFile>)");
  std::string target = dir / "example.dem";
  EventCapture events;
  {
    ComPtr<IWriterJob> writer;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IWriterJob::iid,
                               writer.PutVoid()),
              S_OK)
        << CoLastError();
    EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE);
    auto targets = writer.As<IRasterTargetWriter>();
    ASSERT_TRUE(targets);

    SourceSpec source{"example.tif", GDT_Float32, 1, 3, 2, 100, 900, 25, -25};
    ASSERT_EQ(writer->SetMetadata(MakeMetadata({source}).Get()), S_OK);
    ASSERT_EQ(writer->OpenJob(Utf8ToUtf16(job).c_str()), S_OK);
    ASSERT_EQ(targets->OpenTarget(Utf8ToUtf16(target).c_str(), nullptr), S_OK);
    const float cells[] = {1.5f, 2.25f, -3.0f, 0.0f, 10.0f, -9999.0f};
    TestBlock block = MakeFloatBlock("example.tif", {3, 2, 1, 100, 900, 25, -25},
                                     [&](int, int r, int c) { return cells[r * 3 + c]; });
    block.block->SetProperties(MakeProperties({{"BlocksNum", "1"}, {"InvalidData", "-9999"}}));
    ASSERT_EQ(targets->WriteRasterBlock(block.block.Get(), block.block.Get()), S_OK);
    EXPECT_EQ(targets->CloseTarget(), S_OK);
  }
  EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);

  EXPECT_EQ(TempDir::ReadFile(target),
            "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\n"
            "Compress: 0\r\nX0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\n"
            "DY: 25.000000\r\nRow: 2\r\nCol: 3\r\nValueType: Integer\r\nHzoom: 100\r\n"
            "XYUnit: M\r\nZUnit: M\r\n\r\n   150    225    -300 \r\n\r\n"
            "   0    1000    -99999 \r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  auto logs = events.LogTexts();
  EXPECT_NE(std::find(logs.begin(), logs.end(), "目标数据集：" + target), logs.end());
  EXPECT_NE(std::find(logs.begin(), logs.end(), "打开映射文件 " + job), logs.end());
}

}  // namespace
