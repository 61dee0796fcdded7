#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"

#include <atomic>

namespace {
std::atomic<long> g_count{0};
}

void ModuleLock() { ++g_count; }
void ModuleUnlock() { --g_count; }
long ModuleLockCount() { return g_count.load(); }
