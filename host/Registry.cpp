#include "host/Registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>

#include "host/CodePage.h"
#include "host/RegistryError.h"
#include "host/RegistryFile.h"
#include "host/RegistryOperation.h"
#include "host/RegistryTree.h"
#include "host/RootTrust.h"

#ifndef GEODEM_SYSTEM_REGISTRY
#define GEODEM_SYSTEM_REGISTRY "/var/lib/geodem/registry"
#endif

struct RegistryKey {
  std::string file;  // empty for the root: searched, or RegistryFilePath() for changes
  RegistryKeyPath path;
};

namespace {

RegistryKey g_classesRoot;
thread_local std::string t_lastError;

std::string FileOf(HKEY key) { return key->file.empty() ? RegistryFilePath() : key->file; }

// The full path of root\subKey; nothing (with the failure recorded) for a malformed sub-key path.
std::optional<RegistryKeyPath> PathBelow(HKEY root, const char* subKey) {
  std::optional<RegistryKeyPath> sub = RegistryTree::SplitPath(subKey);
  if (!sub) {
    RegistryFailure(ERROR_INVALID_PARAMETER,
                    std::string("invalid key path \"") + subKey + "\": empty key name");
    return std::nullopt;
  }
  return RegistryTree::Join(root->path, *sub);
}

LONG KeyDeleted(const RegistryKeyPath& path) {
  return RegistryFailure(ERROR_KEY_DELETED,
                         "the key " + RegistryPathText(path) + " was deleted after it was opened");
}

LONG KeyNotFound(const RegistryKeyPath& path) {
  return RegistryFailure(ERROR_FILE_NOT_FOUND, "no key " + RegistryPathText(path));
}

// The first file of the search path where `found` answers (it reads the file's tree), or nothing.
std::optional<std::string> FirstFileWhere(const std::function<bool(const RegistryTree&)>& found) {
  for (const std::string& file : RegistrySearchPath())
    if (found(RegistryFile(file).Load())) return file;
  return std::nullopt;
}

// A new handle for root\subKey once `reach` (given the file and the full path) found or made the
// key.
LONG OpenKey(HKEY root, const char* subKey, HKEY* result,
             const std::function<LONG(const std::string&, const RegistryKeyPath&)>& reach) {
  if (!result) return RegistryFailure(ERROR_INVALID_PARAMETER, "no place for the key handle");
  *result = nullptr;
  if (!root) return RegistryFailure(ERROR_INVALID_HANDLE, "no key handle");
  return RunRegistryOperation([&] {
    std::optional<RegistryKeyPath> path = PathBelow(root, subKey);
    if (!path) return ERROR_INVALID_PARAMETER;
    std::string file = FileOf(root);
    LONG code = reach(file, *path);
    if (code == ERROR_SUCCESS) *result = new RegistryKey{file, *path};
    return code;
  });
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
      found->pw_dir)
    return found->pw_dir;
  return ".";
}

std::string UserRegistryFilePath() {
  // The XDG base directory rules ignore a relative XDG_DATA_HOME.
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string folder = data && *data == '/' ? data : HomeFolder() + "/.local/share";
  return folder + "/geodem/registry";
}

// The class of a program identifier, following CurVer links (a few at most: they may loop).
std::optional<CLSID> ResolveProgId(const RegistryTree& tree, const std::string& progId,
                                   int hopsLeft) {
  std::optional<RegistryKeyPath> path = RegistryTree::SplitPath(progId.c_str());
  if (!path || path->size() != 1) return std::nullopt;
  const RegistryTree::Key* key = tree.Find(*path);
  if (!key) return std::nullopt;
  auto defaultOf = [&](const char* subkey) -> const std::string* {
    auto sub = key->subkeys.find(subkey);
    if (sub == key->subkeys.end()) return nullptr;
    auto value = sub->second.values.find("");
    return value == sub->second.values.end() ? nullptr : &value->second;
  };
  const std::string* current = defaultOf("CurVer");
  if (current && hopsLeft > 0 && !GbkEqualsNoCase(*current, progId)) {
    if (std::optional<CLSID> clsid = ResolveProgId(tree, *current, hopsLeft - 1)) return clsid;
  }
  const std::string* clsid = defaultOf("CLSID");
  return clsid ? GUID::Parse(*clsid) : std::nullopt;
}

}  // namespace

const HKEY HKEY_CLASSES_ROOT = &g_classesRoot;

LONG RegistryFailure(LONG code, std::string text) {
  t_lastError = std::move(text);
  return code;
}

LONG RunRegistryOperation(const std::function<LONG()>& operation) {
  t_lastError.clear();
  try {
    return operation();
  } catch (const RegistryError& e) {
    return RegistryFailure(e.Code(), e.what());
  } catch (const std::bad_alloc&) {
    return RegistryFailure(ERROR_REGISTRY_IO_FAILED, "out of memory");
  } catch (const std::exception& e) {
    return RegistryFailure(ERROR_REGISTRY_IO_FAILED, e.what());
  }
}

std::string RegistryPathText(const std::vector<std::string>& path) {
  std::string text = "HKEY_CLASSES_ROOT";
  for (const std::string& name : path) text += "\\" + name;
  return text;
}

LONG RegCreateKeyA(HKEY root, const char* subKey, HKEY* result) {
  return OpenKey(root, subKey, result,
                 [root](const std::string& file, const RegistryKeyPath& path) {
                   bool parentGone = false;
                   RegistryFile(file).Update([&](RegistryTree& tree) {
                     if (tree.Find(path)) return false;
                     parentGone = !tree.Find(root->path);
                     if (!parentGone) tree.Create(path);
                     return !parentGone;
                   });
                   return parentGone ? KeyDeleted(root->path) : ERROR_SUCCESS;
                 });
}

LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
  if (root == HKEY_CLASSES_ROOT && result) {
    // The key lives in the first file of the search path that holds it; its handle stays there.
    *result = nullptr;
    return RunRegistryOperation([&] {
      std::optional<RegistryKeyPath> path = PathBelow(root, subKey);
      if (!path) return ERROR_INVALID_PARAMETER;
      std::optional<std::string> file =
          FirstFileWhere([&](const RegistryTree& tree) { return tree.Find(*path) != nullptr; });
      if (!file)
        return RegistryFailure(ERROR_FILE_NOT_FOUND, "no key " + RegistryPathText(*path) + " in " +
                                                         Utf8ToGbk(RegistrySearchPathText()));
      *result = new RegistryKey{*file, *path};
      return ERROR_SUCCESS;
    });
  }
  return OpenKey(root, subKey, result, [](const std::string& file, const RegistryKeyPath& path) {
    return RegistryFile(file).Load().Find(path) ? ERROR_SUCCESS : KeyNotFound(path);
  });
}

LONG RegQueryValueA(HKEY key, const char* valueName, std::string& value) {
  if (!key) return RegistryFailure(ERROR_INVALID_HANDLE, "no key handle");
  return RunRegistryOperation([&] {
    RegistryTree tree = RegistryFile(FileOf(key)).Load();
    const RegistryTree::Key* found = tree.Find(key->path);
    if (!found) return KeyDeleted(key->path);
    std::string name = valueName ? valueName : "";
    auto it = found->values.find(name);
    if (it == found->values.end())
      return RegistryFailure(ERROR_FILE_NOT_FOUND,
                             "no value \"" + name + "\" in the key " + RegistryPathText(key->path));
    value = it->second;
    return ERROR_SUCCESS;
  });
}

LONG RegSetValueA(HKEY key, const char* valueName, const std::string& value) {
  if (!key) return RegistryFailure(ERROR_INVALID_HANDLE, "no key handle");
  return RunRegistryOperation([&] {
    std::string name = valueName ? valueName : "";
    bool gone = false;
    RegistryFile(FileOf(key)).Update([&](RegistryTree& tree) {
      RegistryTree::Key* found = tree.Find(key->path);
      gone = !found;
      if (gone) return false;
      auto [it, added] = found->values.try_emplace(name, value);
      if (!added && it->second == value) return false;
      it->second = value;
      return true;
    });
    return gone ? KeyDeleted(key->path) : ERROR_SUCCESS;
  });
}

LONG RegDeleteKeyA(HKEY root, const char* subKey) {
  if (!root) return RegistryFailure(ERROR_INVALID_HANDLE, "no key handle");
  return RunRegistryOperation([&] {
    std::optional<RegistryKeyPath> path = PathBelow(root, subKey);
    if (!path) return ERROR_INVALID_PARAMETER;
    if (path->empty())
      return RegistryFailure(ERROR_ACCESS_DENIED, "the root of the registry cannot be deleted");
    bool removed = false;
    RegistryFile(FileOf(root)).Update([&](RegistryTree& tree) {
      removed = tree.Remove(*path);
      return removed;
    });
    return removed ? ERROR_SUCCESS : KeyNotFound(*path);
  });
}

LONG RegCloseKey(HKEY key) {
  if (!key) return RegistryFailure(ERROR_INVALID_HANDLE, "no key handle");
  if (key != HKEY_CLASSES_ROOT) delete key;
  t_lastError.clear();
  return ERROR_SUCCESS;
}

std::string RegistryFilePath() {
  if (const char* path = std::getenv("GEODEM_REGISTRY"); path && *path) return path;
  return UserRegistryFilePath();
}

std::string SystemRegistryFilePath() {
  if (const char* path = std::getenv("GEODEM_SYSTEM_REGISTRY"); path && *path) return path;
  return GEODEM_SYSTEM_REGISTRY;
}

std::vector<std::string> RegistrySearchPath() {
  std::vector<std::string> files;
  if (const char* path = std::getenv("GEODEM_REGISTRY"); path && *path) {
    files = {path};
  } else {
    files = {UserRegistryFilePath(), SystemRegistryFilePath()};
  }
  std::erase_if(files,
                [](const std::string& file) { return !RootTrust::Trusts(file, "registry"); });
  return files;
}

std::string RegistrySearchPathText() {
  std::string text;
  for (const std::string& file : RegistrySearchPath()) text += (text.empty() ? "" : " or ") + file;
  return text;
}

std::string RegistryLastError() { return t_lastError; }

HRESULT CLSIDFromProgID(const char16_t* progId, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID();
  if (!progId) return E_INVALIDARG;
  std::string name = Utf16ToGbk(progId);
  std::optional<CLSID> found;
  LONG code = RunRegistryOperation([&] {
    FirstFileWhere([&](const RegistryTree& tree) {
      found = ResolveProgId(tree, name, 8);
      return found.has_value();
    });
    return found ? ERROR_SUCCESS
                 : RegistryFailure(ERROR_FILE_NOT_FOUND,
                                   "no class registered for the program identifier \"" + name +
                                       "\" in " + Utf8ToGbk(RegistrySearchPathText()));
  });
  if (code == ERROR_SUCCESS) {
    *clsid = *found;
    return S_OK;
  }
  return code == ERROR_FILE_NOT_FOUND ? CO_E_CLASSSTRING : REGDB_E_READREGDB;
}
