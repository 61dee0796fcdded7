#pragma once
// The system code page is GBK: narrow strings are GBK, wide strings UTF-16, and the operating system
// and GDAL see UTF-8. In GBK a lead byte 0x81-0xFE takes the next byte as its trail, and trail bytes
// 0x40-0x7E include ASCII letters and the backslash; every byte-wise operation here steps over
// double-byte characters so that Chinese text is never cut or case-mapped.
#include <optional>
#include <string>
#include <string_view>

// Conversions. A character that the target cannot represent becomes '?'; a malformed byte sequence
// is carried over as '?' as well, so a conversion never fails.
std::string Utf16ToGbk(std::u16string_view text);
std::string Utf16ToGbk(const char16_t* text);  // null gives ""
// The GBK form of a text; nothing when a character has none (or the text is malformed), where
// Utf16ToGbk would put a '?' that could make two names one.
std::optional<std::string> Utf16ToGbkExact(std::u16string_view text);
std::optional<std::string> Utf16ToGbkExact(const char16_t* text);  // null gives ""
std::u16string GbkToUtf16(std::string_view gbk);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

// True when byte c starts a double-byte GBK character.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// ASCII letters to upper case; double-byte characters pass unchanged.
std::string GbkToUpper(std::string_view gbk);
// Compares ignoring the case of ASCII letters; double-byte characters compare byte for byte.
int GbkCompareNoCase(std::string_view a, std::string_view b);
inline bool GbkEqualsNoCase(std::string_view a, std::string_view b) {
  return GbkCompareNoCase(a, b) == 0;
}
// Position of the first occurrence of needle at a character boundary, or npos.
std::size_t GbkFind(std::string_view hay, std::string_view needle, std::size_t from = 0);
// Position of the last '/' or '\\' that is a character of its own (not a trail byte), or npos.
std::size_t GbkFindLastSeparator(std::string_view path);

// A narrow path as the operating system and GDAL want it: the single place where GBK meets UTF-8.
inline std::string OsPath(std::string_view gbkPath) { return GbkToUtf8(gbkPath); }
