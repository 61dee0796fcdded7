#pragma once
// The registry file on disk. Readers take no lock: the file is only ever replaced whole by a
// rename, so a reader sees the registry before or after a change, never half of one. Writers
// serialise on an advisory lock (flock) on "<file>.lock" beside it and re-read the file under the
// lock, so that updates from concurrent processes never overwrite each other. The lock file is the
// registry owner's alone (0600), and a writer waits for it a bounded time, then fails naming the
// holder: a system registry must never hang a package script.
#include <chrono>
#include <functional>
#include <string>

#include "host/RegistryTree.h"

class RegistryFile {
 public:
  // `path` is an operating-system path; its folder is created on the first write.
  static constexpr std::chrono::seconds kLockWait{30};

  explicit RegistryFile(std::string path, std::chrono::seconds lockWait = kLockWait)
      : path_(std::move(path)), lockWait_(lockWait) {}

  const std::string& Path() const { return path_; }

  // The registry as the file holds it now; empty when there is no file. Throws RegistryError.
  RegistryTree Load() const;

  // Applies `change` to the current registry under the lock and, when it returns true, writes the
  // result: to a temporary file in the same folder, synced, then renamed over the file. A file that
  // cannot be read is left as it is and RegistryError is thrown (as for any failure to write).
  void Update(const std::function<bool(RegistryTree&)>& change) const;

 private:
  static int OpenLock(const std::string& lockPath);
  void LockWithin(int fd, const std::string& lockPath) const;
  void WriteAtomically(const std::string& text) const;

  std::string path_;
  std::chrono::seconds lockWait_;
};
