#pragma once
// One conversion rule: which source objects it takes and what they become.
#include <optional>
#include <string>
#include <vector>

#include "HVXCommon/AttributePairInfo.h"
#include "HVXCommon/ConditionInfo.h"
#include "host/HVXBaseLib.h"

struct RuleInfo {
  std::string sourceFeatureClass;
  std::string sourceGeometryType;
  std::vector<ConditionInfo> conditions;
  std::string destinationFeatureClass;
  std::string destinationGeometryType;
  StringList geometryTransforms;
  std::string alias;
  std::optional<AttributeTable> attributePairs;  // absent until a DESTINATION is read
  StringList attributeNames;
};
