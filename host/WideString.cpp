#include "host/WideString.h"

#include <cstring>
#include <new>

// The length is kept in front of the characters, so that a BSTR may hold any text and its length
// is known without a scan.
namespace {
constexpr std::size_t kPrefix = sizeof(std::size_t) * 2;  // keeps the characters aligned

std::size_t Length(const char16_t* text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  return n;
}
}  // namespace

BSTR SysAllocStringLen(const char16_t* text, std::size_t length) {
  auto* block = static_cast<char*>(::operator new(kPrefix + (length + 1) * sizeof(char16_t)));
  std::memcpy(block, &length, sizeof length);
  auto* chars = reinterpret_cast<char16_t*>(block + kPrefix);
  if (text && length) std::memcpy(chars, text, length * sizeof(char16_t));
  chars[length] = u'\0';
  return chars;
}

BSTR SysAllocString(const char16_t* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, Length(text));
}

BSTR SysAllocString(const std::u16string& text) {
  return SysAllocStringLen(text.data(), text.size());
}

void SysFreeString(BSTR text) {
  if (text) ::operator delete(reinterpret_cast<char*>(text) - kPrefix);
}

std::size_t SysStringLen(const char16_t* text) {
  if (!text) return 0;
  std::size_t n;
  std::memcpy(&n, reinterpret_cast<const char*>(text) - kPrefix, sizeof n);
  return n;
}
