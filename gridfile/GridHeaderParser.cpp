#include "gridfile/GridHeaderParser.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

#include "gridfile/AsciiText.h"
#include "messages/MessageText.h"

namespace {

using ascii_text::ContainsNoCase;
using ascii_text::EqualsNoCase;
using ascii_text::IsSpace;
using ascii_text::StartsWithNoCase;
using ascii_text::Trim;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The positional layout's lines, under the keys the keyed layouts give them.
constexpr const char* kPositionalKeys[] = {"DataMark", "Version", "Unit", "Alpha",
                                           "Compress", "X0",      "Y0",   "DX",
                                           "DY",       "Row",     "Col",  "Hzoom"};

// Where the first line begins: after a byte order mark and any blank lines.
std::size_t FirstLine(std::string_view head) {
  std::size_t at = head.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  while (at < head.size() && IsSpace(head[at])) ++at;
  return at;
}

std::string_view LineAt(std::string_view head, std::size_t at) {
  std::size_t end = head.find_first_of("\r\n", at);
  return head.substr(at, end == std::string_view::npos ? head.size() - at : end - at);
}

bool IsPositionalMark(std::string_view line) {
  return StartsWithNoCase(line, "NSDTF-DEM") && (line.size() == 9 || IsSpace(line[9]));
}

bool IsKeyedMark(std::string_view line) {
  if (!StartsWithNoCase(line, "DataMark")) return false;
  std::string_view rest = Trim(line.substr(8));
  return rest.starts_with(':') && ContainsNoCase(rest, "NSDTF-DEM");
}

bool StartsNumber(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+'; }

// The whole text as a number; a leading '+' is allowed, as other writers put one.
template <class Number>
bool ParseNumber(std::string_view text, Number& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool GridHeaderParser::IsNoDataKey(std::string_view key) {
  std::string plain;
  for (char c : key) {
    if (c != '_' && c != ' ') plain += c;
  }
  return EqualsNoCase(plain, "NoData") || EqualsNoCase(plain, "NoDataValue");
}

bool GridHeaderParser::Identify(std::string_view head) {
  std::string_view line = LineAt(head, FirstLine(head));
  return IsPositionalMark(line) || IsKeyedMark(line);
}

bool GridHeaderParser::Parse(std::string_view head, bool atEnd, GridHeader& header,
                             std::size_t& dataOffset) {
  m_error.clear();
  header = GridHeader{};
  const std::size_t first = FirstLine(head);
  std::string_view line = LineAt(head, first);
  m_positional = IsPositionalMark(line);
  if (!m_positional && !IsKeyedMark(line)) {
    return Fail(MessageText::Tr(
        "not a CNSDTF-DEM grid: it begins neither with \"DataMark: CNSDTF-DEM\" nor with "
        "\"NSDTF-DEM\""));
  }
  bool read = m_positional ? ReadPositionalValues(head, first, atEnd, header.entries, dataOffset)
                           : ReadKeyedLines(head, first, atEnd, header.entries, dataOffset);
  return read && Interpret(header);
}

// Lines "Key: value" up to the first empty line, or up to the first line of numbers when a writer
// leaves out the empty line.
bool GridHeaderParser::ReadKeyedLines(std::string_view head, std::size_t at, bool atEnd,
                                      Entries& entries, std::size_t& dataOffset) {
  for (int number = 1; at < head.size(); ++number) {
    std::size_t end = head.find_first_of("\r\n", at);
    if (end == std::string_view::npos) {
      if (!atEnd) break;
      end = head.size();
    }
    std::string_view line = Trim(head.substr(at, end - at));
    // "\r\r\n" too: a line end written twice over by text-mode output.
    std::size_t next = end;
    while (next < head.size() && head[next] == '\r') ++next;
    if (next < head.size() && head[next] == '\n') ++next;
    if (line.empty()) {
      dataOffset = next;
      return true;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      if (!StartsNumber(line.front())) {
        return Fail(MessageText::Tr("header line %s, \"%s\", is not \"Key: value\"",
                                    std::to_string(number).c_str(), std::string(line).c_str()));
      }
      dataOffset = at;
      return true;
    }
    entries.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    at = next;
  }
  if (atEnd) {
    dataOffset = head.size();
    return true;
  }
  return Fail(MessageText::Tr("the header does not end within the first %s bytes",
                              std::to_string(head.size()).c_str()));
}

// Twelve values separated by white space, whatever the line breaks.
bool GridHeaderParser::ReadPositionalValues(std::string_view head, std::size_t at, bool atEnd,
                                            Entries& entries, std::size_t& dataOffset) {
  for (const char* key : kPositionalKeys) {
    while (at < head.size() && IsSpace(head[at])) ++at;
    std::size_t end = at;
    while (end < head.size() && !IsSpace(head[end])) ++end;
    if (end == head.size() && !atEnd) {
      return Fail(MessageText::Tr("the header does not end within the first %s bytes",
                                  std::to_string(head.size()).c_str()));
    }
    if (end == at) break;  // the file ends here; Interpret names what is missing
    entries.emplace_back(key, head.substr(at, end - at));
    at = end;
  }
  dataOffset = at;
  return true;
}

bool GridHeaderParser::Interpret(GridHeader& header) {
  if (!Coordinate(header, "X0", header.x0, false) || !Coordinate(header, "Y0", header.y0, false) ||
      !Coordinate(header, "DX", header.dx, true) || !Coordinate(header, "DY", header.dy, true) ||
      !Count(header, "Row", header.rows) || !Count(header, "Col", header.cols) || !Zoom(header)) {
    return false;
  }
  header.warnings.clear();
  for (auto [key, value] : {std::pair{"DX", header.dx}, std::pair{"DY", header.dy}}) {
    if (value < 0) {
      header.warnings.push_back(MessageText::Tr(
          "the header's %s is %s; its magnitude is taken, the grid is read north-up", key,
          header.Value(key)->c_str()));
    }
  }
  if (header.zoom <= 0) {
    const std::string zoom = std::to_string(header.zoom);
    header.warnings.push_back(
        header.zoom == 0
            ? MessageText::Tr("the header's Hzoom is %s, below 1: the heights are stored as 0 and "
                              "cannot be recovered",
                              zoom.c_str())
            : MessageText::Tr("the header's Hzoom is %s, below 1: the heights are stored negated",
                              zoom.c_str()));
  }
  header.dx = std::fabs(header.dx);
  header.dy = std::fabs(header.dy);
  if (const std::string* version = header.Value("Version")) header.version = *version;
  const std::string* unit = header.Value("XYUnit");
  if (!unit) unit = header.Value("Unit");
  if (unit && !unit->empty()) header.unit = ascii_text::Upper(unit->front());
  if (m_positional) {
    header.layout = GridLayout::kPositional;
  } else if (header.Value("Version")) {
    header.layout = ContainsNoCase(header.version, "2007") ? GridLayout::kEdition2007
                                                           : GridLayout::kEdition1999;
  } else {
    header.layout = header.Value("XYUnit") ? GridLayout::kEdition2007 : GridLayout::kEdition1999;
  }
  return CheckOptional(header);
}

// Keys that may be missing but, when given, must allow the data to be read as integers.
bool GridHeaderParser::CheckOptional(GridHeader& header) {
  if (const std::string* alpha = header.Value("Alpha");
      alpha && !ParseNumber(*alpha, header.alpha)) {
    return Fail(MessageText::Tr("the header's %s is \"%s\", not a number", "Alpha", alpha->c_str()));
  }
  double compress = 0;
  if (const std::string* text = header.Value("Compress")) {
    if (!ParseNumber(*text, compress) || compress != 0) {
      return Fail(MessageText::Tr(
          "the header's Compress is \"%s\": only uncompressed grids (0) are read", text->c_str()));
    }
  }
  if (const std::string* type = header.Value("ValueType");
      type && !EqualsNoCase(*type, "Integer")) {
    return Fail(MessageText::Tr("the header's ValueType is \"%s\": only Integer grids are read",
                                type->c_str()));
  }
  for (const auto& [key, value] : header.entries) {
    if (!IsNoDataKey(key)) continue;
    double noData = 0;
    if (!ParseNumber(value, noData) || !std::isfinite(noData)) {
      return Fail(MessageText::Tr("the header's %s is \"%s\", not a number", key.c_str(),
                                  value.c_str()));
    }
    header.noData = noData;
  }
  return true;
}

bool GridHeaderParser::Coordinate(const GridHeader& header, const char* key, double& value,
                                  bool nonZero) {
  const std::string* text = Require(header, key);
  if (!text) return false;
  if (!ParseNumber(*text, value) || !std::isfinite(value) || (nonZero && value == 0)) {
    return Fail(nonZero ? MessageText::Tr("the header's %s is \"%s\", not a non-zero number", key,
                                          text->c_str())
                        : MessageText::Tr("the header's %s is \"%s\", not a number", key,
                                          text->c_str()));
  }
  return true;
}

bool GridHeaderParser::Count(const GridHeader& header, const char* key, int& value) {
  const std::string* text = Require(header, key);
  if (!text) return false;
  long long number = 0;
  if (!ParseNumber(*text, number) || number < 1 || number > INT_MAX) {
    return Fail(MessageText::Tr("the header's %s is \"%s\", not a whole number from 1 to "
                                "2147483647",
                                key, text->c_str()));
  }
  value = static_cast<int>(number);
  return true;
}

bool GridHeaderParser::Zoom(GridHeader& header) {
  const std::string* text = Require(header, "Hzoom");
  if (!text) return false;
  long long zoom = 0;
  if (!ParseNumber(*text, zoom) || zoom < INT32_MIN || zoom > INT32_MAX) {
    return Fail(MessageText::Tr("the header's Hzoom is \"%s\", not a 32-bit whole number",
                                text->c_str()));
  }
  header.zoom = static_cast<std::int32_t>(zoom);
  return true;
}

const std::string* GridHeaderParser::Require(const GridHeader& header, const char* key) {
  if (const std::string* value = header.Value(key)) return value;
  if (m_positional) {
    Fail(MessageText::Tr("the header ends before its %s value (line %s of the positional layout)",
                         key, std::to_string(header.entries.size() + 1).c_str()));
  } else {
    Fail(MessageText::Tr("the header lacks the key \"%s\"", key));
  }
  return nullptr;
}

bool GridHeaderParser::Fail(std::string message) {
  m_error = std::move(message);
  return false;
}
