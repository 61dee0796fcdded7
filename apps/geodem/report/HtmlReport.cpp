#include "apps/geodem/report/HtmlReport.h"

#include <cpl_string.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/report/ReportTemplate.h"
#include "host/AtomicFile.h"

// GDAL's SHA-256, which its library exports without installing the header that declares it.
extern "C" void CPL_SHA256(const void* data, size_t length, GByte hash[32]);

namespace {

// The length of the UTF-8 sequence at text[i], 0 when the bytes there are not one.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                                     : lead >= 0xE0 && lead <= 0xEF   ? 3
                                     : lead >= 0xF0 && lead <= 0xF4   ? 4
                                                                      : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) > 0x9F) ||
      (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) > 0x8F))
    return 0;
  return length;
}

// The page's own words, which its script looks up in the "words" of its data; "%s" (or "%1$s"
// ...) stands for what the script fills in. A run's status keeps its JSON value and is shown in
// the user's words.
const char* const kPageWords[] = {NC_("report", "%s report"),
                                  NC_("report", "Written %s"),
                                  NC_("report", "%s files"),
                                  NC_("report", "%s tiles"),
                                  NC_("report", "Sheets"),
                                  NC_("report", "Filter"),
                                  NC_("report", "file name or finding"),
                                  NC_("report", "Status"),
                                  NC_("report", "all"),
                                  NC_("report", "File"),
                                  NC_("report", "Errors"),
                                  NC_("report", "Warnings"),
                                  NC_("report", "Size"),
                                  NC_("report", "Min (m)"),
                                  NC_("report", "Max (m)"),
                                  NC_("report", "No data"),
                                  NC_("report", "Seconds"),
                                  NC_("report", "Quick-look"),
                                  NC_("report", "line %s: "),
                                  NC_("report", "row %s, column %s: "),
                                  NC_("report", "quick-look of %s"),
                                  NC_("report", "colours from %s m to %s m"),
                                  NC_("report", "failed"),
                                  NC_("report", "errors"),
                                  NC_("report", "outdated"),
                                  NC_("report", "warnings"),
                                  NC_("report", "pending"),
                                  NC_("report", "ok"),
                                  NC_("report", "done"),
                                  NC_("report", "interrupted"),
                                  NC_("report", "Edges"),
                                  NC_("report", "Between"),
                                  NC_("report", "Side"),
                                  NC_("report", "Cells"),
                                  NC_("report", "Differing"),
                                  NC_("report", "Largest (m)"),
                                  NC_("report", "Largest at"),
                                  NC_("report", "row %s, column %s"),
                                  NC_("report", "the grids only meet: no cell compared"),
                                  NC_("report", "east"),
                                  NC_("report", "south"),
                                  NC_("report", "differs"),
                                  NC_("report", "not aligned"),
                                  NC_("report", "apart"),
                                  NC_("report", "overlaps"),
                                  NC_("report", "unread")};

// {"English": "translation", ...} of the words that have one; empty in English.
std::string WordsJson() {
  std::string json = "{";
  for (const char* english : kPageWords) {
    const char* translated = Translation::Text("report", english);
    if (translated == english || std::string(translated) == english) continue;
    json +=
        (json.size() > 1 ? "," : "") + JsonText::Quote(english) + ":" + JsonText::Quote(translated);
  }
  return json + "}";
}

void Replace(std::string& text, const std::string& mark, const std::string& by) {
  const std::size_t at = text.find(mark);
  if (at != std::string::npos) text.replace(at, mark.size(), by);
}

// Text as the content of an element or an attribute's value.
std::string HtmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The content security policy's source of the inline element `tag` of the page (its first), by
// the hash of its text: the page's own script and style run, nothing else would.
std::string HashSource(const std::string& page, const std::string& tag) {
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  const std::size_t start = page.find(open);
  const std::size_t end = start == std::string::npos ? start : page.find(close, start);
  if (end == std::string::npos) return "'none'";
  const std::size_t from = start + open.size();
  GByte digest[32];
  CPL_SHA256(page.data() + from, end - from, digest);
  char* base64 = CPLBase64Encode(sizeof digest, digest);
  std::string source = "'sha256-" + std::string(base64) + "'";
  CPLFree(base64);
  return source;
}

}  // namespace

void HtmlReport::Add(const std::string& jsonObject, const std::vector<unsigned char>& png) {
  std::string row = jsonObject;
  if (!png.empty() && row.ends_with('}')) {
    char* base64 = CPLBase64Encode(static_cast<int>(png.size()), png.data());
    row.insert(row.size() - 1, ",\"quicklook\":\"data:image/png;base64," + std::string(base64) + "\"");
    CPLFree(base64);
  }
  m_rows.push_back(std::move(row));
}

std::string HtmlReport::ScriptSafe(const std::string& json) {
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size();) {
    const char c = json[i];
    if (c == '<' || c == '>' || c == '&') {
      out += c == '<' ? "\\u003c" : c == '>' ? "\\u003e" : "\\u0026";
      ++i;
      continue;
    }
    const std::size_t length = Utf8Length(json, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(json, i, length);
    i += length;
  }
  return out;
}

std::string HtmlReport::Page() const {
  std::string data = "{\"title\":" + JsonText::Quote(m_title) + ",\"generated\":";
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", gmtime_r(&now, &utc));
  data += JsonText::Quote(when) + ",\"note\":" + JsonText::Quote(m_note) + ",\"verdict\":" + m_verdict +
          ",\"lang\":" + JsonText::Quote(_("en")) + ",\"words\":" + WordsJson() +
          ",\"count\":" + (m_count == Count::kTiles ? "\"tiles\"" : "\"files\"") + ",\"files\":[";
  for (std::size_t i = 0; i < m_rows.size(); ++i) data += (i ? ",\n" : "\n") + m_rows[i];
  data += "],\"edges\":[";
  for (std::size_t i = 0; i < m_edges.size(); ++i) data += (i ? ",\n" : "\n") + m_edges[i];
  data += "]}";
  std::string page(ReportTemplate::kText);
  // The page's language and title are there before its script runs: a browser picks its fonts,
  // and lists the page, by them.
  Replace(page, "@LANG@", HtmlText(_("en")));
  Replace(page, "@TITLE@",
          HtmlText(Tr(Translation::Text("report", "%s report"), m_title.c_str())));
  Replace(page, "@STYLE_HASH@", HashSource(page, "style"));
  Replace(page, "@SCRIPT_HASH@", HashSource(page, "script"));
  Replace(page, "@REPORT_DATA@", ScriptSafe(data));
  return page;
}

bool HtmlReport::Write(const std::string& path, std::string& error) const {
  const std::string page = Page();
  AtomicFile file;
  if (!file.Create(path) || !file.Write(page.data(), page.size()) || !file.Commit()) {
    error = file.refusal().empty() ? std::strerror(errno) : file.refusal();
    return false;
  }
  return true;
}
