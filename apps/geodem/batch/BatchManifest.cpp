#include "apps/geodem/batch/BatchManifest.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/ReadFailure.h"
#include "apps/geodem/Translation.h"

namespace {

// Editors on Windows start a UTF-8 file with one.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || c == '\v' || c == '\f'; }

// Why a field is no path, or empty. A path is the whole field: blanks around a name are far more
// often a slip of the editor than a part of it, and quotes would be taken as characters.
std::string FieldProblem(const std::string& field, const char* name) {
  if (field.empty()) return Tr("an empty %s: a line is SRC or SRC<TAB>DST", name);
  if (IsSpace(field.front()) || IsSpace(field.back()))
    return Tr("the %s '%s' begins or ends with a blank: a path is the whole field between tabs, "
              "as it is; remove the blanks (and quote nothing)",
              name, field.c_str());
  if (field.find('\0') != std::string::npos || !FitsGbk(field))
    return _("not UTF-8 text with a GBK form, which the writer needs");
  return {};
}

std::string Resolve(const std::filesystem::path& folder, const std::string& path) {
  std::filesystem::path p(path);
  if (p.is_relative()) p = folder / p;
  return p.lexically_normal().string();
}

}  // namespace

std::optional<ManifestLine> BatchManifest::ParseLine(const std::string& text, std::string& error) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab = text.find('\t'); tab != std::string::npos; tab = text.find('\t', start)) {
    fields.push_back(text.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(text.substr(start));
  if (fields.size() > 2) {
    error = _("more than one tab: a line is SRC or SRC<TAB>DST");
    return std::nullopt;
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    error = FieldProblem(fields[i], i == 0 ? "SRC" : "DST");
    if (!error.empty()) return std::nullopt;
  }
  ManifestLine line;
  line.source = fields[0];
  if (fields.size() == 2) line.destination = fields[1];
  return line;
}

bool BatchManifest::Read(const std::string& path, std::vector<ManifestLine>& lines,
                         std::vector<std::string>& problems) {
  // Looked at first: opening a FIFO would wait for a writer.
  const std::string reason = ReadFailure(path);
  std::ifstream in;
  if (reason.empty()) in.open(path, std::ios::binary);
  if (!in || !reason.empty()) {
    problems.push_back(Tr("cannot read the manifest %s: %s", path.c_str(),
                          reason.empty() ? std::strerror(errno) : reason.c_str()));
    return false;
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const std::size_t problemsBefore = problems.size();
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (number == 1 && text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    if (first == text.size() || text[first] == '#') continue;
    std::string error;
    if (auto line = ParseLine(text, error)) {
      line->number = number;
      line->source = Resolve(folder, line->source);
      // A trailing '/' survives: it makes the destination a folder.
      if (line->destination) line->destination = Resolve(folder, *line->destination);
      lines.push_back(std::move(*line));
    } else {
      problems.push_back(path + ":" + std::to_string(number) + ": " + error);
    }
  }
  if (in.bad()) problems.push_back(Tr("cannot read the manifest %s to its end", path.c_str()));
  return problems.size() == problemsBefore;
}
