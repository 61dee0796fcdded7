#include "HVXOWRITER/HVXOWriterBase/HVXOWriterBase.h"

#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/ComRuntime.h"
#include "host/GeoEvents.h"
#include "host/HVXBaseLib.h"

namespace {

constexpr std::uint32_t kTotalsLine = 0x20040;
constexpr std::uint32_t kRowLine = 0x20041;
constexpr std::uint32_t kTitleLine = 0x20042;
constexpr std::uint32_t kDoubleRuleLine = 0x20043;
constexpr std::uint32_t kTargetHeadLine = 0x20044;
constexpr std::uint32_t kColumnHeadLine = 0x20045;
constexpr std::uint32_t kSingleRuleLine = 0x20046;

void LogInfo(const std::string& gbk, std::uint32_t code) { FireGeoLogGbk(gbk, kLogInfo, code); }

void LogDoubleRule() {
  LogInfo(FormatGbk("=============================================================="),
          kDoubleRuleLine);
}

void LogSingleRule() {
  LogInfo(FormatGbk("--------------------------------------------------------------"),
          kSingleRuleLine);
}

void LogMissingComponent(const char* name) {
  FireGeoLogGbk(FormatGbk("缺少组件 %s", name), kLogError, kMissingComponentCode);
}

// A class object of the host, for in-process use; empty (and logged) when the host lacks it.
ComPtr<IClassFactory> ObtainClass(const CLSID& clsid, const char* name) {
  ComPtr<IClassFactory> factory;
  if (FAILED(
          CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, IClassFactory::iid, factory.PutVoid()))) {
    LogMissingComponent(name);
    factory.Reset();
  }
  return factory;
}

// A new in-process instance of a host class, asked for interface I.
template <class I>
ComPtr<I> CreateComponent(const CLSID& clsid, const char* name) {
  ComPtr<I> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::iid, object.PutVoid()))) {
    LogMissingComponent(name);
    object.Reset();
  }
  return object;
}

}  // namespace

HVXOWriterBase::HVXOWriterBase() { ObtainComponents(); }

void HVXOWriterBase::ObtainComponents() {
  fieldsClass = ObtainClass(CLSID_Fields, "Fields");
  fieldClass = ObtainClass(CLSID_Field, "Field");
  geometry = CreateComponent<IGeometry>(CLSID_Geometry, "Geometry");
  geometryColumnInfoClass = ObtainClass(CLSID_GeometryColumnInfo, "GeometryColumnInfo");
  projectedCoordinateSystem = CreateComponent<IGeoProjectedCoordinateSystem>(
      CLSID_GeoProjectedCoordinateSystem, "GeoProjectedCoordinateSystem");
  featureClass = ObtainClass(CLSID_HVXOFeature, "HVXOFeature");
}

HVXOWriterBase::~HVXOWriterBase() {
  // Releasing runs the host's code; a failure there is reported whatever the log switch says, and
  // teardown goes on.
  GuardWriterVoid(true, kWriterBaseFile, __LINE__, [&] {
    fieldsClass.Reset();
    fieldClass.Reset();
    geometry.Reset();
    geometryColumnInfoClass.Reset();
  });
  hostObject1.Reset();
  metadata.Reset();
  hostObject2.Reset();
  parameterSet.Reset();
  projectedCoordinateSystem.Reset();
  ClearStatistics();
  // The mapping file and the strings go with the members; HVXOFeature last of all.
}

void HVXOWriterBase::ClearStatistics() {
  currentClassTable = nullptr;  // it points into the store
  outputStatistics.clear();
  currentTotal = 0;
  currentOutput = 0;
}

void HVXOWriterBase::CountFirstBlock(const std::string& targetKey) {
  ClassTable& table = outputStatistics[targetKey];
  table.clear();
  currentClassTable = &table;
  currentTotal = 1;
  currentOutput = 0;
  table[targetKey] = {currentTotal, currentOutput};
}

void HVXOWriterBase::CountNextBlock(const std::string& targetKey) {
  auto it = outputStatistics.find(targetKey);
  if (it != outputStatistics.end()) {
    currentClassTable = &it->second;
    auto counts = it->second.find(targetKey);
    if (counts != it->second.end()) {
      currentTotal = counts->second.total;
      currentOutput = counts->second.output;
    }
  }
  ++currentTotal;
  // Stored at once, so that a block whose write step ends early still counts as received.
  if (currentClassTable) (*currentClassTable)[targetKey] = {currentTotal, currentOutput};
}

void HVXOWriterBase::CountWrittenBlock(const std::string& targetKey) {
  ++currentOutput;
  if (currentClassTable) (*currentClassTable)[targetKey] = {currentTotal, currentOutput};
}

void HVXOWriterBase::CountFailedTarget(const std::string& targetKey) {
  auto it = outputStatistics.find(targetKey);
  if (it == outputStatistics.end()) return;
  for (auto& [classKey, counts] : it->second) counts.output = 0;
  if (currentClassTable == &it->second) currentOutput = 0;
}

int HVXOWriterBase::ReportOutputStatistics() {
  return GuardWriter(logOutput != 0, kWriterBaseFile, __LINE__, 1, [&] {
    if (outputStatistics.empty()) return 1;
    if (logOutput) {
      LogInfo(FormatGbk("                         输出对象统计                        "),
              kTitleLine);
      LogDoubleRule();
    }
    for (const auto& [key, table] : outputStatistics) {
      if (!key.empty()) LogTable(key, table);
    }
    ClearStatistics();
    return 0;
  });
}

void HVXOWriterBase::LogTable(const std::string& targetKey, const ClassTable& table) const {
  if (logOutput) {
    LogInfo(FormatGbk("目标数据集：%s", targetKey.c_str()), kTargetHeadLine);
    LogSingleRule();
    LogInfo(FormatGbk("地物类                          总数      输出      未输出    "),
            kColumnHeadLine);
    LogSingleRule();
  }
  std::int32_t total = 0;
  std::int32_t output = 0;
  for (const auto& [classKey, counts] : table) {
    // The class is named after the target file: no folder, no extension.
    std::string name = SplitPath(classKey).fname;
    if (logOutput)
      LogInfo(FormatGbk("%-32s%-10d%-10d%-10d", name.c_str(), counts.total, counts.output,
                        counts.total - counts.output),
              kRowLine);
    total += counts.total;
    output += counts.output;
  }
  if (logOutput) {
    LogSingleRule();
    LogInfo(
        FormatGbk("输出对象总数                   %-10d%-10d%-10d", total, output, total - output),
        kTotalsLine);
    LogDoubleRule();
  }
}
