#pragma once
// One attribute of a variable or of a rule's destination: its value and default values.
#include <string>
#include <unordered_map>

#include "host/HVXBaseLib.h"

struct AttributePairInfo {
  std::string value;
  StringList defaultValues;
};

// Attribute name (upper case) to its record; the order of the names is kept beside the table.
using AttributeTable = std::unordered_map<std::string, AttributePairInfo>;
