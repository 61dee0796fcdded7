#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/PropertySet.h"
#include "support/EventCapture.h"

namespace {

ComPtr<PropertySet> Dataset(
    std::initializer_list<std::pair<std::u16string, std::u16string>> pairs) {
  ComPtr<PropertySet> set = ComPtr<PropertySet>::Attach(PropertySet::Create());
  for (const auto& [key, value] : pairs) set->Set(key, value);
  return set;
}

void ExpectDefaults(const DemWriterParameters& p) {
  EXPECT_EQ(p.overwriteFiles, 0);
  EXPECT_EQ(p.noDataValue, -99999.0);
  EXPECT_EQ(p.zoom, 100);
  EXPECT_EQ(p.version, "GEODEM");
}

TEST(DemWriterParameters, WriterListNamesIgnoreCaseAndLeaveOtherFieldsAlone) {
  for (const char* name : {"DEM_ZOOM", "dem_zoom", "Dem_Zoom"}) {
    DemWriterParameters p;
    EXPECT_EQ(p.ReadWriterParameters({name, "10"}), 1) << name;
    EXPECT_EQ(p.zoom, 10) << name;
    EXPECT_EQ(p.noDataValue, -99999.0);
    EXPECT_EQ(p.version, "GEODEM");
    EXPECT_EQ(p.overwriteFiles, 0);
  }
  DemWriterParameters p;
  EXPECT_EQ(p.ReadWriterParameters({"raster_nodata", "-9999.9", "version", "grd_1999"}), 1);
  EXPECT_EQ(p.noDataValue, -9999.9);
  EXPECT_EQ(p.version, "grd_1999");  // kept verbatim; the grid writer compares ignoring case
}

TEST(DemWriterParameters, WriterListRefusesEmptyAndOddListsWithoutChangingAnything) {
  DemWriterParameters p;
  EXPECT_EQ(p.ReadWriterParameters({}), 0);
  EXPECT_EQ(p.ReadWriterParameters({"DEM_ZOOM", "10", "VERSION"}), 0);
  ExpectDefaults(p);
  // A pair for another reader is a complete list: accepted, nothing changed.
  EXPECT_EQ(p.ReadWriterParameters({"LOG_OUTPUT", "NO"}), 1);
  ExpectDefaults(p);
}

TEST(DemWriterParameters, LaterPairWinsAndValuesPersistAcrossReads) {
  DemWriterParameters p;
  EXPECT_EQ(p.ReadWriterParameters({"VERSION", "GRD_2007", "DEM_ZOOM", "5", "VERSION", "GRD_1999"}),
            1);
  EXPECT_EQ(p.version, "GRD_1999");
  EXPECT_EQ(p.ReadWriterParameters({"OVERWRITE", "YES"}), 1);
  EXPECT_EQ(p.zoom, 5);  // not reset by the second job
  EXPECT_EQ(p.overwriteFiles, 1);
}

// A zoom must be a whole number of at least 1 and a no-data value a number: anything else
// (which atol and atof would read as 0, a negated or a cut number) is refused, from either reader,
// the field keeping its value and the refusal naming the key and the text.
TEST(DemWriterParameters, NumbersThatWouldDestroyTheDataAreRefused) {
  struct Case {
    const char* text;
    std::optional<double> noData;      // nothing: refused
    std::optional<std::int32_t> zoom;  // nothing: refused
  };
  const Case cases[] = {
      {"12", 12.0, 12},
      {" 1000 ", 1000.0, 1000},
      {"1e3", 1000.0, 1000},
      {"100.0", 100.0, 100},
      {"+0x10", 16.0, 16},
      {"-9999.9", -9999.9, {}},
      {"0.5", 0.5, {}},
      {"0", 0.0, {}},
      {"-0", 0.0, {}},
      {"-1", -1.0, {}},
      {"2147483647", 2147483647.0, 2147483647},
      {"99999999999", 99999999999.0, {}},
      {"12abc", {}, {}},
      {"abc", {}, {}},
      {"", {}, {}},
      {"nan", {}, {}},
      {"-inf", {}, {}},
  };
  for (const Case& c : cases) {
    const std::u16string wide = Utf8ToUtf16(c.text);
    for (bool fromList : {true, false}) {
      for (const char* key : {"RASTER_NODATA", "DEM_ZOOM"}) {
        const bool zoom = key[0] == 'D';
        const bool accepted = zoom ? c.zoom.has_value() : c.noData.has_value();
        EventCapture events;
        DemWriterParameters p;
        p.noDataValue = -7;
        p.zoom = 7;
        if (fromList) {
          EXPECT_EQ(p.ReadWriterParameters({key, c.text, "VERSION", "GRD_2007"}), accepted ? 1 : 0);
          EXPECT_EQ(p.version, "GRD_2007");  // the other pairs are read
          p.LogRefusal(true);
        } else {
          EXPECT_EQ(p.ReadDatasetParameters(Dataset({{Utf8ToUtf16(key), wide}}).Get(), true),
                    accepted ? S_OK : E_FAIL);
        }
        const std::string what = std::string(key) + " \"" + c.text + (fromList ? "\" list" : "\" set");
        EXPECT_EQ(p.zoom, zoom && accepted ? *c.zoom : 7) << what;
        EXPECT_EQ(p.noDataValue, !zoom && accepted ? *c.noData : -7) << what;
        if (accepted) {
          EXPECT_TRUE(events.logs.empty()) << what;
          continue;
        }
        ASSERT_EQ(events.logs.size(), 1u) << what;
        EXPECT_EQ(events.logs[0].level, 2);
        EXPECT_EQ(events.logs[0].code, 0x201a0u);
        EXPECT_EQ(events.logs[0].Utf8(),
                  std::string("参数 ") + key + " 的值“" + c.text + "”无效：" +
                      (zoom ? "须为不小于 1 的整数" : "须为数值"));
      }
    }
  }
}

// The job's list knows six OVERWRITE words, a dataset's property set only "YES" and "NO".
TEST(DemWriterParameters, OverwriteWordsDifferBetweenTheTwoReaders) {
  struct Case {
    const char* value;
    int fromList0, fromList1;  // result starting from 0 and from 1
    int fromSet0, fromSet1;
  };
  const Case cases[] = {
      {"YES", 1, 1, 1, 1}, {"yes", 1, 1, 1, 1},   {"true", 1, 1, 0, 1}, {"TRUE", 1, 1, 0, 1},
      {"1", 1, 1, 0, 1},   {"NO", 0, 0, 0, 0},    {"No", 0, 0, 0, 0},   {"false", 0, 0, 0, 1},
      {"0", 0, 0, 0, 1},   {"maybe", 0, 1, 0, 1}, {"2", 0, 1, 0, 1},    {"", 0, 1, 0, 1},
  };
  for (const Case& c : cases) {
    std::u16string wide = Utf8ToUtf16(c.value);
    for (int start : {0, 1}) {
      DemWriterParameters list;
      list.overwriteFiles = start;
      list.ReadWriterParameters({"overwrite", c.value});
      EXPECT_EQ(list.overwriteFiles, start ? c.fromList1 : c.fromList0) << c.value << " " << start;

      DemWriterParameters set;
      set.overwriteFiles = start;
      EXPECT_EQ(set.ReadDatasetParameters(Dataset({{u"Overwrite", wide}}).Get(), true), S_OK);
      EXPECT_EQ(set.overwriteFiles, start ? c.fromSet1 : c.fromSet0) << c.value << " " << start;
    }
  }
}

TEST(DemWriterParameters, DatasetSetChangesOnlyTheKeysItHolds) {
  DemWriterParameters p;
  EXPECT_EQ(p.ReadDatasetParameters(nullptr, true), S_OK);
  ExpectDefaults(p);

  EXPECT_EQ(p.ReadDatasetParameters(Dataset({{u"version", u"GRD_2007"}}).Get(), true), S_OK);
  EXPECT_EQ(p.version, "GRD_2007");
  EXPECT_EQ(p.zoom, 100);
  EXPECT_EQ(p.noDataValue, -99999.0);

  auto set = Dataset({{u"DEM_ZOOM", u"7"}, {u"RASTER_NODATA", u"0"}, {u"VERSION", u"版本"}});
  EXPECT_EQ(p.ReadDatasetParameters(set.Get(), false), S_OK);
  EXPECT_EQ(p.zoom, 7);
  EXPECT_EQ(p.noDataValue, 0.0);
  EXPECT_EQ(p.version, Utf8ToGbk("版本"));  // narrow strings are GBK
}

// A host object that fails in the middle of the lookups.
class ThrowingSet : public ComObject<ThrowingSet, IPropertySet> {
 public:
  HRESULT GetValue(const char16_t* name, BSTR* value) override {
    if (std::u16string_view(name) == u"DEM_ZOOM") throw std::runtime_error("host failure");
    *value = SysAllocString(u"-1");
    return S_OK;
  }
  HRESULT AddItem(const char16_t*) override { return E_NOTIMPL; }
};

TEST(DemWriterParameters, ExceptionInDatasetSetFailsAndIsLoggedOnlyWhenLoggingIsOn) {
  ComPtr<ThrowingSet> set = ComPtr<ThrowingSet>::Attach(ThrowingSet::Create());
  for (bool log : {true, false}) {
    EventCapture events;
    DemWriterParameters p;
    EXPECT_EQ(p.ReadDatasetParameters(set.Get(), log), E_FAIL);
    EXPECT_EQ(p.noDataValue, -1.0);  // read before the failure
    EXPECT_EQ(p.zoom, 100);
    ASSERT_EQ(events.logs.size(), log ? 1u : 0u);
    if (log) {
      EXPECT_EQ(events.logs[0].level, 3);
      EXPECT_EQ(events.logs[0].code, 0x200e0u);
      EXPECT_TRUE(events.logs[0].Utf8().starts_with(
          "异常,位于代码文件 HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter1.cpp 的 "))
          << events.logs[0].Utf8();
    }
  }
}

}  // namespace
