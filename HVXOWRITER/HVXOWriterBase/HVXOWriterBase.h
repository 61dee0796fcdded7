#pragma once
// The base of every writer: the job's mapping file, the host objects the writer holds, the
// feature-model components of the host framework, and the output statistics of a job.
//
// Construction obtains the six feature-model components and logs each one the host lacks ("缺少组件
// %s", whatever the log switch says); a writer without them still converts data. Teardown releases
// everything in a fixed order, the HVXOFeature component last.
//
// The state is open to the writer classes built on this base and to their tests; the host only
// ever sees a writer through its interfaces.
#include <cstdint>
#include <map>
#include <string>

#include "HVXCommon/MappingFile.h"
#include "HVXOWRITER/HVXOWriterBase/ClassCounts.h"
#include "host/ComPtr.h"
#include "host/FeatureModel.h"
#include "host/IMetadata.h"
#include "host/IPropertySet.h"
#include "host/Unknown.h"

inline constexpr std::uint32_t kMissingComponentCode = 0x2009d;

class HVXOWriterBase {
 public:
  HVXOWriterBase();
  virtual ~HVXOWriterBase();
  HVXOWriterBase(const HVXOWriterBase&) = delete;
  HVXOWriterBase& operator=(const HVXOWriterBase&) = delete;

  // Logs the statistics table of every target counted since the last report (one log event per
  // line, when logOutput is on) and empties the store. 0 after a report, 1 when the store was empty
  // or an exception occurred.
  int ReportOutputStatistics();

  // Counting of the write step, keyed by the target's final path. A block that opens a target
  // starts a fresh table for it (total 1, output 0); a further block of a target adds one to its
  // total; a written block adds one to its output.
  void CountFirstBlock(const std::string& targetKey);
  void CountNextBlock(const std::string& targetKey);
  void CountWrittenBlock(const std::string& targetKey);
  // A target whose file was not made wrote none of its blocks, whatever reached its raster: the
  // table must not show a failure as output.
  void CountFailedTarget(const std::string& targetKey);

  // Feature-model components, held from construction to teardown. Teardown releases the first
  // five itself; declared ahead of every other member, HVXOFeature is destroyed after all of them.
  ComPtr<IClassFactory> fieldsClass;
  ComPtr<IClassFactory> fieldClass;
  ComPtr<IGeometry> geometry;
  ComPtr<IClassFactory> geometryColumnInfoClass;
  ComPtr<IGeoProjectedCoordinateSystem> projectedCoordinateSystem;
  ComPtr<IClassFactory> featureClass;

  std::string targetName;  // the current target dataset, GBK
  MappingFile mappingFile;

  // Host objects handed over by the host and held until replaced or torn down.
  ComPtr<IUnknown> hostObject1;
  ComPtr<IMetadata> metadata;
  ComPtr<IUnknown> hostObject2;
  ComPtr<IPropertySet> parameterSet;

  // Log switch (LOG_OUTPUT): off silences the writer's messages, never changes a result.
  std::int32_t logOutput = 1;
  std::int32_t progressOutput = 1;     // progress events of the write step and the grid writer
  std::int32_t featureInterval = 500;  // FEATURE_INTERVAL, kept only

  // Target key (final path) to the table of that target. A table is replaced when its target is
  // opened again.
  std::map<std::string, ClassTable> outputStatistics;
  ClassTable* currentClassTable = nullptr;  // borrowed from outputStatistics
  std::int32_t currentTotal = 0;
  std::int32_t currentOutput = 0;

 private:
  void ObtainComponents();
  void ClearStatistics();
  void LogTable(const std::string& targetKey, const ClassTable& table) const;
};
