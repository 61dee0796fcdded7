#pragma once
// An advisory lock on a target file for as long as one writer makes it, so that two conversions of
// one file never mix their data: the second one is refused at once. The lock is an open-file-
// description lock on "<target>.lock" beside the target, which holds the writer's process id and
// is removed when the lock is released. The kernel drops the lock of a process that dies, so a lock
// file that is there but held by nobody was left by a writer that did not finish: what that writer
// left beside the target is stale, and the next holder may clear it away. A child that the writer
// forks (without exec) lets go of the lock at once, so that the lock dies with the writer.
//
// A target that exists and is not a regular file (a device such as /dev/null, a FIFO, or a link to
// one) is written in place and needs no lock. Paths are the operating system's (UTF-8).
#include <string>

class TargetFileLock {
 public:
  enum class Result { kLocked, kBusy, kFailed };
  // What a look at a target's lock finds, without taking it.
  enum class State { kFree, kHeld, kStale };

  TargetFileLock() = default;
  ~TargetFileLock() { Release(); }
  TargetFileLock(const TargetFileLock&) = delete;
  TargetFileLock& operator=(const TargetFileLock&) = delete;

  // kLocked: held until Release; kBusy: another writer holds it (holder() says which process, 0
  // when it cannot be told); kFailed: the lock file cannot be made (errno says why, and refusal()
  // when a file of another user's stands at its name). The lock file is the user's own, 0600.
  Result Acquire(const std::string& target);
  const std::string& refusal() const { return m_refusal; }
  // After kLocked: the lock file was left by a writer that died, whose process id (0 when it had
  // not written it yet) is staleHolder().
  bool foundStale() const { return m_foundStale; }
  long staleHolder() const { return m_staleHolder; }
  long holder() const { return m_holder; }
  // Removes the lock file and drops the lock.
  void Release();

  // The state of a target's lock; with kHeld, *holder is the holding process, with kStale the one
  // that died (0 when unknown).
  static State Probe(const std::string& target, long* holder = nullptr);
  static std::string LockPathOf(const std::string& target);

 private:
  std::string m_lockPath;
  int m_fd = -1;
  long m_pid = 0;  // the process that took the lock
  bool m_foundStale = false;
  long m_staleHolder = 0;
  long m_holder = 0;
  std::string m_refusal;
};
