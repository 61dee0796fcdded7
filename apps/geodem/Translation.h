#pragma once
// geodem's words in the user's language. English is the source text and the default; a locale
// whose messages are Chinese reads the catalogue of the domain "geodem" (po/zh_CN.po). Numbers,
// paths, option names and the level marks of the log lines are the same in every language.
#include <string>
#include <string_view>

class Translation {
 public:
  // Takes the language from the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) and finds the
  // catalogue relative to the program, as laid out in the build tree and when installed.
  // Numbers keep the C locale's form whatever the language.
  static void Start();

  // The text of `english` in the user's language; `english` itself when it has none.
  static const char* Text(const char* english) __attribute__((format_arg(1)));
  // The same for a text whose translation depends on where it stands ("Size" of a grid in rows
  // and columns, "Size" of a file in bytes): the catalogue keeps it under `context`.
  static const char* Text(const char* context, const char* english) __attribute__((format_arg(2)));

  // Whether the user's language is Chinese, in which the writer speaks for itself.
  static bool ReadsChinese();

  // Columns that UTF-8 text takes on a terminal: a CJK character takes two.
  static std::size_t Columns(std::string_view text);
  // `text` followed by spaces up to `columns` (none when it is as wide), for aligned columns.
  static std::string Padded(const std::string& text, std::size_t columns);
};

// The markers xgettext extracts: _("...") for a plain text, Tr("... %s ...", ...) for one with
// printf directives (a translation may reorder them as %1$s, %2$s), N_("...") for a text kept
// in English and looked up where it is shown, NC_("context", "...") for one looked up in a
// context.
#define _(english) Translation::Text(english)
#define N_(english) english
#define NC_(context, english) english
std::string Tr(const char* english, ...) __attribute__((format(printf, 1, 2)));
