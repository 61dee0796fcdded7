#pragma once
// One self-contained HTML page of a set of grid files: a summary, a table that sorts and filters
// (file, status, errors and warnings, size, heights, no-data share, seconds), each file's findings
// and quick-look. The page is the template report.html of this folder with the data filled in as
// JSON, pictures as data: URLs; it loads nothing from anywhere (its content security policy forbids
// it) and shows every text through the DOM's text nodes, so file names may hold any bytes.
#include <string>
#include <vector>

#include "apps/geodem/report/ReportVerdict.h"

class HtmlReport {
 public:
  // The long side of the pictures on the page: a page of a thousand sheets stays light.
  static constexpr int kPictureSide = 256;

  explicit HtmlReport(std::string title) : m_title(std::move(title)) {}

  // One file's row: its JSON object (as geodem check --json writes it, a "status" member among
  // them) and its quick-look's PNG bytes (none: no picture).
  void Add(const std::string& jsonObject, const std::vector<unsigned char>& png);

  // The edges of a sheet set, as geodem check --edges --json lists them: each is drawn on the
  // index map and given a row of its own.
  void AddEdge(std::string jsonObject) { m_edges.push_back(std::move(jsonObject)); }

  // What the run found, as its exit status says it: the banner at the top and the summary's
  // badges. A page without one shows no verdict.
  void SetVerdict(const ReportVerdict& verdict) { m_verdict = verdict.Json(); }

  // A line under the summary.
  void Note(std::string text) { m_note = std::move(text); }
  // What the summary counts the rows as: files (the default), or the tiles of a set, some of
  // which have no file.
  enum class Count { kFiles, kTiles };
  void CountAs(Count count) { m_count = count; }

  std::string Page() const;
  // The page to path, which appears only complete; false with error saying why.
  bool Write(const std::string& path, std::string& error) const;

  // JSON text made safe inside a <script> element and valid UTF-8: '<', '>' and '&' as \u
  // escapes (JSON holds them only in strings), bytes that are not UTF-8 as U+FFFD.
  static std::string ScriptSafe(const std::string& json);

 private:
  std::string m_title;
  std::vector<std::string> m_rows;
  std::vector<std::string> m_edges;
  std::string m_note;
  std::string m_verdict = "null";
  Count m_count = Count::kFiles;
};
