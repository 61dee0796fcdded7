#include "apps/geodem/mapsheet/SheetScale.h"

#include <array>

namespace {
// Each scale halves or divides the one before it; 1:2 000 and larger are left out: the public
// descriptions of how the 2012 edition numbers them do not agree.
constexpr std::array<SheetScale, 8> kScales{{
    {1000000, 0, kMillionWidth, kMillionHeight},  // 6° x 4°
    {500000, 'B', 21600, 14400},                  // 3° x 2°
    {250000, 'C', 10800, 7200},                   // 1°30' x 1°
    {100000, 'D', 3600, 2400},                    // 30' x 20'
    {50000, 'E', 1800, 1200},                     // 15' x 10'
    {25000, 'F', 900, 600},                       // 7'30" x 5'
    {10000, 'G', 450, 300},                       // 3'45" x 2'30"
    {5000, 'H', 225, 150},                        // 1'52.5" x 1'15"
}};
}  // namespace

long SheetScale::columnsPerMillion() const { return kMillionWidth / width; }
long SheetScale::rowsPerMillion() const { return kMillionHeight / height; }

std::string SheetScale::name() const {
  std::string digits = std::to_string(denominator), grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
    grouped += digits[i];
  }
  return "1:" + grouped;
}

std::span<const SheetScale> SheetScale::all() { return kScales; }

std::optional<SheetScale> SheetScale::ofDenominator(long denominator) {
  for (const SheetScale& scale : kScales)
    if (scale.denominator == denominator) return scale;
  return std::nullopt;
}

std::optional<SheetScale> SheetScale::ofLetter(char letter) {
  for (const SheetScale& scale : kScales)
    if (letter != 0 && scale.letter == letter) return scale;
  return std::nullopt;
}

std::string SheetScale::denominatorList() {
  std::string list;
  for (const SheetScale& scale : kScales)
    list += (list.empty() ? "" : ", ") + std::to_string(scale.denominator);
  return list;
}
