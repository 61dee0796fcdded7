#pragma once
// The registry file on disk. Readers take no lock: the file is only ever replaced whole by a
// rename, so a reader sees the registry before or after a change, never half of one. Writers
// serialise on an advisory lock (flock) on "<file>.lock" beside it and re-read the file under the
// lock, so that updates from concurrent processes never overwrite each other.
#include <functional>
#include <string>

#include "host/RegistryTree.h"

class RegistryFile {
 public:
  // `path` is an operating-system path; its folder is created on the first write.
  explicit RegistryFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The registry as the file holds it now; empty when there is no file. Throws RegistryError.
  RegistryTree Load() const;

  // Applies `change` to the current registry under the lock and, when it returns true, writes the
  // result: to a temporary file in the same folder, synced, then renamed over the file. A file that
  // cannot be read is left as it is and RegistryError is thrown (as for any failure to write).
  void Update(const std::function<bool(RegistryTree&)>& change) const;

 private:
  void WriteAtomically(const std::string& text) const;

  std::string path_;
};
