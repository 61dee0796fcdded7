#include "apps/geodem/Translation.h"

#include <langinfo.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdarg>
#include <filesystem>
#include <string_view>

#include "messages/MessageText.h"

#ifndef GEODEM_LOCALE_FROM_BIN
#define GEODEM_LOCALE_FROM_BIN "../share/locale"
#endif

namespace {

constexpr const char* kDomain = "geodem";
bool translating = false;

// <program folder>/<bin to locale folder>: the build tree mirrors the installed layout, so one
// rule finds the build's catalogue and the installed one without naming either place.
std::string CatalogueFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return (self.parent_path() / GEODEM_LOCALE_FROM_BIN).lexically_normal().string();
}

}  // namespace

void Translation::Start() {
  // Only the language and the character set: numbers, dates and collation stay in the C
  // locale's form, which the grid files and GDAL rely on.
  if (!std::setlocale(LC_MESSAGES, "") || !std::setlocale(LC_CTYPE, "")) return;
  // The rest of geodem's output (paths, the writer's lines) is UTF-8: a terminal of another
  // encoding is better served by English than by two encodings on one line.
  if (std::string_view(nl_langinfo(CODESET)) != "UTF-8") return;
  const std::string folder = CatalogueFolder();
  if (folder.empty() || !bindtextdomain(kDomain, folder.c_str())) return;
  bind_textdomain_codeset(kDomain, "UTF-8");
  translating = true;
  MessageText::Use(&Translation::Text);
}

const char* Translation::Text(const char* english) {
  return translating ? dgettext(kDomain, english) : english;
}

const char* Translation::Text(const char* context, const char* english) {
  if (!translating) return english;
  // gettext's convention for a message in a context: "context\004message".
  const std::string key = std::string(context) + '\004' + english;
  const char* translated = dgettext(kDomain, key.c_str());
  return translated == key.c_str() ? english : translated;
}

bool Translation::ReadsChinese() {
  // The catalogue's name of its own language; English without a catalogue.
  return std::string_view(_("English")) == "中文";
}

std::size_t Translation::Columns(std::string_view text) {
  std::size_t columns = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte
    columns += c >= 0xE0 ? 2 : 1;      // three- and four-byte characters: CJK and wider
  }
  return columns;
}

std::string Translation::Padded(const std::string& text, std::size_t columns) {
  const std::size_t used = Columns(text);
  return text + std::string(used < columns ? columns - used : 0, ' ');
}

std::string Tr(const char* english, ...) {
  va_list args;
  va_start(args, english);
  std::string text = MessageText::Format(Translation::Text(english), args);
  va_end(args);
  return text;
}
