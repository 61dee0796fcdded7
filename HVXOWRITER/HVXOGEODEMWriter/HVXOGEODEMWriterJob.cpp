#include <unordered_set>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/IPropertySet.h"
#include "host/TextValues.h"

HRESULT HVXOGEODEMWriter::OpenJob(const char16_t* mappingFilePath) {
  if (!mappingFilePath) return 1;
  return GuardWriter(LogOn(), __FILE__, __LINE__, E_FAIL, [&]() -> HRESULT {
    jobPath = Utf16ToGbk(mappingFilePath);
    mappingFile.path = jobPath;
    if (mappingFile.Load() != 0) return E_FAIL;  // the loader has said why
    BuildDestinationNames();
    if (demParameters.ReadWriterParameters(mappingFile.writerParameters) == 0) return 1;
    return ApplyWriterDirectives();
  });
}

// Source feature class (upper case) to destination file name, with each "%NAME" of the rule's
// destination attributes replaced by the attribute's value. Rules are visited in document order,
// so of two rules for one class the later one wins; "*" destinations make no entry.
void HVXOGEODEMWriter::BuildDestinationNames() {
  destinationNames.clear();
  std::unordered_set<std::string> visited;
  for (const std::string& id : mappingFile.ruleIds) {
    auto rule = mappingFile.rules.find(id);
    if (rule == mappingFile.rules.end() || !visited.insert(id).second) continue;
    const RuleInfo& info = rule->second;
    std::string name = info.destinationFeatureClass;
    if (info.attributePairs) {
      for (const std::string& attribute : info.attributeNames) {
        auto pair = info.attributePairs->find(attribute);
        if (pair != info.attributePairs->end()) ReplaceAll(name, "%" + attribute, pair->second.value);
      }
    }
    if (name != "*") destinationNames[GbkToUpper(info.sourceFeatureClass)] = name;
  }
}

// The writer directives, as a property set, become the raster settings. 0 applied or nothing to
// apply; 1 an odd list or settings refused; E_FAIL when no property set can be made.
HRESULT HVXOGEODEMWriter::ApplyWriterDirectives() {
  const StringList& directives = mappingFile.writerDirectives;
  if (directives.empty()) return 0;
  if (directives.size() % 2 != 0) return 1;
  ComPtr<IPropertySet> set;
  if (FAILED(CoCreateInstance(CLSID_PropertySet, nullptr, CLSCTX_INPROC_SERVER, IPropertySet::iid,
                              set.PutVoid())) ||
      !set)
    return E_FAIL;
  for (const std::string& item : directives) set->AddItem(GbkToUtf16(item).c_str());
  return SetParameters(set.Get()) != 0 ? 1 : 0;
}
