#include "host/TargetFileLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool OwnedByUser(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
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
  const std::string path = LockPathOf(target);
  // A few rounds at most: each one is lost only to a holder that finished meanwhile.
  for (int round = 0; round < 16; ++round) {
    bool created = true;
    // Only the user can open the lock for writing: nobody else can hold it against us.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0 && errno == ENOENT) continue;
    }
    // Someone else's file (or a link) under the lock's name is not ours to take over.
    if (fd < 0 || (!created && !OwnedByUser(fd))) return Refuse(fd, path);
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
    m_fd = fd;
    m_lockPath = path;
    return Result::kLocked;
  }
  errno = EAGAIN;
  return Result::kFailed;
}

TargetFileLock::Result TargetFileLock::Refuse(int fd, const std::string& path) {
  const int error = errno;
  if (fd >= 0) ::close(fd);
  m_refusal = UserPath::SideRefusal(path);
  errno = m_refusal.empty() ? error : EEXIST;
  return Result::kFailed;
}

void TargetFileLock::Release() {
  if (m_fd < 0) return;
  ::unlink(m_lockPath.c_str());
  ::close(m_fd);
  m_fd = -1;
  m_lockPath.clear();
}

TargetFileLock::State TargetFileLock::Probe(const std::string& target, long* holder) {
  if (holder) *holder = 0;
  if (WrittenInPlace(target)) return State::kFree;
  int fd = ::open(LockPathOf(target).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return State::kFree;
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
