#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/TargetFileLock.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// What a second writer of a target meets, for each way the first one may have gone.
TEST(TargetFileLock, SecondWriterIsRefusedWhileTheFirstLivesAndClearsUpAfterOneThatDied) {
  TempDir dir;
  const std::string target = dir / "out.dem";
  const std::string lockFile = TargetFileLock::LockPathOf(target);
  const long self = static_cast<long>(::getpid());
  struct Case {
    const char* what;
    void (*before)(const std::string& lockFile, TargetFileLock& first, const std::string& target);
    TargetFileLock::State probed;
    TargetFileLock::Result result;
    bool stale;
    long staleHolder;
  };
  const Case cases[] = {
      {"nobody", [](const std::string&, TargetFileLock&, const std::string&) {},
       TargetFileLock::State::kFree, TargetFileLock::Result::kLocked, false, 0},
      {"a writer at work",
       [](const std::string&, TargetFileLock& first, const std::string& target) {
         ASSERT_EQ(first.Acquire(target), TargetFileLock::Result::kLocked);
       },
       TargetFileLock::State::kHeld, TargetFileLock::Result::kBusy, false, 0},
      {"a writer that finished",
       [](const std::string&, TargetFileLock& first, const std::string& target) {
         ASSERT_EQ(first.Acquire(target), TargetFileLock::Result::kLocked);
         first.Release();
       },
       TargetFileLock::State::kFree, TargetFileLock::Result::kLocked, false, 0},
      {"a writer that died",  // its lock file is left, held by nobody
       [](const std::string& lockFile, TargetFileLock&, const std::string&) {
         TempDir::WriteFile(lockFile, "4242\n");
       },
       TargetFileLock::State::kStale, TargetFileLock::Result::kLocked, true, 4242},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TargetFileLock first, second;
    c.before(lockFile, first, target);
    long holder = -1;
    EXPECT_EQ(TargetFileLock::Probe(target, &holder), c.probed);
    EXPECT_EQ(second.Acquire(target), c.result);
    if (c.result == TargetFileLock::Result::kBusy) {
      EXPECT_EQ(holder, self);  // the lock file names the holder
      EXPECT_EQ(second.holder(), self);
      continue;
    }
    EXPECT_EQ(second.foundStale(), c.stale);
    EXPECT_EQ(second.staleHolder(), c.staleHolder);
    EXPECT_EQ(TempDir::ReadFile(lockFile), std::to_string(self) + "\n");
    second.Release();
    EXPECT_FALSE(fs::exists(lockFile));
  }
}

TEST(TargetFileLock, TargetsWrittenInPlaceNeedNone) {
  TempDir dir;
  fs::create_symlink("/dev/null", dir / "null.dem");
  for (const std::string& target : {std::string("/dev/null"), dir / "null.dem"}) {
    TargetFileLock first, second;
    EXPECT_EQ(first.Acquire(target), TargetFileLock::Result::kLocked) << target;
    EXPECT_EQ(second.Acquire(target), TargetFileLock::Result::kLocked) << target;
    EXPECT_FALSE(fs::exists(TargetFileLock::LockPathOf(target))) << target;
  }
  // A folder that cannot hold the lock file: the writer could not write there either.
  TargetFileLock lock;
  EXPECT_EQ(lock.Acquire(dir / "no/such/out.dem"), TargetFileLock::Result::kFailed);
}

}  // namespace
