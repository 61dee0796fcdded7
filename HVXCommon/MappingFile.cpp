#include "HVXCommon/MappingFile.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "HVXCommon/MappingGuard.h"
#include "HVXCommon/MappingText.h"
#include "host/TextValues.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"

namespace {

constexpr std::uint32_t kOpenMappingFileCode = 0x30410;
constexpr std::uint32_t kNoDocumentCode = 0x3049b;
constexpr std::uint32_t kInvalidFileCode = 0x3049c;
constexpr std::uint32_t kNoRootCode = 0x3049d;
constexpr std::uint32_t kWrongRootCode = 0x3049e;
constexpr std::uint32_t kMissingMacroCode = 0x3049f;

// Bounds of macro expansion, for the loops and blow-ups that the cycle check cannot see (a
// reference assembled from pieces of several values, or macros that double their text at every
// level). One expansion may scan its text a few hundred times over before it gives up, and the
// substitutions of one load may add at most this much text, so a hostile file can neither hang
// the reader nor exhaust memory; real mapping files stay far below both.
constexpr std::size_t kExpansionWorkBase = std::size_t{4} << 20;
constexpr std::size_t kExpansionWorkPerByte = 256;
constexpr std::size_t kExpansionPassCost = 256;
constexpr std::size_t kMaxExpansionGrowth = std::size_t{64} << 20;

constexpr const char* kRootName = "HVX_MappingFile";

bool NameIs(const std::string& name, const char* expected) {
  return GbkEqualsNoCase(name, expected);
}

std::string TextOf(const XmlNode& node) { return DomTextToGbk(node.Text()); }

void LogError(const std::string& gbkText, std::uint32_t code) {
  FireGeoLogGbk(gbkText, kLogError, code);
}

}  // namespace

MappingFile::~MappingFile() {
  Clear();
  rootElement.Reset();
  document.reset();
}

// ---------------------------------------------------------------------------------------------
// Loading

int MappingFile::Load() {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    if (path.empty()) return 1;
    Clear();
    if (CreateDocument() != 0) return 1;
    FireGeoLogGbk(FormatGbk("打开映射文件 %s", path.c_str()), kLogInfo, kOpenMappingFileCode);
    if (ParseDocument() != 0) return 1;
    return ReadSections();
  });
}

void MappingFile::Clear() {
  // Emptying the containers cannot throw, so there is nothing to swallow here.
  macros.clear();
  macroNames.clear();
  dynamicMacros.clear();
  dynamicMacroNames.clear();
  readerDirectives.clear();
  writerDirectives.clear();
  readerParameters.clear();
  writerParameters.clear();
  includeFiles.clear();
  variables.clear();
  variableAttributeNames.clear();
  variableClassNames.clear();
  rules.clear();
  sourceAttributeStructs.clear();
  destinationAttributeStructs.clear();
  expansionGrowth_ = 0;
  macroCycles_.Reset();
}

int MappingFile::CreateDocument() {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    document.reset();
    document = XmlDocument::Create();
    if (!document) {
      LogError(FormatGbk("创建XML文档对象失败，可能未安装正确的MSXML组件"), kNoDocumentCode);
      return 1;
    }
    return 0;
  });
}

int MappingFile::ParseDocument() {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    if (!document) return 1;
    if (!document->SetAsync(false) || !document->SetResolveExternals(true) ||
        !document->SetValidateOnParse(true)) {
      throw std::runtime_error("the XML load options were refused");
    }
    if (!document->Load(path)) {
      const XmlParseError& error = document->ParseError();
      std::string detail = "unknown";
      if (error.errorCode != 0) {
        detail = FormatGbk("位于%ld行，%ld列, %s", static_cast<long>(error.line),
                           static_cast<long>(error.linePosition),
                           DomTextToGbk(error.reason).c_str());
      }
      LogError(FormatGbk("映射文件无效 %s", detail.c_str()), kInvalidFileCode);
      return 1;
    }
    rootElement.Reset();
    rootElement = document->DocumentElement();
    if (!rootElement) {
      LogError(FormatGbk("映射文件缺丢根元素"), kNoRootCode);
      return 1;
    }
    if (!NameIs(DomTextToGbk(rootElement.BaseName()), kRootName)) {
      LogError(FormatGbk("映射文件根元素错误，根元素名称必须为HVX_MappingFile"), kWrongRootCode);
      return 1;
    }
    return 0;
  });
}

// ---------------------------------------------------------------------------------------------
// The walk over the top-level elements

int MappingFile::ReadSections() {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    if (!rootElement) return 1;
    const XmlNodeList children = rootElement.ChildNodes();
    for (std::size_t i = 0; i < children.Count(); ++i) {
      XmlNode child = children.Item(i);
      // Only elements are sections: a processing instruction may bear a section's name.
      if (!child || child.NodeType() != kXmlElementNode) continue;
      std::string name;
      if (ReadElementName(child, name) != 0) continue;
      ReadSection(name, child);
    }
    return 0;
  });
}

void MappingFile::ReadSection(const std::string& name, const XmlNode& element) {
  using Reader = int (MappingFile::*)(XmlNode);
  // A section is read by its reader, or (the four lists) into its list; with neither it is a
  // known element that carries nothing for this component.
  struct Section {
    const char* name;
    Reader reader;
    StringList MappingFile::*list;
  };
  static const Section kSections[] = {
      {"MAPPING_FILE_ID", &MappingFile::ReadMappingFileId, nullptr},
      {"HVX_MINIMUM_BUILD", &MappingFile::ReadMinimumBuild, nullptr},
      {"COORDINATE_SYSTEM_DEF", nullptr, nullptr},
      {"UNIT_DEF", nullptr, nullptr},
      {"DATUM_DEF", nullptr, nullptr},
      {"ELLIPSOID_DEF", nullptr, nullptr},
      {"MACRO", &MappingFile::ReadMacro, nullptr},
      {"DEFAULT_MACRO", nullptr, nullptr},
      {"DYNAMIC_MACRO", &MappingFile::ReadDynamicMacro, nullptr},
      {"INCLUDE", &MappingFile::ReadInclude, nullptr},
      {"READER_TYPE", &MappingFile::ReadReaderType, nullptr},
      {"WRITER_TYPE", &MappingFile::ReadWriterType, nullptr},
      {"SOURCE_DATA_COLLECTION", &MappingFile::ReadSourceDataCollection, nullptr},
      {"DESTINATION_DATASET", &MappingFile::ReadDestinationDataset, nullptr},
      {"READER_DIRECTIVE", nullptr, &MappingFile::readerDirectives},
      {"WRITER_DIRECTIVE", nullptr, &MappingFile::writerDirectives},
      {"COORDINATE_SYSTEM", &MappingFile::ReadCoordinateSystem, nullptr},
      {"MAP_SCALE", &MappingFile::ReadMapScale, nullptr},
      {"HVX_DEBUG", nullptr, nullptr},
      {"GUI", nullptr, nullptr},
      {"LOGFILE", nullptr, nullptr},
      {"VARIABLE", &MappingFile::ReadVariable, nullptr},
      {"READER_PARAMETER", nullptr, &MappingFile::readerParameters},
      {"WRITER_PARAMETER", nullptr, &MappingFile::writerParameters},
      {"FACTORY_DEF", nullptr, nullptr},
      {"HVX_RULE", &MappingFile::ReadRule, nullptr},
      {"ATTRIBUTESTRUCT_DEF", &MappingFile::ReadAttributeStruct, nullptr},
  };
  for (const Section& section : kSections) {
    if (!NameIs(name, section.name)) continue;
    if (section.reader != nullptr) {
      (this->*section.reader)(element);
    } else if (section.list != nullptr) {
      ReadKeyValueList(element, this->*section.list);
    }
    return;
  }
}

int MappingFile::ReadElementName(XmlNode element, std::string& name) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    if (!element) return 1;
    name = DomTextToGbk(element.BaseName());
    return name.find(' ') == std::string::npos ? 0 : 1;
  });
}

template <class Visit>
void MappingFile::ForEachNamedChild(const XmlNodeList& children, Visit&& visit) {
  for (std::size_t i = 0; i < children.Count(); ++i) {
    XmlNode child = children.Item(i);
    // Only elements are named parts of the job: white space, comments and processing
    // instructions between them are neither read nor expanded.
    if (!child || child.NodeType() != kXmlElementNode) continue;
    std::string name;
    if (ReadElementName(child, name) != 0) continue;
    if constexpr (std::is_same_v<decltype(visit(child, name)), bool>) {
      if (!visit(child, name)) return;
    } else {
      visit(child, name);
    }
  }
}

std::string MappingFile::ExpandedText(const XmlNode& node) {
  std::string text = TextOf(node);
  ExpandMacros(text);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Macros and includes

int MappingFile::ExpandMacros(std::string& text) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    TrimLeadingWhiteSpace(text);
    // "d$(" texts are resolved by the job's consumer, not here.
    if (text.size() >= 3 && (text[0] == 'd' || text[0] == 'D') && text.compare(1, 2, "$(") == 0) {
      return 0;
    }
    const std::size_t workLimit = kExpansionWorkBase + kExpansionWorkPerByte * text.size();
    std::size_t work = 0;
    for (;;) {
      const std::size_t open = text.find("$(");
      if (open == std::string::npos) return 0;
      const std::size_t close = text.find(')', open + 2);
      if (close == std::string::npos) return 1;
      const std::string reference = text.substr(open, close - open + 1);
      const std::string name = reference.substr(2, reference.size() - 3);
      std::string value;
      if (LookupMacro(name, value) != 0) return 1;
      work += text.size() + kExpansionPassCost;
      const std::size_t growth =
          value.size() > reference.size()
              ? CountOccurrences(text, reference) * (value.size() - reference.size())
              : 0;
      if (work > workLimit || growth > kMaxExpansionGrowth - expansionGrowth_ ||
          macroCycles_.IsCyclic(macros, name)) {
        LogEndlessMacro(name);
        return 1;
      }
      expansionGrowth_ += growth;
      ReplaceAll(text, reference, value);
    }
  });
}

int MappingFile::LookupMacro(const std::string& name, std::string& value) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    auto found = macros.find(name);
    if (found == macros.end()) {
      LogError(FormatGbk("映射文件中找不到宏定义：%s", name.c_str()), kMissingMacroCode);
      return 1;
    }
    value = found->second;
    return 0;
  });
}

void MappingFile::LogEndlessMacro(const std::string& name) {
  LogError(FormatGbk("映射文件中宏定义循环引用或展开过大：%s", name.c_str()), kMissingMacroCode);
}

int MappingFile::ReadMacro(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1,
                      [&] { return ReadMacroDefinition(element, macros, macroNames); });
}

int MappingFile::ReadDynamicMacro(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    return ReadMacroDefinition(element, dynamicMacros, dynamicMacroNames);
  });
}

int MappingFile::ReadMacroDefinition(const XmlNode& element, StringMap& table, StringList& names) {
  std::optional<std::string> key = element.Attribute("Key");
  if (!key) return 1;
  std::optional<std::string> value = element.Attribute("Value");
  if (!value) return 1;
  std::string name = DomTextToGbk(std::move(*key));
  if (table.count(name) != 0) return 0;  // the first definition of a name stays
  table.emplace(name, DomTextToGbk(std::move(*value)));
  names.push_back(std::move(name));
  return 0;
}

int MappingFile::ReadInclude(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    std::string text = TextOf(element);
    // A file name that cannot be resolved is a failure of the reader, reported as one.
    if (ExpandMacros(text) != 0) throw std::runtime_error("unresolved macro in an include");
    includeFiles.push_back(std::move(text));
    return 0;
  });
}

// ---------------------------------------------------------------------------------------------
// Job sections

int MappingFile::ReadMappingFileId(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    mappingFileId = TextOf(element);
    return 0;
  });
}

int MappingFile::ReadMinimumBuild(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    minimumBuild = LeadingInt(TextOf(element));
    return 0;
  });
}

int MappingFile::ReadReaderType(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    readerType = TextOf(element);
    return 0;
  });
}

int MappingFile::ReadWriterType(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    writerType = TextOf(element);
    return 0;
  });
}

int MappingFile::ReadSourceDataCollection(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& item, const std::string& itemName) {
      if (!NameIs(itemName, "SOURCE_DATA_ITEM")) return;
      ForEachNamedChild(item.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
        if (NameIs(name, "SOURCE_DATASET")) sourceDataItems.push_back(ExpandedText(child));
      });
    });
    return 0;
  });
}

int MappingFile::ReadDestinationDataset(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    destinationDataset = TextOf(element);
    return ExpandMacros(destinationDataset);
  });
}

int MappingFile::ReadCoordinateSystem(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
      std::string text = ExpandedText(child);
      if (NameIs(name, "SOURCE")) {
        sourceCoordinateSystem = std::move(text);
      } else if (NameIs(name, "DESTINATION")) {
        destinationCoordinateSystem = std::move(text);
      }
    });
    return 0;
  });
}

int MappingFile::ReadMapScale(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    std::string text = TextOf(element);
    ExpandMacros(text);
    mapScale = LeadingInt(text);
    return 0;
  });
}

// ---------------------------------------------------------------------------------------------
// Key/value lists, variables and attribute pairs

int MappingFile::ReadKeyValueList(XmlNode element, StringList& list) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& pair, const std::string& pairName) {
      if (!NameIs(pairName, "KeyValuePair")) return;
      ForEachNamedChild(pair.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
        // Expanded before the name is looked at, so an undefined macro is reported anywhere.
        std::string text = ExpandedText(child);
        if (NameIs(name, "Key") || NameIs(name, "Value")) list.push_back(std::move(text));
      });
    });
    return 0;
  });
}

int MappingFile::ReadVariable(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    AttributeTable table;
    StringList names;
    std::string className;
    bool abandoned = false;
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
      std::string text = ExpandedText(child);
      if (NameIs(name, "FeatureClassName")) {
        className = GbkToUpper(text);
      } else if (NameIs(name, "AttributePair") && ReadAttributePair(child, table, names) != 0) {
        abandoned = true;
        return false;
      }
      return true;
    });
    if (abandoned) return 1;
    if (variables.count(className) != 0) return 0;  // the first VARIABLE of a class stays
    variables.emplace(className, std::move(table));
    variableAttributeNames.emplace(className, std::move(names));
    variableClassNames.push_back(std::move(className));
    return 0;
  });
}

int MappingFile::ReadAttributePair(XmlNode element, AttributeTable& table, StringList& names) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    AttributePairInfo pair;
    std::string attributeName;
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
      std::string text = ExpandedText(child);
      if (NameIs(name, "AttributeName")) {
        attributeName = GbkToUpper(text);
      } else if (NameIs(name, "AttributeValue")) {
        pair.value = std::move(text);
      } else if (NameIs(name, "DefaultValue")) {
        pair.defaultValues.push_back(std::move(text));
      }
    });
    if (table.count(attributeName) == 0) {  // the first pair of a name stays
      table.emplace(attributeName, std::move(pair));
      names.push_back(std::move(attributeName));
    }
    return 0;
  });
}

// ---------------------------------------------------------------------------------------------
// Rules

int MappingFile::ReadRule(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    std::optional<std::string> id = element.Attribute("RuleID");
    if (!id) return 1;
    RuleInfo rule;
    bool abandoned = false;
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
      if (NameIs(name, "SOURCE")) {
        ReadRuleSource(child, rule);
      } else if (NameIs(name, "DESTINATION") && ReadRuleDestination(child, rule) != 0) {
        abandoned = true;
        return false;
      }
      return true;
    });
    if (abandoned) return 1;
    std::string ruleId = DomTextToGbk(std::move(*id));
    rules.insert_or_assign(ruleId, std::move(rule));  // a later rule of the same id replaces it
    ruleIds.push_back(std::move(ruleId));
    return 0;
  });
}

void MappingFile::ReadRuleSource(const XmlNode& source, RuleInfo& rule) {
  ForEachNamedChild(source.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
    std::string text = ExpandedText(child);
    if (NameIs(name, "FeatureClassName")) {
      rule.sourceFeatureClass = std::move(text);
    } else if (NameIs(name, "GeometryType")) {
      rule.sourceGeometryType = std::move(text);
    } else if (NameIs(name, "Condition")) {
      ConditionInfo condition = ReadCondition(child);
      if (IsValidCondition(condition) == 1) rule.conditions.push_back(std::move(condition));
    }
  });
}

ConditionInfo MappingFile::ReadCondition(const XmlNode& condition) {
  ConditionInfo info;
  ForEachNamedChild(condition.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
    std::string text = ExpandedText(child);
    if (NameIs(name, "ConditionType")) {
      info.conditionType = std::move(text);
    } else if (NameIs(name, "AttributeName")) {
      info.attributeName = std::move(text);
    } else if (NameIs(name, "Operator")) {
      info.operatorName = std::move(text);
    } else if (NameIs(name, "AttributeValue")) {
      info.attributeValue = std::move(text);
    }
  });
  return info;
}

int MappingFile::ReadRuleDestination(const XmlNode& destination, RuleInfo& rule) {
  // Each DESTINATION starts the attributes afresh; the name list goes with the table it lists.
  rule.attributePairs.emplace();
  rule.attributeNames.clear();
  int result = 0;
  ForEachNamedChild(destination.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
    std::string text = ExpandedText(child);
    if (NameIs(name, "FeatureClassName")) {
      rule.destinationFeatureClass = std::move(text);
    } else if (NameIs(name, "Alias")) {
      rule.alias = std::move(text);
    } else if (NameIs(name, "GeometryType")) {
      rule.destinationGeometryType = std::move(text);
    } else if (NameIs(name, "GeometryTransform")) {
      rule.geometryTransforms.push_back(std::move(text));
    } else if (NameIs(name, "AttributePair") &&
               ReadAttributePair(child, *rule.attributePairs, rule.attributeNames) != 0) {
      result = 1;
      return false;
    }
    return true;
  });
  return result;
}

int MappingFile::IsValidCondition(const ConditionInfo& condition) {
  static const char* const kConditionTypes[] = {"HVX_WHERE", "HVX_AND", "HVX_OR"};
  static const char* const kOperators[] = {"EQ", "LT", "GT", "LE", "GE", "NE"};
  auto isOneOf = [](const std::string& text, const auto& keywords) {
    return std::any_of(std::begin(keywords), std::end(keywords),
                       [&](const char* keyword) { return NameIs(text, keyword); });
  };
  // Either keyword makes the condition worth keeping.
  return isOneOf(condition.conditionType, kConditionTypes) ||
                 isOneOf(condition.operatorName, kOperators)
             ? 1
             : 0;
}

// ---------------------------------------------------------------------------------------------
// Attribute structures

int MappingFile::ReadAttributeStruct(XmlNode element) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    ForEachNamedChild(element.ChildNodes(), [&](const XmlNode& section, const std::string& name) {
      ReadAttributeStructSection(name, section.ChildNodes());
    });
    return 0;
  });
}

int MappingFile::ReadAttributeStructSection(const std::string& sectionName,
                                            const XmlNodeList& children) {
  return GuardMapping(kMappingFileFile, __LINE__, 1, [&] {
    FieldList fields;
    std::string className;
    ForEachNamedChild(children, [&](const XmlNode& child, const std::string& name) {
      std::string text = ExpandedText(child);
      if (NameIs(name, "FeatureClassName")) {
        className = GbkToUpper(text);
      } else if (NameIs(name, "Field")) {
        fields.push_back(ReadField(child));
      }
    });
    std::unordered_map<std::string, FieldList>* structs = nullptr;
    if (NameIs(sectionName, "SOURCE")) {
      structs = &sourceAttributeStructs;
    } else if (NameIs(sectionName, "DESTINATION")) {
      structs = &destinationAttributeStructs;
    }
    if (structs != nullptr) structs->try_emplace(className, std::move(fields));  // first one stays
    return 0;
  });
}

FieldInfo MappingFile::ReadField(const XmlNode& field) {
  FieldInfo info;
  auto isAnyOf = [](const std::string& text, const char* digit, const char* word) {
    return text == digit || NameIs(text, word);
  };
  ForEachNamedChild(field.ChildNodes(), [&](const XmlNode& child, const std::string& name) {
    std::string text = ExpandedText(child);
    if (NameIs(name, "Name")) {
      info.name = std::move(text);
    } else if (NameIs(name, "Type")) {
      info.type = std::move(text);
    } else if (NameIs(name, "Width")) {
      info.width = LeadingInt(text);
    } else if (NameIs(name, "Decimals")) {
      info.decimals = LeadingInt(text);
    } else if (NameIs(name, "IsNullable")) {
      if (isAnyOf(text, "0", "false")) info.isNullable = 0;
    } else if (NameIs(name, "PrimaryKey")) {
      if (isAnyOf(text, "1", "true")) info.isPrimaryKey = 1;
    } else if (NameIs(name, "Delete")) {
      if (isAnyOf(text, "1", "true")) info.isDeleted = 1;
    }
  });
  return info;
}
