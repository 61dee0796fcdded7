#pragma once
// The little JSON geodem speaks: string literals for its reports, and the flat objects of one
// line that the batch journal holds (string, number, true/false/null values; no nesting).
#include <map>
#include <optional>
#include <string>

namespace JsonText {

// `utf8` as a JSON string literal, quotes included.
std::string Quote(const std::string& utf8);

// The shortest text that reads back as the same double.
std::string Number(double value);

// A flat object's members, strings unescaped and other values as written; none for text that
// is not one flat JSON object.
std::optional<std::map<std::string, std::string>> ParseFlatObject(const std::string& text);

}  // namespace JsonText
