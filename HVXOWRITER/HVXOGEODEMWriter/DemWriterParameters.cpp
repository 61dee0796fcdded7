#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <limits>

#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"
#include "host/TextValues.h"

namespace {

bool IsAnyOf(const std::string& text, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](const char* w) { return GbkEqualsNoCase(text, w); });
}

constexpr std::uint32_t kRefusedValueCode = 0x201a0;

}  // namespace

// A value that would destroy the data (every cell 0 or negated, no-data cells read as sea level)
// is refused rather than read as atof and atol would read it: the field keeps its value and the
// reason is kept for the log line.
void DemWriterParameters::SetNoData(const std::string& text) {
  if (std::optional<double> value = WholeReal(text)) {
    noDataValue = *value;
  } else {
    refusal = FormatGbk("参数 RASTER_NODATA 的值“%s”无效：须为数值", text.c_str());
  }
}

void DemWriterParameters::SetZoom(const std::string& text) {
  std::optional<double> value = WholeReal(text);
  if (value && *value >= 1 && *value <= std::numeric_limits<std::int32_t>::max() &&
      std::trunc(*value) == *value) {
    zoom = static_cast<std::int32_t>(*value);
  } else {
    refusal = FormatGbk("参数 DEM_ZOOM 的值“%s”无效：须为不小于 1 的整数", text.c_str());
  }
}

void DemWriterParameters::LogRefusal(bool logOutput) const {
  if (logOutput && !refusal.empty()) FireGeoLogGbk(refusal, kLogError, kRefusedValueCode);
}

int DemWriterParameters::ReadWriterParameters(const StringList& list) {
  refusal.clear();
  if (list.empty() || list.size() % 2 != 0) return 0;
  // The job opening reports a failure itself; pairs read before an exception keep their effect.
  return GuardWriter(false, kGeodemWriterFile, __LINE__, 0, [&] {
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
    return refusal.empty() ? 1 : 0;
  });
}

HRESULT DemWriterParameters::ReadDatasetParameters(IPropertySet* set, bool logOutput) {
  refusal.clear();
  return GuardWriter(logOutput, kGeodemWriterFile, __LINE__, E_FAIL, [&] {
    if (!set) return S_OK;
    if (auto text = ReadPropertyText(set, u"RASTER_NODATA")) SetNoData(*text);
    if (auto text = ReadPropertyText(set, u"DEM_ZOOM")) SetZoom(*text);
    // Datasets only know the two words; "true" or "1" here leave the switch as the job set it.
    if (auto text = ReadPropertyText(set, u"OVERWRITE")) {
      if (GbkEqualsNoCase(*text, "YES")) {
        overwriteFiles = 1;
      } else if (GbkEqualsNoCase(*text, "NO")) {
        overwriteFiles = 0;
      }
    }
    if (auto text = ReadPropertyText(set, u"VERSION")) version = *text;
    LogRefusal(logOutput);
    return refusal.empty() ? S_OK : E_FAIL;
  });
}
