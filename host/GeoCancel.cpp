#include "host/GeoCancel.h"

#include <atomic>

namespace {
std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "raised from signal handlers");
}  // namespace

void RequestGeoCancel() { g_cancel.store(true, std::memory_order_relaxed); }
bool GeoCancelRequested() { return g_cancel.load(std::memory_order_relaxed); }
void ClearGeoCancel() { g_cancel.store(false, std::memory_order_relaxed); }
