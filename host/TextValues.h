#pragma once
// Reading the texts that parameters, settings, metadata lists and block properties arrive as. Texts
// are GBK; the bytes searched for here are all below 0x40 or whole tokens starting with such a
// byte, so they can never match inside a double-byte character.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/IPropertySet.h"

// The value of a named property as GBK text; nothing when the set is absent, the lookup fails or
// yields no string.
std::optional<std::string> ReadPropertyText(IPropertySet* properties, const char16_t* name);

// The number that a text begins with, read as atol and atof read it (leading blanks and a sign
// allowed, 0 when there is none). Integers beyond 32 bits saturate instead of overflowing; reals
// are read in the C locale, so that a host with a decimal comma cannot turn "2.5" into 2.
std::int32_t LeadingInt(std::string_view text);
double LeadingReal(std::string_view text);

// The finite number that a whole text holds (blanks around it allowed), read as LeadingReal reads
// it; nothing when the text holds anything else, "nan" and "inf" included.
std::optional<double> WholeReal(std::string_view text);

// A double truncated toward zero into 32 bits: saturated at the ends of the range, 0 for NaN.
std::int32_t TruncateToInt(double value);

// Replaces every occurrence of needle, left to right and without rescanning what was inserted.
void ReplaceAll(std::string& text, std::string_view needle, std::string_view replacement);
