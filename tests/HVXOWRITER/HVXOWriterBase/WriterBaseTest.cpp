#include <gtest/gtest.h>

#include "HVXOWRITER/HVXOWriterBase/HVXOWriterBase.h"
#include "host/CodePage.h"
#include "host/ComRuntime.h"
#include "host/HostRuntime.h"
#include "support/EventCapture.h"

namespace {

TEST(WriterBaseComponents, HostThatOffersAllSixLogsNothing) {
  EventCapture events;
  {
    HVXOWriterBase writer;
    EXPECT_TRUE(writer.fieldsClass && writer.fieldClass && writer.geometry &&
                writer.geometryColumnInfoClass && writer.projectedCoordinateSystem &&
                writer.featureClass);
  }
  EXPECT_TRUE(events.logs.empty());
}

TEST(WriterBaseComponents, EachMissingComponentIsLoggedInOrderAndTeardownIsQuiet) {
  RevokeAllInprocClasses();
  EventCapture events;
  {
    HVXOWriterBase writer;
    EXPECT_FALSE(writer.fieldsClass || writer.geometry || writer.projectedCoordinateSystem ||
                 writer.featureClass);
    EXPECT_EQ(
        events.LogTexts(),
        (std::vector<std::string>{
            "缺少组件 Fields", "缺少组件 Field", "缺少组件 Geometry", "缺少组件 GeometryColumnInfo",
            "缺少组件 GeoProjectedCoordinateSystem", "缺少组件 HVXOFeature"}));
    for (const auto& log : events.logs) {
      EXPECT_EQ(log.level, 2);
      EXPECT_EQ(log.code, 0x2009du);
    }
    events.Clear();
  }
  EXPECT_TRUE(events.logs.empty());
  InitializeHostRuntime();
}

TEST(WriterBaseComponents, OneMissingComponentDoesNotStopTheOthers) {
  RevokeInprocClass(CLSID_GeoProjectedCoordinateSystem);
  EventCapture events;
  HVXOWriterBase writer;
  EXPECT_EQ(events.LogTexts(), std::vector<std::string>{"缺少组件 GeoProjectedCoordinateSystem"});
  EXPECT_TRUE(writer.featureClass);  // the ones after it are still obtained
  InitializeHostRuntime();
}

}  // namespace
