#include "apps/geodem/mapsheet/SheetNumber.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "messages/MessageText.h"

namespace {

constexpr double kMaxLongitude = 180, kMaxLatitude = 60;
constexpr long kMillionRows = 15;      // A-O: up to 60° N
constexpr long kFirstEastColumn = 31;  // the 1:1 000 000 column that starts at 0° E

// Degrees as half arc-seconds, with values a rounding error away from a whole unit put on it.
double HalfSeconds(double degrees) {
  double units = degrees * kHalfSecondsPerDegree;
  double whole = std::nearbyint(units);
  return std::fabs(units - whole) <= 1e-6 ? whole : units;
}

std::string Degrees(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Whether the point is in the grid; `onFarEdge` admits the grid's eastern and northern limits,
// which an area may reach but a point of a sheet may not.
bool InGrid(double longitude, double latitude, bool onFarEdge, std::string& error) {
  if (!std::isfinite(longitude) || !std::isfinite(latitude)) {
    error = MessageText::Tr("the coordinates must be finite numbers");
    return false;
  }
  double east = HalfSeconds(longitude), north = HalfSeconds(latitude);
  double eastLimit = kMaxLongitude * kHalfSecondsPerDegree;
  double northLimit = kMaxLatitude * kHalfSecondsPerDegree;
  bool inside = east >= 0 && north >= 0 &&
                (onFarEdge ? east <= eastLimit && north <= northLimit
                           : east < eastLimit && north < northLimit);
  if (!inside) {
    error = MessageText::Tr("longitude %s, latitude %s is outside the sheet grid, which covers 0 "
                            "to 180 degrees east and 0 to 60 degrees north (where sheets are not "
                            "merged)",
                            Degrees(longitude).c_str(), Degrees(latitude).c_str());
    return false;
  }
  return true;
}

// The digits of `text` from `at` on, `count` of them, as a number; -1 when any is not a digit.
long Digits(const std::string& text, std::size_t at, std::size_t count) {
  long value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<SheetNumber> SheetNumber::Containing(double longitude, double latitude,
                                                   const SheetScale& scale, std::string& error) {
  if (!InGrid(longitude, latitude, false, error)) return std::nullopt;
  long east = static_cast<long>(std::floor(HalfSeconds(longitude) / scale.width));
  long north = static_cast<long>(std::floor(HalfSeconds(latitude) / scale.height));
  return SheetNumber(scale, east, north);
}

std::optional<SheetNumber> SheetNumber::Parse(const std::string& text, std::string& error) {
  auto refuse = [&](const std::string& why) {
    error = MessageText::Tr("'%s' is not a sheet number: %s", text.c_str(), why.c_str());
    return std::nullopt;
  };
  if (text.size() != 3 && text.size() != 10)
    return refuse(
        MessageText::Tr("a number has 3 characters at 1:1 000 000 (J50) or 10 (J50E001010)"));
  char rowLetter = text[0];
  if (rowLetter < 'A' || rowLetter > 'Z')
    return refuse(MessageText::Tr(
        "it starts with the row letter of the 1:1 000 000 sheet, A to O, in capitals"));
  if (rowLetter - 'A' >= kMillionRows)
    return refuse(MessageText::Tr(
        "row %c lies north of 60 degrees, where sheets are merged; the grid covers rows A to O",
        rowLetter));
  long millionColumn = Digits(text, 1, 2);
  if (millionColumn < 0)
    return refuse(MessageText::Tr("the row letter is followed by the column, two digits"));
  if (millionColumn < kFirstEastColumn || millionColumn > 60)
    return refuse(MessageText::Tr(
        "column %s is not in the eastern hemisphere; the grid covers columns 31 to 60",
        text.substr(1, 2).c_str()));
  long millionEast = millionColumn - kFirstEastColumn, millionNorth = rowLetter - 'A';
  const SheetScale& million = SheetScale::all().front();
  if (text.size() == 3) return SheetNumber(million, millionEast, millionNorth);

  std::optional<SheetScale> scale = SheetScale::ofLetter(text[3]);
  if (!scale)
    return refuse(MessageText::Tr(
        "the scale letter '%c' is none of B (1:500 000), C, D, E, F, G, H (1:5 000)", text[3]));
  long row = Digits(text, 4, 3), column = Digits(text, 7, 3);
  if (row < 0 || column < 0)
    return refuse(MessageText::Tr("the row and the column are three digits each"));
  long rows = scale->rowsPerMillion(), columns = scale->columnsPerMillion();
  if (row < 1 || row > rows || column < 1 || column > columns)
    return refuse(MessageText::Tr("at %s a 1:1 000 000 sheet has rows and columns 001 to %03ld",
                                  scale->name().c_str(), rows));
  return SheetNumber(*scale, millionEast * columns + column - 1, millionNorth * rows + rows - row);
}

std::optional<std::vector<SheetNumber>> SheetNumber::Covering(const SheetExtent& area,
                                                              const SheetScale& scale,
                                                              std::string& error) {
  if (!(area.west < area.east && area.south < area.north)) {
    error = MessageText::Tr("the area is empty");
    return std::nullopt;
  }
  if (!InGrid(area.west, area.south, false, error) || !InGrid(area.east, area.north, true, error))
    return std::nullopt;
  long west = static_cast<long>(std::floor(HalfSeconds(area.west) / scale.width));
  long east = static_cast<long>(std::ceil(HalfSeconds(area.east) / scale.width));
  long south = static_cast<long>(std::floor(HalfSeconds(area.south) / scale.height));
  long north = static_cast<long>(std::ceil(HalfSeconds(area.north) / scale.height));
  std::vector<SheetNumber> sheets;
  for (long y = north - 1; y >= south; --y)
    for (long x = west; x < east; ++x) sheets.push_back(SheetNumber(scale, x, y));
  return sheets;
}

std::optional<SheetExtent> SheetNumber::WithinGrid(const SheetExtent& area) {
  const SheetExtent part{std::max(area.west, 0.0), std::max(area.south, 0.0),
                         std::min(area.east, kMaxLongitude), std::min(area.north, kMaxLatitude)};
  if (!(part.west < part.east && part.south < part.north)) return std::nullopt;
  return part;
}

char SheetNumber::millionRow() const {
  return static_cast<char>('A' + north_ / scale_.rowsPerMillion());
}

long SheetNumber::millionColumn() const {
  return kFirstEastColumn + east_ / scale_.columnsPerMillion();
}

long SheetNumber::row() const {
  if (scale_.isMillion()) return 0;
  return scale_.rowsPerMillion() - north_ % scale_.rowsPerMillion();
}

long SheetNumber::column() const {
  if (scale_.isMillion()) return 0;
  return east_ % scale_.columnsPerMillion() + 1;
}

std::string SheetNumber::text() const {
  char number[16];
  if (scale_.isMillion())
    std::snprintf(number, sizeof number, "%c%02ld", millionRow(), millionColumn());
  else
    std::snprintf(number, sizeof number, "%c%02ld%c%03ld%03ld", millionRow(), millionColumn(),
                  scale_.letter, row(), column());
  return number;
}

SheetExtent SheetNumber::extent() const {
  auto degrees = [](long halfSeconds) {
    return static_cast<double>(halfSeconds) / kHalfSecondsPerDegree;
  };
  return {degrees(east_ * scale_.width), degrees(north_ * scale_.height),
          degrees((east_ + 1) * scale_.width), degrees((north_ + 1) * scale_.height)};
}
