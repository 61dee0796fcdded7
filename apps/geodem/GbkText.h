#pragma once
// The writer keeps every name in GBK, the system code page. A UTF-8 text from the command line that
// GBK cannot hold would reach it with '?' in place of some characters and name another file.
#include <string>
#include <string_view>

// True when the text is valid UTF-8 and every character has a GBK form.
bool FitsGbk(std::string_view utf8);
// The text as the writer sees it: UTF-8 to GBK.
std::string ToWriterText(std::string_view utf8);
// A writer (GBK) text back to UTF-8.
std::string FromWriterText(std::string_view gbk);
