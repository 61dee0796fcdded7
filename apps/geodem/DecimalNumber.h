#pragma once
// How an option that takes a decimal number (a longitude, a tolerance in metres) reads it.
#include <optional>
#include <string>

class DecimalNumber {
 public:
  // A decimal number and nothing else; none for "", "1e", "nan", "0x10" and trailing words.
  static std::optional<double> Parse(const std::string& text);
};
