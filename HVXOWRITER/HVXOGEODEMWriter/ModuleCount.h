#pragma once
// The module-wide count of live writer objects and class-object locks: the module may be unloaded
// only when it is 0. Changed atomically; everything else runs on the host's thread.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();
