// Creating the writer through its class object when memory runs out at any allocation on the way:
// the result is a status, never an exception, and nothing stays behind (no object, no module lock).
//
// The test program's own operator new counts allocations and fails the one it is told to; the
// writer's code in this program allocates through it. It lives in a program of its own, so that
// no other test shares the replaced allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriterClassFactory.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"
#include "host/IWriterJob.h"

#if defined(__SANITIZE_ADDRESS__)
// GDAL's driver registration, which every writer runs, does not free the driver it was building
// when an allocation after it fails; its own frames are not always on the stack, its library is.
extern "C" const char* __lsan_default_suppressions() { return "leak:libgdal.so\n"; }
#endif

namespace {

std::atomic<long> g_untilFailure{-1};  // allocations left before the failing one; -1: none fails

void* Allocate(std::size_t size) noexcept {
  if (g_untilFailure.load() >= 0 && g_untilFailure.fetch_sub(1) == 0) return nullptr;
  return std::malloc(size ? size : 1);
}

}  // namespace

// Every form of new and delete, so that all of them agree on malloc and free (which the compiler,
// seeing both, would otherwise take for a mismatch).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(CreateInstance, RunningOutOfMemoryAnywhereIsAStatus) {
  IClassFactory& factory = HVXOGEODEMWriterClassFactory::Instance();
  long failures = 0;
  for (long n = 0;; ++n) {
    void* object = nullptr;
    HRESULT hr = E_FAIL;
    g_untilFailure = n;
    EXPECT_NO_THROW(hr = factory.CreateInstance(nullptr, IWriterJob::iid, &object)) << n;
    const bool failed = g_untilFailure.exchange(-1) < 0;  // the n-th allocation was refused
    if (hr == S_OK) static_cast<IWriterJob*>(object)->Release();
    EXPECT_EQ(ModuleLockCount(), 0) << n;
    if (!failed) {
      EXPECT_EQ(hr, S_OK);  // nothing refused: the writer is made
      break;
    }
    // An allocation inside a guarded operation may fail and be logged without failing creation.
    EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << n << ": " << hr;
    EXPECT_EQ(hr == S_OK, object != nullptr) << n;
    failures += hr == E_OUTOFMEMORY;
  }
  EXPECT_GT(failures, 0);  // the constructors did allocate
}

}  // namespace
