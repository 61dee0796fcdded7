#include "apps/geodem/GbkText.h"

#include "host/CodePage.h"

bool FitsGbk(std::string_view utf8) {
  // Conversions replace what they cannot carry by '?', so a faithful round trip is the test.
  return GbkToUtf8(Utf8ToGbk(utf8)) == utf8;
}

std::string ToWriterText(std::string_view utf8) { return Utf8ToGbk(utf8); }

std::string FromWriterText(std::string_view gbk) { return GbkToUtf8(gbk); }
