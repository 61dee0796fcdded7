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

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  if (needle.empty()) return count;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}
