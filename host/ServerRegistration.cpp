#include "host/ServerRegistration.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "host/CodePage.h"
#include "host/Registry.h"
#include "host/RegistryFile.h"
#include "host/RegistryOperation.h"
#include "host/RegistryTree.h"

namespace {

using Key = RegistryTree::Key;

bool IsSingleKeyName(const std::string& name) {
  std::optional<RegistryKeyPath> path = RegistryTree::SplitPath(name.c_str());
  return path && path->size() <= 1;
}

Key& SetDefault(Key& key, const std::string& value) {
  key.values[""] = value;
  return key;
}

void WriteProgIdKeys(RegistryTree& tree, const ServerClassInfo& info, const std::string& clsid) {
  if (!info.progId.empty()) {
    Key& key = SetDefault(tree.Create({info.progId}), info.description);
    SetDefault(key.subkeys["CLSID"], clsid);
  }
  if (!info.versionIndependentProgId.empty()) {
    Key& key = SetDefault(tree.Create({info.versionIndependentProgId}), info.description);
    SetDefault(key.subkeys["CLSID"], clsid);
    if (!info.progId.empty()) SetDefault(key.subkeys["CurVer"], info.progId);
  }
}

void WriteClassKey(RegistryTree& tree, const ServerClassInfo& info, const std::string& clsid) {
  const RegistryKeyPath path{"CLSID", clsid};
  tree.Remove(path);
  Key& key = SetDefault(tree.Create(path), info.description);
  if (!info.progId.empty()) SetDefault(key.subkeys["ProgID"], info.progId);
  if (!info.versionIndependentProgId.empty())
    SetDefault(key.subkeys["VersionIndependentProgID"], info.versionIndependentProgId);
  key.subkeys["Programmable"];
  Key& server = SetDefault(key.subkeys["InprocServer32"], info.modulePath);
  if (!info.threadingModel.empty()) server.values["ThreadingModel"] = info.threadingModel;
  if (info.typeLibrary) SetDefault(key.subkeys["TypeLib"], info.typeLibrary->ToString());
}

const std::string* DefaultOf(const Key& key, const char* subkey) {
  auto sub = key.subkeys.find(subkey);
  if (sub == key.subkeys.end()) return nullptr;
  auto value = sub->second.values.find("");
  return value == sub->second.values.end() ? nullptr : &value->second;
}

// True when the program identifier key still belongs to the class being unregistered.
bool NamesClass(const Key& key, const ServerClassInfo& info) {
  const std::string* clsid = DefaultOf(key, "CLSID");
  if (clsid && GUID::Parse(*clsid) == info.clsid) return true;
  const std::string* current = DefaultOf(key, "CurVer");
  return current && !info.progId.empty() && GbkEqualsNoCase(*current, info.progId);
}

bool RemoveProgIdKey(RegistryTree& tree, const std::string& progId, const ServerClassInfo& info) {
  if (progId.empty()) return false;
  const Key* key = tree.Find({progId});
  return key && NamesClass(*key, info) && tree.Remove({progId});
}

HRESULT ChangeRegistry(const std::function<bool(RegistryTree&)>& change) {
  LONG code = RunRegistryOperation([&] {
    RegistryFile(RegistryFilePath()).Update(change);
    return ERROR_SUCCESS;
  });
  return HRESULT_FROM_WIN32(code);
}

}  // namespace

HRESULT RegisterServerClass(const ServerClassInfo& info) {
  if (info.modulePath.empty()) {
    RegistryFailure(ERROR_INVALID_PARAMETER,
                    "class " + info.clsid.ToString() + " has no module path to register");
    return E_INVALIDARG;
  }
  if (!IsSingleKeyName(info.progId) || !IsSingleKeyName(info.versionIndependentProgId)) {
    RegistryFailure(ERROR_INVALID_PARAMETER, "a program identifier cannot hold a backslash");
    return E_INVALIDARG;
  }
  const std::string clsid = info.clsid.ToString();
  return ChangeRegistry([&](RegistryTree& tree) {
    WriteProgIdKeys(tree, info, clsid);
    WriteClassKey(tree, info, clsid);
    return true;
  });
}

HRESULT UnregisterServerClass(const ServerClassInfo& info) {
  return ChangeRegistry([&](RegistryTree& tree) {
    bool changed = RemoveProgIdKey(tree, info.progId, info);
    changed |= RemoveProgIdKey(tree, info.versionIndependentProgId, info);
    changed |= tree.Remove({"CLSID", info.clsid.ToString()});
    return changed;
  });
}

HRESULT InprocServerPath(const CLSID& clsid, std::string& modulePath) {
  modulePath.clear();
  const std::string path = "CLSID\\" + clsid.ToString() + "\\InprocServer32";
  HKEY key = nullptr;
  LONG code = RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key);
  if (code == ERROR_SUCCESS) {
    code = RegQueryValueA(key, nullptr, modulePath);
    RegCloseKey(key);
  }
  if (code == ERROR_SUCCESS && modulePath.empty())
    code = RegistryFailure(ERROR_FILE_NOT_FOUND, "class " + clsid.ToString() + " names no module");
  if (code == ERROR_SUCCESS) return S_OK;
  return code == ERROR_FILE_NOT_FOUND ? REGDB_E_CLASSNOTREG : REGDB_E_READREGDB;
}

std::string ModulePathOf(const void* addressInModule) {
  Dl_info info{};
  if (!addressInModule || ::dladdr(addressInModule, &info) == 0 || !info.dli_fname ||
      !*info.dli_fname)
    return std::string();
  char resolved[PATH_MAX];
  std::string path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  std::string gbk = Utf8ToGbk(path);
  return GbkToUtf8(gbk) == path ? gbk : std::string();
}
