#pragma once
// Reading the texts that settings, metadata lists and block properties arrive as.
#include <cstdint>
#include <optional>
#include <string>

#include "host/IPropertySet.h"

// The value of a named property as GBK text; nothing when the set is absent, the lookup fails or
// yields no string.
std::optional<std::string> ReadPropertyText(IPropertySet* properties, const char16_t* name);

// The number that a text begins with, read as atol and atof read it (leading blanks and a sign
// allowed, 0 when there is none); integers beyond 32 bits saturate instead of overflowing.
std::int32_t LeadingInt(const std::string& text);
double LeadingReal(const std::string& text);

// A temporary raster's path without its ".tmp" ending (the case matters); other paths as they are.
std::string FinalPathOf(const std::string& temporaryPath);

// A double truncated toward zero into 32 bits: saturated at the ends of the range, 0 for NaN.
std::int32_t TruncateToInt(double value);
