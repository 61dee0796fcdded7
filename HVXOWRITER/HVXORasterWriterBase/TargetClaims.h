#pragma once
// The targets a writer is making, each held under its TargetFileLock from the creation of its
// temporary raster until its grid file is written or given up, so that a second writer of the same
// file is refused instead of mixing its data in.
//
// Claiming a target whose lock was left by a writer that died clears that writer's leftovers (its
// temporary raster and its unfinished grid file), which would otherwise block every rerun. Letting
// go of a target after the host asked to stop deletes its temporary raster: it holds part of the
// data at best, and it is this writer's own.
#include <map>
#include <memory>
#include <string>

#include "host/TargetFileLock.h"

class TargetClaims {
 public:
  // Paths are GBK. kBusy: another writer holds the target, *holder is its process (0 unknown);
  // kFailed: *refusal names another user's file in the lock's place, when that is why.
  TargetFileLock::Result Claim(const std::string& finalPath, const std::string& temporaryPath,
                               long* holder, std::string* refusal = nullptr);
  void Release(const std::string& finalPath);
  void ReleaseAll();

 private:
  struct Held {
    std::unique_ptr<TargetFileLock> lock;
    std::string temporaryPath;
  };
  static void Release(const std::string& finalPath, Held& held);

  std::map<std::string, Held> m_held;  // by final path
};
