#pragma once
// The XML job description of a conversion: loaded from `path` by Load, which parses the file,
// checks its root and lets the section readers fill the members below. Strings are GBK.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "HVXCommon/AttributePairInfo.h"
#include "HVXCommon/FieldInfo.h"
#include "HVXCommon/RuleInfo.h"
#include "host/HVXBaseLib.h"

using StringMap = std::unordered_map<std::string, std::string>;

class MappingFile {
 public:
  // 0 when the file was read, parsed, had the right root and its sections were read; else 1.
  int Load();
  // Empties the collections of the job (not the strings, numbers, sourceDataItems or ruleIds).
  void Clear();
  // Expands "$(name)" references in place; 0 when nothing is left unresolved, else 1.
  int ExpandMacros(std::string& text);
  // 0 and value when name is a macro; 1 (and the missing-macro line) otherwise.
  int LookupMacro(const std::string& name, std::string& value);

  std::string path;
  std::string mappingFileId;
  std::int32_t minimumBuild = 100;
  StringMap macros;
  StringList macroNames;
  StringMap dynamicMacros;
  StringList dynamicMacroNames;
  StringList includeFiles;
  std::string readerType;
  std::string writerType;
  StringList sourceDataItems;
  std::string destinationDataset;
  StringList readerDirectives;
  StringList writerDirectives;
  std::string sourceCoordinateSystem;
  std::string destinationCoordinateSystem;
  std::int32_t mapScale = 1;
  std::unordered_map<std::string, AttributeTable> variables;
  std::unordered_map<std::string, StringList> variableAttributeNames;
  StringList variableClassNames;
  StringList readerParameters;
  StringList writerParameters;
  std::unordered_map<std::string, RuleInfo> rules;
  StringList ruleIds;
  std::unordered_map<std::string, FieldList> sourceAttributeStructs;
  std::unordered_map<std::string, FieldList> destinationAttributeStructs;
};
