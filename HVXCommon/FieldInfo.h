#pragma once
// One attribute field of a feature class structure.
#include <cstdint>
#include <string>
#include <vector>

struct FieldInfo {
  std::string name;
  std::string type;
  std::int32_t width = 0;
  std::int32_t decimals = 0;
  std::int32_t isNullable = 1;
  std::int32_t isPrimaryKey = 0;
  std::int32_t isDeleted = 0;
};

using FieldList = std::vector<FieldInfo>;
