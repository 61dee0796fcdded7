#include "HVXOWRITER/HVXORasterWriterBase/TextValues.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "host/CodePage.h"
#include "host/WideString.h"

std::optional<std::string> ReadPropertyText(IPropertySet* properties, const char16_t* name) {
  if (!properties) return std::nullopt;
  BstrHolder value;
  if (properties->GetValue(name, value.Put()) != S_OK || !value) return std::nullopt;
  return Utf16ToGbk(value.Get());
}

std::int32_t LeadingInt(const std::string& text) {
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

double LeadingReal(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::string FinalPathOf(const std::string& temporaryPath) {
  constexpr std::string_view kTmp = ".tmp";
  if (temporaryPath.size() >= kTmp.size() && temporaryPath.ends_with(kTmp))
    return temporaryPath.substr(0, temporaryPath.size() - kTmp.size());
  return temporaryPath;
}
