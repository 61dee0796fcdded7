#pragma once
// Messages of the libraries that geodem shares with the GDAL driver (source checks, grid file
// checks, the sheet grid) in the language of the program that shows them. They stay English
// unless the program installs a lookup: geodem installs its catalogue's, the driver none (GDAL's
// messages are English).
#include <cstdarg>
#include <string>

class MessageText {
 public:
  using Lookup = const char* (*)(const char* english);
  static void Use(Lookup lookup);

  // `english`, looked up, with printf directives filled in.
  static std::string Tr(const char* english, ...) __attribute__((format(printf, 1, 2)));
  // A printf format filled in, for callers with a lookup of their own.
  static std::string Format(const char* format, va_list args);
};
