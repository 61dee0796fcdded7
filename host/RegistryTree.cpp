#include "host/RegistryTree.h"

#include <utility>

std::optional<RegistryKeyPath> RegistryTree::SplitPath(const char* path) {
  RegistryKeyPath names;
  if (!path || !*path) return names;
  std::string_view rest(path);
  std::string current;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    auto c = static_cast<unsigned char>(rest[i]);
    if (c == '\\') {
      if (current.empty()) return std::nullopt;
      names.push_back(std::move(current));
      current.clear();
      continue;
    }
    current.push_back(rest[i]);
    if (IsGbkLeadByte(c) && i + 1 < rest.size()) current.push_back(rest[++i]);
  }
  if (current.empty()) return std::nullopt;
  names.push_back(std::move(current));
  return names;
}

RegistryKeyPath RegistryTree::Join(const RegistryKeyPath& path, const RegistryKeyPath& sub) {
  RegistryKeyPath joined = path;
  joined.insert(joined.end(), sub.begin(), sub.end());
  return joined;
}

const RegistryTree::Key* RegistryTree::Find(const RegistryKeyPath& path) const {
  const Key* key = &root_;
  for (const std::string& name : path) {
    auto it = key->subkeys.find(name);
    if (it == key->subkeys.end()) return nullptr;
    key = &it->second;
  }
  return key;
}

RegistryTree::Key* RegistryTree::Find(const RegistryKeyPath& path) {
  return const_cast<Key*>(std::as_const(*this).Find(path));
}

RegistryTree::Key& RegistryTree::Create(const RegistryKeyPath& path) {
  Key* key = &root_;
  for (const std::string& name : path) key = &key->subkeys[name];
  return *key;
}

bool RegistryTree::Remove(const RegistryKeyPath& path) {
  if (path.empty()) return false;
  Key* parent = Find(RegistryKeyPath(path.begin(), path.end() - 1));
  return parent && parent->subkeys.erase(path.back()) > 0;
}
