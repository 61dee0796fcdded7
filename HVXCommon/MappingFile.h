#pragma once
// The XML job description of a conversion: loaded from `path` by Load, which parses the file,
// checks its root and lets the section readers fill the members below. Strings are GBK.
//
// Every step and reader guards itself: an exception is logged with its file and line and turns
// into the step's failure result, and the walk over the file goes on with the next element. Texts
// are macro-expanded as they are read, with the macros defined up to that point of the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "HVXCommon/AttributePairInfo.h"
#include "HVXCommon/FieldInfo.h"
#include "HVXCommon/MacroCycleFinder.h"
#include "HVXCommon/RuleInfo.h"
#include "HVXCommon/XmlDocument.h"
#include "HVXCommon/XmlNode.h"
#include "HVXCommon/XmlNodeList.h"
#include "host/HVXBaseLib.h"

using StringMap = std::unordered_map<std::string, std::string>;

class MappingFile {
 public:
  MappingFile() = default;
  // Clears the collections, then lets go of the root element and the document.
  ~MappingFile();
  // Copies share the parsed document, which is never changed after the load.
  MappingFile(const MappingFile&) = default;
  MappingFile& operator=(const MappingFile&) = default;
  MappingFile(MappingFile&&) = default;
  MappingFile& operator=(MappingFile&&) = default;

  // 0 when the file was read, parsed, had the right root and its sections were read; else 1.
  // An empty path gives 1 and changes nothing.
  int Load();
  // Empties the collections of the job (not the strings, numbers, sourceDataItems or ruleIds, so
  // that a second load adds its source datasets and rule ids to those of the first).
  void Clear();
  // Expands "$(name)" references in place, after removing leading white space; 0 when nothing is
  // left unresolved (or the text starts with "d$(" and is left for the job's consumer), else 1.
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
  // Held from a successful parse until the next load or teardown; the readers borrow the root.
  std::shared_ptr<XmlDocument> document;
  XmlNode rootElement;

 private:
  // Load's steps: 0 on success, 1 on failure.
  int CreateDocument();
  int ParseDocument();
  int ReadSections();
  void ReadSection(const std::string& name, const XmlNode& element);

  // The base name of element in name; 1 when there is no element or the name has a blank.
  int ReadElementName(XmlNode element, std::string& name);
  // Calls visit(child, name) for each element among children whose name can be read; a visit
  // that returns false ends the walk.
  template <class Visit>
  void ForEachNamedChild(const XmlNodeList& children, Visit&& visit);
  // The text of a node, macro-expanded (the expansion's result is not needed by the callers).
  std::string ExpandedText(const XmlNode& node);

  // Macros and includes.
  int ReadMacro(XmlNode element);
  int ReadDynamicMacro(XmlNode element);
  int ReadMacroDefinition(const XmlNode& element, StringMap& table, StringList& names);
  int ReadInclude(XmlNode element);
  // Logs that the expansion of a macro would not end (a cycle, or a text grown out of bounds).
  void LogEndlessMacro(const std::string& name);

  // Job sections.
  int ReadMappingFileId(XmlNode element);
  int ReadMinimumBuild(XmlNode element);
  int ReadReaderType(XmlNode element);
  int ReadWriterType(XmlNode element);
  int ReadSourceDataCollection(XmlNode element);
  int ReadDestinationDataset(XmlNode element);
  int ReadCoordinateSystem(XmlNode element);
  int ReadMapScale(XmlNode element);

  // Key/value lists, variables and attribute pairs.
  int ReadKeyValueList(XmlNode element, StringList& list);
  int ReadVariable(XmlNode element);
  int ReadAttributePair(XmlNode element, AttributeTable& table, StringList& names);

  // Rules.
  int ReadRule(XmlNode element);
  void ReadRuleSource(const XmlNode& source, RuleInfo& rule);
  ConditionInfo ReadCondition(const XmlNode& condition);
  int ReadRuleDestination(const XmlNode& destination, RuleInfo& rule);
  int IsValidCondition(const ConditionInfo& condition);

  // Attribute structures.
  int ReadAttributeStruct(XmlNode element);
  int ReadAttributeStructSection(const std::string& sectionName, const XmlNodeList& children);
  FieldInfo ReadField(const XmlNode& field);

  MacroCycleFinder macroCycles_;
  // Bytes that macro substitution has added to the texts of the current load.
  std::size_t expansionGrowth_ = 0;
};
