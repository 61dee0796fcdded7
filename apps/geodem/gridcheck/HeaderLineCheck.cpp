#include "apps/geodem/gridcheck/HeaderLineCheck.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <span>

#include "gridfile/AsciiText.h"
#include "gridfile/GridHeaderParser.h"
#include "messages/MessageText.h"

namespace {

using ascii_text::EqualsNoCase;
using ascii_text::Trim;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr std::string_view k2007Keys[] = {"DataMark", "Version",   "Alpha", "Compress", "X0",
                                          "Y0",       "DX",        "DY",    "Row",      "Col",
                                          "ValueType", "Hzoom",    "XYUnit", "ZUnit"};
constexpr std::string_view k1999Keys[] = {"DataMark", "Version", "Unit", "Alpha",     "Compress",
                                          "X0",       "Y0",      "DX",   "DY",        "Row",
                                          "Col",      "ValueType", "Hzoom"};
constexpr std::string_view kPositionalKeys[] = {"DataMark", "Version", "Unit", "Alpha",
                                                "Compress", "X0",      "Y0",   "DX",
                                                "DY",       "Row",     "Col",  "Hzoom"};

bool StartsNumber(std::string_view text) {
  return !text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '+');
}

template <class Number>
bool ParseNumber(std::string_view text, Number& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Where the line after the line end at `end` begins. The line ends the reader takes: CR LF, LF, CR
// alone, and CRs written twice over before an LF by text-mode output ("\r\r\n").
std::size_t NextLine(std::string_view head, std::size_t end) {
  std::size_t next = end;
  while (next < head.size() && head[next] == '\r') ++next;
  if (next < head.size() && head[next] == '\n') return next + 1;
  return end + 1;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::size_t IndexOf(std::span<const std::string_view> keys, std::string_view key) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (EqualsNoCase(keys[i], key)) return i;
  return keys.size();
}

}  // namespace

void HeaderLineCheck::Run(std::string_view head, std::vector<GridFinding>& findings) {
  m_keyLines.clear();
  if (head.starts_with(kByteOrderMark)) head.remove_prefix(kByteOrderMark.size());
  std::vector<Line> lines;
  long number = 1;
  bool started = false;
  for (std::size_t at = 0; at < head.size(); ++number) {
    std::size_t end = head.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = head.size();
    const std::string_view text = head.substr(at, end - at);
    at = NextLine(head, end);
    // Blank lines before the first one are the reader's to forgive; nobody counts them as header.
    if (!started && Trim(text).empty()) continue;
    started = true;
    lines.push_back({number, text});
    if (lines.size() > 64) break;  // more than any header holds
  }
  if (lines.empty()) {
    findings.push_back(GridFinding::Error(MessageText::Tr("the file is empty")));
    return;
  }
  if (ascii_text::StartsWithNoCase(Trim(lines.front().text), "NSDTF-DEM")) {
    CheckPositional(lines, findings);
  } else {
    CheckKeyed(lines, findings);
  }
}

long HeaderLineCheck::LineOf(std::string_view key) const {
  for (const auto& [name, line] : m_keyLines)
    if (EqualsNoCase(name, key)) return line;
  return 0;
}

void HeaderLineCheck::CheckKeyed(const std::vector<Line>& lines,
                                 std::vector<GridFinding>& findings) {
  struct Entry {
    long line;
    std::string_view key, value;
  };
  std::vector<Entry> entries;
  std::size_t next = 0;
  for (; next < lines.size(); ++next) {
    const std::string_view text = Trim(lines[next].text);
    if (text.empty() || StartsNumber(text)) break;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      findings.push_back(GridFinding::Error(
          MessageText::Tr("%s is not a \"Key: value\" line", Quoted(text).c_str()),
          lines[next].number));
      continue;
    }
    entries.push_back({lines[next].number, Trim(text.substr(0, colon)), Trim(text.substr(colon + 1))});
  }
  if (entries.empty() || !EqualsNoCase(entries.front().key, "DataMark")) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("not a CNSDTF-DEM grid file: its first line is neither \"DataMark: "
                        "CNSDTF-DEM\" nor \"NSDTF-DEM\""),
        lines.front().number));
    return;
  }
  // The edition the file declares: its Version, else whether it has the 2007 edition's XYUnit.
  bool edition2007 = false;
  bool declared = false;
  for (const Entry& e : entries) {
    if (EqualsNoCase(e.key, "Version")) {
      edition2007 = e.value.find("2007") != std::string_view::npos;
      declared = true;
    }
    if (!declared && EqualsNoCase(e.key, "XYUnit")) edition2007 = true;
  }
  const std::span<const std::string_view> keys =
      edition2007 ? std::span<const std::string_view>(k2007Keys) : std::span(k1999Keys);
  const std::string layout = edition2007 ? "GRD_2007" : "GRD_1999";

  std::vector<long> seenAt(keys.size(), 0);
  std::size_t furthest = 0;
  bool any = false;
  for (const Entry& e : entries) {
    const std::size_t index = IndexOf(keys, e.key);
    if (index == keys.size()) {
      findings.push_back(
          GridFinding::Warning(MessageText::Tr("%s is not a key of the %s layout",
                                               Quoted(e.key).c_str(), layout.c_str()),
                               e.line));
      // Other writers' no-data key is read all the same, and must hold a number.
      if (GridHeaderParser::IsNoDataKey(e.key)) CheckValue("NoData", e.value, e.line, findings);
      continue;
    }
    if (e.key != keys[index]) {
      findings.push_back(
          GridFinding::Warning(MessageText::Tr("the key %s is spelt %s in the standard",
                                               Quoted(e.key).c_str(), Quoted(keys[index]).c_str()),
                               e.line));
    }
    if (seenAt[index] != 0) {
      findings.push_back(GridFinding::Error(
          MessageText::Tr("%s is given twice (first on line %s)", std::string(keys[index]).c_str(),
                          std::to_string(seenAt[index]).c_str()),
          e.line));
      continue;
    }
    if (any && index < furthest) {
      findings.push_back(GridFinding::Error(
          MessageText::Tr("%s is out of order: the %s layout has it on line %s, before %s",
                          std::string(keys[index]).c_str(), layout.c_str(),
                          std::to_string(index + 1).c_str(), std::string(keys[furthest]).c_str()),
          e.line));
    }
    seenAt[index] = e.line;
    furthest = std::max(furthest, index);
    any = true;
    m_keyLines.emplace_back(keys[index], e.line);
    CheckValue(keys[index], e.value, e.line, findings);
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (seenAt[i] != 0) continue;
    // Placed where the line belongs: at the first later key present, else after the header.
    long place = next < lines.size() ? lines[next].number : lines.back().number + 1;
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      if (seenAt[j] != 0) {
        place = seenAt[j];
        break;
      }
    }
    findings.push_back(GridFinding::Error(
        MessageText::Tr("the header lacks its %s line (line %s of the %s layout)",
                        std::string(keys[i]).c_str(), std::to_string(i + 1).c_str(),
                        layout.c_str()),
        place));
  }
  CheckBlankAfter(lines, next, findings);
}

void HeaderLineCheck::CheckPositional(const std::vector<Line>& lines,
                                      std::vector<GridFinding>& findings) {
  std::size_t next = 0;
  for (std::size_t k = 0; k < std::size(kPositionalKeys); ++next) {
    const std::string_view text = next < lines.size() ? Trim(lines[next].text) : std::string_view();
    const long number = next < lines.size() ? lines[next].number : lines.back().number + 1;
    if (text.empty()) {
      findings.push_back(GridFinding::Error(
          MessageText::Tr("the header ends before its %s value (line %s of the positional layout)",
                          std::string(kPositionalKeys[k]).c_str(), std::to_string(k + 1).c_str()),
          number));
      return;
    }
    std::vector<std::string_view> values;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
      values.push_back(text.substr(at, end - at));
      at = text.find_first_not_of(" \t", end);
    }
    if (values.size() > 1) {
      findings.push_back(GridFinding::Error(
          MessageText::Tr("the line holds %s values: the positional layout has one value a line",
                          std::to_string(values.size()).c_str()),
          number));
    }
    // Values spread otherwise still stand for the lines they replace, so that one fault is
    // reported once.
    for (std::string_view value : values) {
      if (k == std::size(kPositionalKeys)) break;
      m_keyLines.emplace_back(kPositionalKeys[k], number);
      CheckValue(kPositionalKeys[k++], value, number, findings);
    }
  }
  CheckBlankAfter(lines, next, findings);
}

void HeaderLineCheck::CheckValue(std::string_view key, std::string_view value, long line,
                                 std::vector<GridFinding>& findings) {
  auto error = [&](const std::string& what) {
    findings.push_back(GridFinding::Error(MessageText::Tr("%s is %s, %s", std::string(key).c_str(),
                                                          Quoted(value).c_str(), what.c_str()),
                                          line));
  };
  if (key == "Row" || key == "Col" || key == "Hzoom") {
    long long number = 0;
    const long long highest = key == "Hzoom" ? INT32_MAX : INT_MAX;
    if (!ParseNumber(value, number)) return error(MessageText::Tr("not a whole number"));
    if (number < 1 || number > highest) {
      return error(
          MessageText::Tr("not a positive whole number up to %s", std::to_string(highest).c_str()));
    }
  } else if (key == "X0" || key == "Y0" || key == "DX" || key == "DY" || key == "Alpha" ||
             key == "Compress" || key == "NoData") {
    double number = 0;
    if (!ParseNumber(value, number)) return error(MessageText::Tr("not a number"));
    // The number reader takes "nan" and "inf" as the numbers they name; no grid has them.
    if (!std::isfinite(number)) return error(MessageText::Tr("not a finite number"));
    if ((key == "DX" || key == "DY") && !(number > 0))
      return error(MessageText::Tr("not positive"));
    if (key == "Compress" && number != 0)
      return error(MessageText::Tr("not 0: only uncompressed grids exist"));
  } else if (key == "ValueType" && !EqualsNoCase(value, "Integer")) {
    error(MessageText::Tr("not Integer"));
  } else if ((key == "Unit" || key == "XYUnit" || key == "ZUnit") && value.size() != 1) {
    error(MessageText::Tr("not a unit letter (M, D, ...)"));
  }
}

void HeaderLineCheck::CheckBlankAfter(const std::vector<Line>& lines, std::size_t next,
                                      std::vector<GridFinding>& findings) {
  if (next < lines.size() && !Trim(lines[next].text).empty()) {
    findings.push_back(GridFinding::Warning(
        MessageText::Tr("the header is not followed by an empty line"), lines[next].number));
  }
}
