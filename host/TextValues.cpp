#include "host/TextValues.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "host/CodePage.h"
#include "host/WideString.h"

std::optional<std::string> ReadPropertyText(IPropertySet* properties, const char16_t* name) {
  if (!properties) return std::nullopt;
  BstrHolder value;
  if (properties->GetValue(name, value.Put()) != S_OK || !value) return std::nullopt;
  return Utf16ToGbk(value.Get());
}

std::int32_t LeadingInt(std::string_view text) {
  std::string copy(text);  // strtoll wants a terminated string
  long long v = std::strtoll(copy.c_str(), nullptr, 10);
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

namespace {

// strtod in the C locale.
double ReadReal(const char* text, char** end) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return cLocale ? strtod_l(text, end, cLocale) : std::strtod(text, end);
}

}  // namespace

double LeadingReal(std::string_view text) {
  std::string copy(text);
  return ReadReal(copy.c_str(), nullptr);
}

std::optional<double> WholeReal(std::string_view text) {
  std::string copy(text);
  char* end = nullptr;
  const double value = ReadReal(copy.c_str(), &end);
  if (end == copy.c_str()) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

void ReplaceAll(std::string& text, std::string_view needle, std::string_view replacement) {
  if (needle.empty()) return;
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, from)) {
    out.append(text, from, at - from);
    out.append(replacement);
    from = at + needle.size();
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}
