#include "messages/MessageText.h"

#include <cstdio>

namespace {
MessageText::Lookup lookup = nullptr;
}  // namespace

void MessageText::Use(Lookup l) { lookup = l; }

std::string MessageText::Tr(const char* english, ...) {
  va_list args;
  va_start(args, english);
  std::string text = Format(lookup ? lookup(english) : english, args);
  va_end(args);
  return text;
}

std::string MessageText::Format(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, again);
  va_end(again);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}
