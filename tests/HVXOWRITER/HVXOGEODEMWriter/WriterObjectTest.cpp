// The writer object as the host drives it: interfaces, accessors, targets and their closing.
#include <gtest/gtest.h>

#include <filesystem>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriterClassFactory.h"
#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "host/ComObject.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

// Records the conversions of mosaic targets instead of writing grid files.
class ConversionRecorder : public HVXOGEODEMWriter {
 public:
  int WriteFormatFile(const std::string& finalPath, const std::string& temporaryPath) override {
    calls.emplace_back(finalPath, temporaryPath);
    return results.empty() ? 1 : results[calls.size() - 1];
  }
  std::vector<std::pair<std::string, std::string>> calls;
  std::vector<int> results;
};

const std::vector<SourceSpec> kTwoSources{{"a.tif"}, {"b.tif", GDT_Float32, 1, 100, 100, 100}};

TEST(WriterTargets, RefusedWithoutMetadataOrName) {
  HVXOGEODEMWriter writer;
  EventCapture events;
  EXPECT_EQ(writer.OpenTarget(u"out.dem", nullptr), E_FAIL);
  writer.SetMetadata(MakeMetadata(kTwoSources).Get());
  EXPECT_EQ(writer.OpenTarget(nullptr, nullptr), E_FAIL);
  ASSERT_EQ(events.logs.size(), 2u);
  EXPECT_EQ(events.logs[0].Utf8(), "无元数据信息");
  EXPECT_EQ(events.logs[0].code, 0x20197u);
  EXPECT_EQ(events.logs[1].Utf8(), "目标数据集名称为空");
  EXPECT_EQ(events.logs[1].code, 0x20090u);
  EXPECT_EQ(events.logs[1].level, 2);

  writer.logOutput = 0;  // same results, silently
  writer.SetMetadata(MakeMetadata({{"a.tif"}, {"b.tif"}}).Get());
  EXPECT_EQ(writer.OpenTarget(nullptr, nullptr), E_FAIL);
  EXPECT_EQ(events.logs.size(), 2u);
}

TEST(WriterTargets, MosaicModeFollowsTheTargetAndTheSourceOptions) {
  HVXOGEODEMWriter writer;
  writer.SetMetadata(MakeMetadata(kTwoSources).Get());
  ASSERT_EQ(writer.OpenTarget(u"out/area.dem", nullptr), S_OK);
  EXPECT_EQ(writer.mosaicMode, 1);
  EXPECT_EQ(writer.targetList, StringList{"out/area.dem.tmp"});

  auto separate = MakeProperties({{"Multiple_Source_Option", "separate_file"}});
  ASSERT_EQ(writer.OpenTarget(u"out/area.dem", separate.Get()), S_OK);
  EXPECT_EQ(writer.mosaicMode, 0);

  ASSERT_EQ(writer.OpenTarget(u"out/", nullptr), S_OK);
  EXPECT_EQ(writer.mosaicMode, 0);
  EXPECT_EQ(writer.targetList, (StringList{"out/a.dem.tmp", "out/b.dem.tmp"}));

  writer.SetMetadata(MakeMetadata({{"a.tif"}}).Get());
  ASSERT_EQ(writer.OpenTarget(u"out/area.dem", nullptr), S_OK);
  EXPECT_EQ(writer.mosaicMode, 0);  // a single source never mosaics
}

TEST(WriterTargets, InconsistentListsAndDatasetParameters) {
  HVXOGEODEMWriter writer;
  EventCapture events;
  auto metadata = MakeMetadata(kTwoSources);
  metadata->SetList(u"Width", {u"100"});
  writer.SetMetadata(metadata.Get());
  EXPECT_EQ(writer.OpenTarget(u"out.dem", nullptr), E_FAIL);
  ASSERT_EQ(events.logs.size(), 1u);
  EXPECT_EQ(events.logs[0].Utf8(), "输入数据集信息条目不匹配");
  EXPECT_EQ(events.logs[0].code, 0x20196u);

  writer.SetMetadata(MakeMetadata(kTwoSources).Get());
  auto options = MakeProperties({{"VERSION", "GRD_2007"}, {"DEM_ZOOM", "7"}});
  ASSERT_EQ(writer.OpenTarget(u"out.dem", options.Get()), S_OK);
  EXPECT_EQ(writer.demParameters.version, "GRD_2007");
  EXPECT_EQ(writer.demParameters.zoom, 7);
}

TEST(WriterTargets, ClosingAMosaicStopsAtTheFirstFailedConversion) {
  ConversionRecorder writer;
  EventCapture events;
  writer.destinationNames = {{"A.TIF", "a.dem"}, {"B.TIF", "b.dem"}};
  writer.SetMetadata(MakeMetadata(kTwoSources).Get());
  ASSERT_EQ(writer.OpenTarget(u"area.dem", nullptr), S_OK);
  ASSERT_EQ(writer.mosaicMode, 1);
  ASSERT_EQ(writer.targetList.size(), 2u);
  writer.CountFirstBlock("a.dem");
  writer.CountWrittenBlock("a.dem");
  writer.results = {0, 1};

  EXPECT_EQ(writer.CloseTarget(), E_FAIL);  // a grid file is missing
  ASSERT_EQ(writer.calls.size(), 1u);
  EXPECT_EQ(writer.calls[0].first + ".tmp", writer.calls[0].second);
  ASSERT_FALSE(events.logs.empty());
  EXPECT_EQ(events.logs[0].Utf8(), "输出目标数据集" + GbkToUtf8(writer.calls[0].first) + "失败");
  EXPECT_EQ(events.logs[0].code, 0x20198u);
  EXPECT_EQ(events.logs.size(), 1u + 10u);  // then the statistics table
  EXPECT_TRUE(writer.sourceTable.empty());  // the target was reset
  EXPECT_EQ(writer.CloseTarget(), S_FALSE);  // nothing counted since
}

TEST(WriterObject, AccessorsAndReservedSlots) {
  HVXOGEODEMWriter writer;
  auto first = MakeProperties({});
  auto second = MakeProperties({});
  IUnknown* out = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(writer.GetHostObject1(&out), S_FALSE);
  EXPECT_EQ(out, reinterpret_cast<IUnknown*>(0x1));  // untouched
  EXPECT_EQ(writer.GetHostObject1(nullptr), E_POINTER);
  EXPECT_EQ(writer.SetHostObject1(first.Get()), S_OK);
  EXPECT_EQ(writer.SetHostObject1(nullptr), S_FALSE);
  ASSERT_EQ(writer.GetHostObject1(&out), S_OK);
  EXPECT_EQ(out, static_cast<IUnknown*>(first.Get()));
  out->Release();
  EXPECT_EQ(writer.SetHostObject2(second.Get()), S_OK);
  ASSERT_EQ(writer.GetHostObject2(&out), S_OK);
  EXPECT_EQ(out, static_cast<IUnknown*>(second.Get()));
  out->Release();
  IMetadata* metadata = nullptr;
  EXPECT_EQ(writer.GetMetadata(&metadata), S_FALSE);

  EXPECT_EQ(writer.Reserved1(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(writer.Reserved4(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(writer.Reserved4(nullptr, &out), E_NOTIMPL);
  EXPECT_EQ(writer.SetParameters(nullptr), S_FALSE);
  EXPECT_EQ(writer.WriteRasterBlock(nullptr, nullptr), E_POINTER);
  std::uint32_t count = 0;
  EXPECT_EQ(static_cast<IRasterTargetWriter&>(writer).GetTypeInfoCount(&count), E_NOTIMPL);
}

TEST(WriterObject, InterfacesAndReferenceCounts) {
  ComPtr<IWriterJob> job;
  ASSERT_EQ(HVXOGEODEMWriterClassFactory::Instance().CreateInstance(nullptr, IWriterJob::iid,
                                                                    job.PutVoid()),
            S_OK);
  ComPtr<IRasterTargetWriter> target = job.As<IRasterTargetWriter>();
  ASSERT_TRUE(target);
  ComPtr<IDispatch> dispatch = job.As<IDispatch>();
  ComPtr<IUnknown> a = job.As<IUnknown>(), b = target.As<IUnknown>();
  EXPECT_EQ(a.Get(), b.Get());  // one identity
  EXPECT_TRUE(dispatch);
  EXPECT_FALSE(job.As<IMetadata>());
  EXPECT_EQ(ComPtr<IClassFactory>(&HVXOGEODEMWriterClassFactory::Instance())
                ->CreateInstance(nullptr, IMetadata::iid, a.PutVoid()),
            E_NOINTERFACE);
}

// An outer object that aggregates a writer: it holds the writer's own IUnknown and hands out the
// writer's interfaces, whose references count on the outer object.
class Outer : public ComObject<Outer, IPropertySet> {
 public:
  HRESULT GetValue(const char16_t*, BSTR*) override { return E_NOTIMPL; }
  HRESULT AddItem(const char16_t*) override { return E_NOTIMPL; }
  std::uint32_t Count() {
    AddRef();
    return Release();
  }
};

TEST(WriterObject, Aggregation) {
  auto outer = ComPtr<Outer>::Attach(Outer::Create());
  IClassFactory& factory = HVXOGEODEMWriterClassFactory::Instance();
  IUnknown* refused = nullptr;
  EXPECT_EQ(factory.CreateInstance(outer.Get(), IWriterJob::iid, reinterpret_cast<void**>(&refused)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);

  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory.CreateInstance(outer.Get(), IUnknown::iid, inner.PutVoid()), S_OK);
  EXPECT_EQ(outer->Count(), 1u);
  IWriterJob* job = nullptr;
  ASSERT_EQ(inner->QueryInterface(IWriterJob::iid, reinterpret_cast<void**>(&job)), S_OK);
  EXPECT_EQ(outer->Count(), 2u);  // the interface's reference counts on the outer object
  job->Release();
  EXPECT_EQ(outer->Count(), 1u);
  EXPECT_EQ(inner->AddRef(), 2u);  // the writer's own count: ours and this one
  inner->Release();
}

// The same values from a target's source options fail the target: its blocks find nothing to
// write into, and nothing reaches the disk.
TEST(WriterTargets, ValuesThatWouldDestroyTheDataFailTheTarget) {
  TempDir dir;
  const std::string target = dir / "area.dem";
  const std::pair<const char*, const char*> refused[] = {{"DEM_ZOOM", "abc"},
                                                         {"RASTER_NODATA", "x1"}};
  for (const auto& [key, value] : refused) {
    for (int log : {1, 0}) {
      HVXOGEODEMWriter writer;
      writer.logOutput = log;
      EventCapture events;
      writer.SetMetadata(MakeMetadata({{"a.tif", GDT_Float32, 1, 4, 4, 0, 4}}).Get());
      EXPECT_EQ(writer.OpenTarget(Utf8ToUtf16(target).c_str(),
                                  MakeProperties({{key, value}}).Get()),
                S_FALSE);
      auto block = MakeFloatBlock("a.tif", {4, 4, 1, 0, 4, 1, -1}, [](int, int, int) { return 1; });
      EXPECT_EQ(writer.WriteRasterBlock(block.block.Get(), MakeProperties({}).Get()), S_FALSE);
      writer.CloseTarget();
      EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << key;
      ASSERT_EQ(events.logs.size(), log ? 1u : 0u) << key << " " << log;
      if (log) {
        EXPECT_EQ(events.logs[0].code, 0x201a0u);
        EXPECT_EQ(events.logs[0].level, 2);
      }
    }
  }
}

}  // namespace
