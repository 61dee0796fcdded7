#pragma once
// The registry held in memory: a tree of keys, each with named string values. The default value of
// a key is the value whose name is empty. Key and value names keep the spelling they were created
// with and are looked up ignoring the case of ASCII letters (GBK-aware), as the Windows registry
// does.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/CodePage.h"

struct GbkNoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return GbkCompareNoCase(a, b) < 0;
  }
};

// The names of a key path from the root, e.g. {"CLSID", "{...}", "InprocServer32"}.
using RegistryKeyPath = std::vector<std::string>;

class RegistryTree {
 public:
  struct Key {
    std::map<std::string, std::string, GbkNoCaseLess> values;
    std::map<std::string, Key, GbkNoCaseLess> subkeys;
  };

  // Splits a backslash path at character boundaries (a GBK trail byte 0x5C is no separator). An
  // empty or null path is the key itself; an empty name inside the path (a doubled, leading or
  // trailing backslash) gives nothing.
  static std::optional<RegistryKeyPath> SplitPath(const char* path);
  // `path` followed by the names of `sub`.
  static RegistryKeyPath Join(const RegistryKeyPath& path, const RegistryKeyPath& sub);

  Key& Root() { return root_; }
  const Key& Root() const { return root_; }

  // The key at the path, or null when any key on the way is missing.
  const Key* Find(const RegistryKeyPath& path) const;
  Key* Find(const RegistryKeyPath& path);
  // The key at the path, creating it and every missing key on the way.
  Key& Create(const RegistryKeyPath& path);
  // Removes the last key of the path with everything below it; false when it is absent. The root
  // cannot be removed.
  bool Remove(const RegistryKeyPath& path);

 private:
  Key root_;
};
