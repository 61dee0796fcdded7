#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A lock dies with its writer, not with a child it forked (as Python's multiprocessing does) that
// lives on.
TEST(TargetFileLock, DiesWithItsWriterThoughAForkedChildLives) {
  TempDir dir;
  const std::string target = dir / "out.dem";
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    TargetFileLock lock;
    if (lock.Acquire(target) != TargetFileLock::Result::kLocked) ::_exit(1);
    int started[2];
    if (::pipe(started) != 0) ::_exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(pipeFds[1]);
      // Running: fork has returned here, after the child's own handlers.
      [[maybe_unused]] ssize_t w = ::write(started[1], "s", 1);
      char byte;
      [[maybe_unused]] ssize_t n = ::read(pipeFds[0], &byte, 1);  // lives until the test ends
      ::_exit(0);
    }
    char byte;
    const bool running = child > 0 && ::read(started[0], &byte, 1) == 1;
    ::_exit(running ? 0 : 1);  // the writer dies holding the lock
  }
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  ASSERT_EQ(status, 0);
  long holder = 0;
  EXPECT_EQ(TargetFileLock::Probe(target, &holder), TargetFileLock::State::kStale);
  TargetFileLock next;
  EXPECT_EQ(next.Acquire(target), TargetFileLock::Result::kLocked);
  EXPECT_TRUE(next.foundStale());
  EXPECT_EQ(next.staleHolder(), static_cast<long>(writer));
  ::close(pipeFds[1]);  // the child ends
}

// What stands at the lock's name and is not a lock file of the user's own is refused at once,
// never waited on, written or truncated.
TEST(TargetFileLock, PlantsAtTheLockNameAreRefused) {
  struct Case {
    const char* what;
    void (*plant)(const std::string& lockFile, const std::string& other);
  };
  const Case cases[] = {
      {"a FIFO", [](const std::string& lockFile, const std::string&) {
         ASSERT_EQ(::mkfifo(lockFile.c_str(), 0666), 0);
       }},
      {"a hard link to another file", [](const std::string& lockFile, const std::string& other) {
         ASSERT_EQ(::link(other.c_str(), lockFile.c_str()), 0);
       }},
      {"a symbolic link to another file", [](const std::string& lockFile, const std::string& other) {
         fs::create_symlink(other, lockFile);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string target = dir / "out.dem", other = dir / "other";
    TempDir::WriteFile(other, "someone's data");
    c.plant(TargetFileLock::LockPathOf(target), other);
    EXPECT_EQ(TargetFileLock::Probe(target), TargetFileLock::State::kFree);
    TargetFileLock lock;
    EXPECT_EQ(lock.Acquire(target), TargetFileLock::Result::kFailed);
    EXPECT_NE(lock.refusal().find("out.dem.lock"), std::string::npos) << lock.refusal();
    EXPECT_EQ(TempDir::ReadFile(other), "someone's data");
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
