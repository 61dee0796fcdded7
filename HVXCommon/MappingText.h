#pragma once
// Text handling shared by the mapping-file readers. Texts are GBK; the bytes these functions look
// for ('$', '(', ')', white space, digits, signs) are all below 0x40 and so can never be the trail
// byte of a double-byte character, which makes byte-wise searching for them safe.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// DOM text (UTF-8) as a GBK string; plain ASCII passes through as it is.
std::string DomTextToGbk(std::string utf8);

// Removes blanks, tabs, line feeds, vertical tabs, form feeds and carriage returns at the start.
void TrimLeadingWhiteSpace(std::string& text);

// How often needle occurs in text, left to right and without overlap.
std::size_t CountOccurrences(std::string_view text, std::string_view needle);

