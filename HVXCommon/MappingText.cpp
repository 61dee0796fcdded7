#include "HVXCommon/MappingText.h"

#include <cstdlib>
#include <limits>

#include "host/CodePage.h"

std::string DomTextToGbk(std::string utf8) {
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) return Utf8ToGbk(utf8);
  }
  return utf8;
}

void TrimLeadingWhiteSpace(std::string& text) {
  text.erase(0, text.find_first_not_of(" \t\n\v\f\r"));
}

std::int32_t LeadingInteger(std::string_view text) {
  std::string copy(text);  // strtol wants a terminated string
  long value = std::strtol(copy.c_str(), nullptr, 10);
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  if (needle.empty()) return count;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
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
