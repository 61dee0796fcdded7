#pragma once
// The module-wide count of live writer objects and class-object locks: the module may be unloaded
// only when it is 0. Changed atomically; everything else runs on the host's thread.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// One live object's share of the count, for as long as the holder lives: a constructor that
// throws after taking it gives it back.
class ModuleLockHolder {
 public:
  ModuleLockHolder() { ModuleLock(); }
  ~ModuleLockHolder() { ModuleUnlock(); }
  ModuleLockHolder(const ModuleLockHolder&) = delete;
  ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};
