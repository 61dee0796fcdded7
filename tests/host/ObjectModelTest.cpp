#include <gtest/gtest.h>

#include "host/ClassFactory.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/Guid.h"
#include "host/Metadata.h"
#include "host/PropertySet.h"
#include "host/RasterBlock.h"
#include "host/Variant.h"

namespace {

TEST(Guid, ParsesAndPrintsTheBracedForm) {
  constexpr GUID g = MakeGuid("{8E6D9C84-C547-4C93-B722-E7C63307398E}");
  EXPECT_EQ(g.ToString(), "{8E6D9C84-C547-4C93-B722-E7C63307398E}");
  EXPECT_EQ(GUID::Parse("{8e6d9c84-c547-4c93-b722-e7c63307398e}"), g);
  EXPECT_EQ(GUID::Parse("8E6D9C84-C547-4C93-B722-E7C63307398E"), g);
  EXPECT_FALSE(GUID::Parse("{8E6D9C84-C547-4C93-B722-E7C63307398}"));
  EXPECT_FALSE(GUID::Parse("{8E6D9C84xC547-4C93-B722-E7C63307398E}"));
  EXPECT_FALSE(GUID::Parse("{8E6D9C84-C547-4C93-B722-E7C63307398G}"));
}

TEST(PropertySet, LooksUpKeysIgnoringCaseAndKeepsAbsentApart) {
  ComPtr<PropertySet> set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  set->AddItem(u"LOG_OUTPUT");
  set->AddItem(u"no");
  set->Set(u"Empty", u"");
  set->Set(u"log_output", u"later");
  set->AddItem(u"Dangling");
  BstrHolder v;
  EXPECT_EQ(set->GetValue(u"Log_Output", v.Put()), S_OK);
  EXPECT_EQ(std::u16string(v.Get()), u"later");
  EXPECT_EQ(set->GetValue(u"empty", v.Put()), S_OK);
  ASSERT_TRUE(v);
  EXPECT_EQ(std::u16string(v.Get()), u"");
  EXPECT_EQ(set->GetValue(u"Dangling", v.Put()), S_FALSE);
  EXPECT_FALSE(v);
  EXPECT_EQ(set->GetValue(nullptr, v.Put()), E_POINTER);
}

TEST(ObjectModel, QueryInterfaceAndReferenceCounts) {
  IPropertySet* set = PropertySet::Create();
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(set->QueryInterface(IUnknown::iid, unknown.PutVoid()), S_OK);
  void* nothing = reinterpret_cast<void*>(1);
  EXPECT_EQ(set->QueryInterface(IMetadata::iid, &nothing), E_NOINTERFACE);
  EXPECT_EQ(nothing, nullptr);
  EXPECT_EQ(set->AddRef(), 3u);
  EXPECT_EQ(set->Release(), 2u);
  unknown.Reset();
  EXPECT_EQ(set->Release(), 0u);
}

TEST(ObjectModel, CreatesRegisteredClassesOnly) {
  ComPtr<IPropertySet> set;
  EXPECT_EQ(CoCreateInstance(CLSID_PropertySet, nullptr, CLSCTX_INPROC_SERVER, IPropertySet::iid,
                             set.PutVoid()),
            S_OK);
  EXPECT_TRUE(set);
  constexpr CLSID unknown = MakeGuid("{00000000-1111-2222-3333-444444444444}");
  ComPtr<IUnknown> none;
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IUnknown::iid, none.PutVoid()),
            REGDB_E_CLASSNOTREG);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_PropertySet, CLSCTX_INPROC_SERVER, IClassFactory::iid,
                             factory.PutVoid()),
            S_OK);
  EXPECT_EQ(factory->CreateInstance(set.Get(), IUnknown::iid, none.PutVoid()),
            CLASS_E_NOAGGREGATION);
}

TEST(Metadata, ListsByName) {
  auto meta = ComPtr<Metadata>::Attach(Metadata::Create());
  meta->SetList(u"InDatasetName", {u"a.tif", u"b.tif"});
  std::int32_t n = -1;
  EXPECT_EQ(meta->GetCount(u"InDatasetName", &n), S_OK);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(meta->GetCount(u"Width", &n), S_FALSE);
  EXPECT_EQ(n, 0);
  BstrHolder item;
  EXPECT_EQ(meta->GetItem(u"InDatasetName", 1, item.Put()), S_OK);
  EXPECT_EQ(std::u16string(item.Get()), u"b.tif");
  EXPECT_EQ(meta->GetItem(u"InDatasetName", 2, item.Put()), E_INVALIDARG);
}

TEST(Variant, TextConversionFormatsNumbersAndRefusesNull) {
  std::u16string text = u"x";
  VARIANT v;
  EXPECT_EQ(VariantToText(v, text), S_OK);
  EXPECT_EQ(text, u"");
  v.vt = VT_I4;
  v.lVal = -12;
  VariantToText(v, text);
  EXPECT_EQ(text, u"-12");
  v.vt = VT_R8;
  v.dblVal = 2.5;
  VariantToText(v, text);
  EXPECT_EQ(text, u"2.5");
  v.vt = VT_NULL;
  EXPECT_EQ(VariantToText(v, text), DISP_E_TYPEMISMATCH);
}

TEST(RasterBlock, DataAreHandedOverOnce) {
  auto block = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"J50"));
  BlockGeometry g{3, 2, 1, 100.0, 900.0, 25.0, -25.0};
  auto* pixels = static_cast<float*>(block->AllocateData(g, 6 /* Float32 */));
  ASSERT_NE(pixels, nullptr);
  pixels[5] = 4.5f;
  VARIANT payload, descriptor;
  ASSERT_EQ(block->GetData(&payload, &descriptor), S_OK);
  ASSERT_EQ(payload.vt, VT_ARRAY | VT_R8);
  ASSERT_EQ(descriptor.vt, VT_ARRAY | VT_I4);
  EXPECT_EQ(payload.parray->count, 20u + 3u);  // 24 bytes of pixels in three doubles
  auto* header = static_cast<double*>(payload.parray->data);
  EXPECT_EQ(header[2], 3.0);
  EXPECT_EQ(header[9], -25.0);
  EXPECT_EQ(reinterpret_cast<float*>(header + 20)[5], 4.5f);
  EXPECT_EQ(static_cast<std::int32_t*>(descriptor.parray->data)[1], 33);
  VARIANT again, againDescriptor;
  block->GetData(&again, &againDescriptor);
  EXPECT_EQ(again.vt, VT_EMPTY);
  VariantClear(&payload);
  VariantClear(&descriptor);
  EXPECT_EQ(block->AllocateData({0, 2, 1}, 6), nullptr);
  EXPECT_EQ(block->AllocateData({2, 2, 1}, 9999), nullptr);
}

}  // namespace
