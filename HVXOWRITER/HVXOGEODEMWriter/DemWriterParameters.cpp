#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <limits>

#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/WideString.h"

namespace {

// atof as in the C locale: the longest numeric prefix, 0 when there is none. A host that sets a
// locale with a decimal comma must not turn "2.5" into 2.
double ParseDouble(const std::string& text) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return cLocale ? strtod_l(text.c_str(), nullptr, cLocale) : std::strtod(text.c_str(), nullptr);
}

// atol of a platform whose long has 32 bits: the leading integer, 0 when there is none, held to
// the range (as strtol does) rather than wrapped.
std::int32_t ParseInt32(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  value = std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(value);
}

bool IsAnyOf(const std::string& text, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](const char* w) { return GbkEqualsNoCase(text, w); });
}

// The dataset's text for a key, or false when the set does not hold it.
bool LookUp(IPropertySet* set, const char16_t* key, std::string& text) {
  BstrHolder value;
  if (set->GetValue(key, value.Put()) != S_OK || !value) return false;
  text = Utf16ToGbk(value.Get());
  return true;
}

}  // namespace

void DemWriterParameters::SetNoData(const std::string& text) { noDataValue = ParseDouble(text); }

void DemWriterParameters::SetZoom(const std::string& text) { zoom = ParseInt32(text); }

int DemWriterParameters::ReadWriterParameters(const StringList& list) {
  if (list.empty() || list.size() % 2 != 0) return 0;
  // The job opening reports a failure itself; pairs read before an exception keep their effect.
  return GuardWriter(false, __FILE__, __LINE__, 0, [&] {
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
      const std::string& name = list[i];
      const std::string& value = list[i + 1];
      if (GbkEqualsNoCase(name, "OVERWRITE")) {
        if (IsAnyOf(value, {"YES", "true", "1"})) {
          overwriteFiles = 1;
        } else if (IsAnyOf(value, {"NO", "false", "0"})) {
          overwriteFiles = 0;
        }
      } else if (GbkEqualsNoCase(name, "RASTER_NODATA")) {
        SetNoData(value);
      } else if (GbkEqualsNoCase(name, "DEM_ZOOM")) {
        SetZoom(value);
      } else if (GbkEqualsNoCase(name, "VERSION")) {
        version = value;
      }
    }
    return 1;
  });
}

HRESULT DemWriterParameters::ReadDatasetParameters(IPropertySet* set, bool logOutput) {
  return GuardWriter(logOutput, __FILE__, __LINE__, E_FAIL, [&] {
    if (!set) return S_OK;
    std::string text;
    if (LookUp(set, u"RASTER_NODATA", text)) SetNoData(text);
    if (LookUp(set, u"DEM_ZOOM", text)) SetZoom(text);
    // Datasets only know the two words; "true" or "1" here leave the switch as the job set it.
    if (LookUp(set, u"OVERWRITE", text)) {
      if (GbkEqualsNoCase(text, "YES")) {
        overwriteFiles = 1;
      } else if (GbkEqualsNoCase(text, "NO")) {
        overwriteFiles = 0;
      }
    }
    if (LookUp(set, u"VERSION", text)) version = text;
    return S_OK;
  });
}
