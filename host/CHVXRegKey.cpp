#include "host/CHVXRegKey.h"

CHVXRegKey::~CHVXRegKey() { Close(); }

LONG CHVXRegKey::Open(HKEY root, const char* path) {
  Close();
  return RegCreateKeyA(root, path, &key_);
}

LONG CHVXRegKey::Write(const char* valueName, const std::string& text) {
  if (!key_) return ERROR_INVALID_HANDLE;
  return RegSetValueA(key_, valueName, text);
}

void CHVXRegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}
