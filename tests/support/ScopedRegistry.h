#pragma once
// Points the host runtime's registry at a fresh file in a temporary folder (GEODEM_REGISTRY) for
// the lifetime of the object, and restores the previous setting afterwards. The file's folder does
// not exist at first: the first write creates it.
#include <cstdlib>
#include <optional>
#include <string>

#include "host/Registry.h"
#include "support/TempDir.h"

class ScopedRegistry {
 public:
  ScopedRegistry() : path_(dir_ / "registry-home/registry") {
    if (const char* previous = std::getenv("GEODEM_REGISTRY")) previous_ = previous;
    ::setenv("GEODEM_REGISTRY", path_.c_str(), 1);
  }
  ~ScopedRegistry() {
    if (previous_) {
      ::setenv("GEODEM_REGISTRY", previous_->c_str(), 1);
    } else {
      ::unsetenv("GEODEM_REGISTRY");
    }
  }
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  // The registry file.
  const std::string& Path() const { return path_; }
  std::string Text() const { return TempDir::ReadFile(path_); }

  // The value of HKEY_CLASSES_ROOT\path (its default value for a null name), or "<missing>".
  static std::string Value(const std::string& path, const char* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return "<missing>";
    std::string value;
    LONG code = RegQueryValueA(key, name, value);
    RegCloseKey(key);
    return code == ERROR_SUCCESS ? value : "<missing>";
  }
  // Sets a value, creating its key.
  static LONG Set(const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    LONG code = RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key);
    if (code == ERROR_SUCCESS) code = RegSetValueA(key, name, value);
    RegCloseKey(key);
    return code;
  }
  static bool HasKey(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

 private:
  TempDir dir_;
  std::string path_;
  std::optional<std::string> previous_;
};
