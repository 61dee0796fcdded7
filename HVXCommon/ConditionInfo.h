#pragma once
// One attribute condition of a rule's source.
#include <string>

struct ConditionInfo {
  std::string conditionType;
  std::string attributeName;
  std::string operatorName;
  std::string attributeValue;
};
