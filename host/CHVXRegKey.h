#pragma once
// The framework's registry key class: open a key, write string values into it, close it.
#include <string>

#include "host/Registry.h"

class CHVXRegKey {
 public:
  CHVXRegKey() = default;
  CHVXRegKey(const CHVXRegKey&) = delete;
  CHVXRegKey& operator=(const CHVXRegKey&) = delete;
  // Closes the key.
  ~CHVXRegKey();

  // Opens root\path for writing. A missing key, and every missing key above it, is created: the
  // caller may write into a key that did not exist before. Closes a key opened earlier.
  LONG Open(HKEY root, const char* path);
  // Sets a string value of the open key; an empty (or null) name is the key's default value.
  // ERROR_INVALID_HANDLE when no key is open.
  LONG Write(const char* valueName, const std::string& text);
  void Close();

 private:
  HKEY key_ = nullptr;
};
