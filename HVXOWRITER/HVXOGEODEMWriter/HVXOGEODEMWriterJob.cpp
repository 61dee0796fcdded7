#include <algorithm>
#include <unordered_set>

#include "HVXCommon/MappingText.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/ComPtr.h"
#include "host/ComRuntime.h"
#include "host/GeoEvents.h"
#include "host/IPropertySet.h"
#include "host/TextValues.h"

namespace {

constexpr std::uint32_t kDestinationTooLongCode = 0x20199;

// A destination name is a file name. Attribute values may bring in further tokens, so a few
// attributes can multiply a name without end; past this length it could never name a file.
constexpr std::size_t kMaxDestinationNameBytes = std::size_t{64} << 10;

// Whether replacing every token in name by value keeps the name within the bound.
bool ReplacementFits(const std::string& name, const std::string& token, const std::string& value) {
  if (value.size() <= token.size()) return true;
  const std::size_t count = CountOccurrences(name, token);
  const std::size_t room = kMaxDestinationNameBytes - std::min(name.size(), kMaxDestinationNameBytes);
  return count <= room / (value.size() - token.size());
}

}  // namespace

HRESULT HVXOGEODEMWriter::OpenJob(const char16_t* mappingFilePath) {
  if (!mappingFilePath) return 1;
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    jobPath = Utf16ToGbk(mappingFilePath);
    mappingFile.path = jobPath;
    if (mappingFile.Load() != 0) return E_FAIL;  // the loader has said why
    if (!BuildDestinationNames()) return E_FAIL;
    const int read = demParameters.ReadWriterParameters(mappingFile.writerParameters);
    if (read == 0 && demParameters.refusal.empty()) return 1;
    const HRESULT applied = ApplyWriterDirectives();
    // A refused value is said under this job's own log switch, which the directives set.
    if (read == 0) {
      demParameters.LogRefusal(LogOn());
      return 1;
    }
    return applied;
  });
}

// Source feature class (upper case) to destination file name, with each "%NAME" of the rule's
// destination attributes replaced by the attribute's value. Rules are visited in document order,
// so of two rules for one class the later one wins; "*" destinations make no entry. False (logged)
// when a name outgrows any file name; the names before it stay.
bool HVXOGEODEMWriter::BuildDestinationNames() {
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
        if (pair == info.attributePairs->end()) continue;
        const std::string token = "%" + attribute;
        if (!ReplacementFits(name, token, pair->second.value)) {
          if (LogOn())
            FireGeoLogGbk(FormatGbk("转换规则 %s 的目标名称过长", id.c_str()), kLogError,
                          kDestinationTooLongCode);
          return false;
        }
        ReplaceAll(name, token, pair->second.value);
      }
    }
    if (name != "*") destinationNames[GbkToUpper(info.sourceFeatureClass)] = name;
  }
  return true;
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
