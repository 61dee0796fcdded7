#include "host/TargetFileLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "host/UserPath.h"

namespace {

// Open-file-description locks: owned by the open file, not the process, so that two writers in one
// process exclude each other too, and closing some other descriptor of the file keeps the lock.
bool LockWhole(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

long ReadPid(int fd) {
  char text[32] = {};
  ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

// The process holding the lock: it writes its id just after it locks, so a lock found held with
// no id yet gets that moment (a tenth of a second at most) before the id is given up as unknown.
long HolderPid(int fd) {
  long pid = ReadPid(fd);
  for (int i = 0; pid == 0 && i < 100; ++i) {
    ::usleep(1000);
    pid = ReadPid(fd);
  }
  return pid;
}

void WritePid(int fd) {
  const std::string text = std::to_string(static_cast<long>(::getpid())) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] ssize_t n = ::pwrite(fd, text.data(), text.size(), 0);
  }
}

// The lock file still is the one at the path: a holder that finished removes it before letting go,
// and whoever locked the removed file has to start again.
bool StillAt(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The descriptors of the locks this process holds. A child that fork makes without exec shares
// their open file descriptions and with them the locks; it lets go of them at once, so that a lock
// dies with its writer, not with the last process that inherited it.
constexpr int kMaxHeld = 64;
std::atomic<int> g_held[kMaxHeld];  // descriptor + 1; 0 is a free slot

void ForgetHeldInChild() {
  for (std::atomic<int>& slot : g_held) {
    const int held = slot.exchange(0);
    if (held > 0) ::close(held - 1);
  }
}

void NoteHeld(int fd) {
  static const bool registered = ::pthread_atfork(nullptr, nullptr, ForgetHeldInChild) == 0;
  (void)registered;
  for (std::atomic<int>& slot : g_held) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
}

void ForgetHeld(int fd) {
  for (std::atomic<int>& slot : g_held) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

bool WrittenInPlace(const std::string& target) {
  struct stat st {};
  return ::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace

std::string TargetFileLock::LockPathOf(const std::string& target) {
  return UserPath::SideName(target, ".lock");
}

TargetFileLock::Result TargetFileLock::Acquire(const std::string& target) {
  Release();
  m_foundStale = false;
  m_staleHolder = 0;
  m_holder = 0;
  m_refusal.clear();
  if (WrittenInPlace(target)) return Result::kLocked;
  // Never through a stranger's link to another folder.
  std::string resolved;
  if (!UserPath::Follow(target, resolved, m_refusal)) return Result::kFailed;
  const std::string path = LockPathOf(target);
  // A few rounds at most: each one is lost only to a holder that finished meanwhile.
  for (int round = 0; round < 16; ++round) {
    bool created = true;
    // Only the user can open the lock for writing: nobody else can hold it against us.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      // Someone else's file, a FIFO or a hard link under the lock's name is not ours to take over.
      fd = UserPath::OpenSide(path, O_RDWR, m_refusal);
      if (fd < 0 && errno == ENOENT) continue;
    }
    if (fd < 0) {
      if (!m_refusal.empty()) errno = EEXIST;
      return Result::kFailed;
    }
    if (!LockWhole(fd)) {
      const int error = errno;
      const bool busy = error == EAGAIN || error == EACCES;
      m_holder = busy ? HolderPid(fd) : 0;
      ::close(fd);
      if (busy) return Result::kBusy;
      errno = error;
      return Result::kFailed;
    }
    if (!StillAt(fd, path)) {
      ::close(fd);
      continue;
    }
    if (!created) {
      m_foundStale = true;
      m_staleHolder = ReadPid(fd);
    }
    WritePid(fd);
    NoteHeld(fd);
    m_fd = fd;
    m_pid = ::getpid();
    m_lockPath = path;
    return Result::kLocked;
  }
  errno = EAGAIN;
  return Result::kFailed;
}

void TargetFileLock::Release() {
  if (m_fd < 0) return;
  // In a child of the writer the lock is not this process's: the writer still holds its file.
  if (m_pid == ::getpid()) {
    ForgetHeld(m_fd);
    ::unlink(m_lockPath.c_str());
    ::close(m_fd);
  }
  m_fd = -1;
  m_lockPath.clear();
}

TargetFileLock::State TargetFileLock::Probe(const std::string& target, long* holder) {
  if (holder) *holder = 0;
  if (WrittenInPlace(target)) return State::kFree;
  std::string refusal;
  const int fd = UserPath::OpenSide(LockPathOf(target), O_RDONLY, refusal);
  if (fd < 0) return State::kFree;  // a stranger's file there is no lock: the writer refuses it
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  State state = State::kStale;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) {
    state = State::kFree;  // cannot be told: let the writer's own lock decide
  } else if (lock.l_type != F_UNLCK) {
    state = State::kHeld;
    if (holder) *holder = HolderPid(fd);
  } else if (holder) {
    *holder = ReadPid(fd);
  }
  ::close(fd);
  return state;
}
